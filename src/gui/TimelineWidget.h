// The project's edit list drawn across its span, under a time ruler: each event a
// block in its take's colour with the take's waveform inside, gaps left empty, a
// small ramp where the run fades a take in or out (only where the take really
// starts or ends, not where the view cuts it). It fills the room it is given.
// Ctrl+wheel zooms around the pointer, zoomIn and zoomOut around the middle; the
// wheel, the scroll bar and, with the keyboard focus, the arrow keys, Page Up,
// Page Down, Home and End move along; fitToWindow shows the whole span again.
// An event shorter than a pixel still gets a pixel of its own, unless it shares
// it with other such events. Hovering a block tells its file and its start and
// end time; clicking one selects its take (rowClicked), and the blocks of the
// selected take are outlined. The colours come from the palette (app::
// TakeBlockColours), light or dark.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

#include "app/ProjectView.h"
#include "app/Waveform.h"

class QScrollBar;

class TimelineWidget : public QWidget {
    Q_OBJECT
public:
    explicit TimelineWidget(QWidget* parent = nullptr);

    // Shows a new timeline, whole, with a silent waveform; an empty one leaves the
    // strip blank.
    void setTimeline(app::Timeline timeline);
    const app::Timeline& timeline() const { return timeline_; }

    // Merges computed peaks into the waveform (see app::PeakSink).
    void addPeaks(size_t first, const std::vector<app::Peak>& peaks);
    const std::vector<app::Peak>& peaks() const { return peaks_; }

    // Outlines the blocks of take row `row` (-1: none) and brings the first of
    // them into view, whole when it fits.
    void setSelectedRow(int row);
    int selectedRow() const { return selectedRow_; }

    // Timeline frames per pixel, and whether the whole span is shown.
    double framesPerPixel() const { return framesPerPixel_; }
    bool fitted() const { return fitted_; }
    // The frame at the strip's left edge.
    double firstFrame() const { return viewFirst_; }
    // Zooms by `factor` (above 1 shows more detail), keeping the frame under `x`
    // in place.
    void zoom(double factor, int x);

    // Where block `index` is drawn (clipped to the strip), and the tooltip at a
    // point (empty over a gap).
    QRect blockRect(int index) const;
    QString toolTipAt(const QPoint& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void fitToWindow();
    // Twice the detail, or half, around the middle of the strip.
    void zoomIn();
    void zoomOut();

signals:
    // A block was clicked: the take row of its event, or -1 for a gap.
    void rowClicked(int row);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int rulerHeight() const;
    QRect stripRect() const;
    double xOf(double frame) const;
    double frameAt(double x) const;
    int blockAt(const QPoint& point) const;
    // The blocks that reach into frames first .. last, as an index range.
    std::pair<int, int> blocksBetween(double first, double last) const;
    // Keeps the view inside the span and the scroll bar in step with it.
    void setView(double firstFrame, double framesPerPixel);
    void scrolled(int value);
    QRect blockRect(int index, const QRect& strip) const;
    // Where block `index` starts and ends in x, cut to just beyond the strip.
    std::pair<double, double> blockEdges(int index, const QRect& strip) const;
    void paintRuler(QPainter& painter);
    // `colours` are the waveform's, one per take colour.
    void paintWaveform(QPainter& painter, const QRect& body, int begin, int end,
                       const std::vector<QColor>& colours);
    void paintDecorations(QPainter& painter, const QRect& body, int index);

    app::Timeline timeline_;
    std::vector<app::Peak> peaks_;
    uint64_t framesPerPeak_ = app::kFramesPerPeak;
    int selectedRow_ = -1;
    double viewFirst_ = 0.0;  // the frame at the strip's left edge
    double framesPerPixel_ = 1.0;
    bool fitted_ = true;
    QScrollBar* scrollBar_ = nullptr;
};
