// The project's edit list drawn as one strip across its span: each event a block
// in its take's colour, gaps left empty, a small ramp where the run fades a take
// in or out. Hovering a block tells its file and its start and end time.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include "app/ProjectView.h"

class TimelineWidget : public QWidget {
    Q_OBJECT
public:
    explicit TimelineWidget(QWidget* parent = nullptr);

    // Shows a new timeline; an empty one leaves the strip blank.
    void setTimeline(app::Timeline timeline);
    const app::Timeline& timeline() const { return timeline_; }

    // Where block `index` is drawn, and the tooltip at a point (empty over a gap).
    QRect blockRect(int index) const;
    QString toolTipAt(const QPoint& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect stripRect() const;
    int blockAt(const QPoint& point) const;

    app::Timeline timeline_;
};
