#include "gui/TimelineWidget.h"

#include <QFile>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "app/AppDecisions.h"
#include "gui/PlainText.h"

namespace {

constexpr int kMargin = 6;
constexpr int kMinStripHeight = 40;
constexpr int kRampWidth = 7;  // fades are far shorter than a pixel; the mark is a sign
constexpr double kZoomPerNotch = 1.25;
constexpr double kZoomPerStep = 2.0;  // Zoom In and Zoom Out
// However far one zooms in, a pixel shows a frame at least, and the scroll bar's
// range stays within what its int holds.
constexpr double kMaxScrollPixels = 1e9;

constexpr size_t kColourCount = std::size(app::kTakeColours);

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

app::Rgb RgbOf(const QColor& colour) {
    return {colour.red(), colour.green(), colour.blue()};
}
QColor ColourOf(const app::Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

}  // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->hide();
    connect(scrollBar_, &QScrollBar::valueChanged, this, &TimelineWidget::scrolled);
}

void TimelineWidget::setTimeline(app::Timeline timeline) {
    timeline_ = std::move(timeline);
    peaks_.assign(app::PeakCount(timeline_.first, timeline_.last), app::Peak{});
    framesPerPeak_ = app::FramesPerPeak(timeline_.first, timeline_.last);
    selectedRow_ = -1;
    fitToWindow();
}

void TimelineWidget::addPeaks(size_t first, const std::vector<app::Peak>& peaks) {
    for (size_t i = 0; i < peaks.size() && first + i < peaks_.size(); ++i) {
        peaks_[first + i].Merge(peaks[i]);
    }
    update();
}

void TimelineWidget::setSelectedRow(int row) {
    selectedRow_ = row;
    const auto& blocks = timeline_.blocks;
    const auto block = std::find_if(blocks.begin(), blocks.end(),
                                    [row](const app::TimelineBlock& b) { return b.row == row; });
    if (row >= 0 && !fitted_ && block != blocks.end()) {
        const double shown = framesPerPixel_ * stripRect().width();
        const auto start = static_cast<double>(block->start);
        const auto end = static_cast<double>(block->end);
        if (start < viewFirst_ || end > viewFirst_ + shown) {
            // Centred when it fits, else its start a little in from the left.
            const double first =
                end - start <= shown ? (start + end - shown) / 2 : start - shown / 10;
            setView(first, framesPerPixel_);
        }
    }
    update();
}

// ---- Geometry ----

QSize TimelineWidget::sizeHint() const {
    return {600, rulerHeight() + 3 * kMinStripHeight + kMargin};
}

QSize TimelineWidget::minimumSizeHint() const {
    return {200, rulerHeight() + kMinStripHeight + kMargin + scrollBar_->sizeHint().height()};
}

int TimelineWidget::rulerHeight() const {
    return fontMetrics().height() + 9;
}

QRect TimelineWidget::stripRect() const {
    const int bar = scrollBar_->isVisible() ? scrollBar_->height() : 0;
    const int top = rulerHeight();
    return {kMargin, top, std::max(1, width() - 2 * kMargin),
            std::max(1, height() - top - kMargin - bar)};
}

// The strip always begins kMargin from the left.
double TimelineWidget::xOf(double frame) const {
    return kMargin + (frame - viewFirst_) / framesPerPixel_;
}

double TimelineWidget::frameAt(double x) const {
    return viewFirst_ + (x - kMargin) * framesPerPixel_;
}

void TimelineWidget::setView(double firstFrame, double framesPerPixel) {
    const double span = static_cast<double>(timeline_.last - timeline_.first);
    const double width = stripRect().width();
    const double fit = std::max(span / width, 1e-9);
    const double finest = std::min(fit, std::max(1.0, span / kMaxScrollPixels));
    framesPerPixel_ = std::clamp(framesPerPixel, finest, fit);
    fitted_ = framesPerPixel_ >= fit;
    const double shown = framesPerPixel_ * width;
    const double start = static_cast<double>(timeline_.first);
    viewFirst_ = std::clamp(firstFrame, start, std::max(start, start + span - shown));

    const QSignalBlocker blocker(scrollBar_);
    scrollBar_->setRange(
        0, static_cast<int>(std::llround(std::max(0.0, span - shown) / framesPerPixel_)));
    scrollBar_->setPageStep(static_cast<int>(width));
    scrollBar_->setSingleStep(std::max(1, static_cast<int>(width) / 10));
    scrollBar_->setValue(static_cast<int>(std::llround((viewFirst_ - start) / framesPerPixel_)));
    scrollBar_->setVisible(!fitted_ && !timeline_.empty());
    update();
}

void TimelineWidget::scrolled(int value) {
    viewFirst_ = static_cast<double>(timeline_.first) + value * framesPerPixel_;
    update();
}

void TimelineWidget::fitToWindow() {
    setView(static_cast<double>(timeline_.first), 1e300);
}

void TimelineWidget::zoomIn() {
    zoom(kZoomPerStep, stripRect().center().x());
}

void TimelineWidget::zoomOut() {
    zoom(1 / kZoomPerStep, stripRect().center().x());
}

void TimelineWidget::zoom(double factor, int x) {
    if (timeline_.empty() || factor <= 0) return;
    const double anchor = frameAt(x);
    const double perPixel = framesPerPixel_ / factor;
    setView(anchor - (x - stripRect().left()) * perPixel, perPixel);
}

void TimelineWidget::resizeEvent(QResizeEvent*) {
    const int bar = scrollBar_->sizeHint().height();
    scrollBar_->setGeometry(kMargin, height() - kMargin - bar, width() - 2 * kMargin, bar);
    if (fitted_) {
        fitToWindow();
    } else {
        setView(viewFirst_, framesPerPixel_);
    }
}

// ---- Blocks ----

std::pair<int, int> TimelineWidget::blocksBetween(double first, double last) const {
    const auto& blocks = timeline_.blocks;
    // Events do not overlap: both their starts and their ends rise.
    const auto begin = std::partition_point(blocks.begin(), blocks.end(), [first](const auto& b) {
        return static_cast<double>(b.end) <= first;
    });
    const auto end = std::partition_point(
        begin, blocks.end(), [last](const auto& b) { return static_cast<double>(b.start) < last; });
    return {static_cast<int>(begin - blocks.begin()), static_cast<int>(end - blocks.begin())};
}

QRect TimelineWidget::blockRect(int index) const {
    return blockRect(index, stripRect());
}

std::pair<double, double> TimelineWidget::blockEdges(int index, const QRect& strip) const {
    const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(index)];
    return {std::max(xOf(static_cast<double>(block.start)), strip.left() - 1.0),
            std::min(xOf(static_cast<double>(block.end)), strip.right() + 2.0)};
}

QRect TimelineWidget::blockRect(int index, const QRect& strip) const {
    if (index < 0 || index >= static_cast<int>(timeline_.blocks.size())) return {};
    const auto [left, right] = blockEdges(index, strip);
    if (right < strip.left() || left > strip.right()) return {};
    // A block covers the pixels its span begins in and runs through; every event
    // gets one at least, however short.
    int x = static_cast<int>(std::floor(left));
    int w = std::max(1, static_cast<int>(std::floor(right)) - x);
    // An event shorter than a pixel keeps the pixel it lies in when the next
    // block, beginning in that pixel too, has pixels of its own to spare.
    if (w > 1 && index > 0 &&
        static_cast<int>(std::floor(blockEdges(index - 1, strip).first)) == x) {
        ++x;
        --w;
    }
    return QRect(x, strip.top(), w, strip.height()).intersected(strip);
}

int TimelineWidget::blockAt(const QPoint& point) const {
    if (!stripRect().contains(point)) return -1;
    const QRect strip = stripRect();
    const auto [begin, end] = blocksBetween(frameAt(point.x() - 1), frameAt(point.x() + 2));
    for (int i = begin; i < end; ++i) {
        if (blockRect(i, strip).contains(point)) return i;
    }
    return -1;
}

QString TimelineWidget::toolTipAt(const QPoint& point) const {
    const int index = blockAt(point);
    if (index < 0) return {};
    const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(index)];
    return QStringLiteral("%1\n%2 - %3")
        .arg(Text(block.name), Text(block.startText).trimmed(), Text(block.endText).trimmed());
}

// ---- Events ----

bool TimelineWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), RichTextOf(text), this,
                               blockRect(blockAt(help->pos())));
        }
        return true;
    }
    return QWidget::event(event);
}

void TimelineWidget::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (event->modifiers() & Qt::ControlModifier) {
        zoom(std::pow(kZoomPerNotch, notches), static_cast<int>(event->position().x()));
    } else if (scrollBar_->isVisible()) {
        const int delta =
            event->angleDelta().x() != 0 ? event->angleDelta().x() : event->angleDelta().y();
        scrollBar_->setValue(scrollBar_->value() - delta * scrollBar_->singleStep() / 120);
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

void TimelineWidget::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = scrollBar_;
    switch (event->key()) {
        case Qt::Key_Left:
            bar->setValue(bar->value() - bar->singleStep());
            break;
        case Qt::Key_Right:
            bar->setValue(bar->value() + bar->singleStep());
            break;
        case Qt::Key_PageUp:
            bar->setValue(bar->value() - bar->pageStep());
            break;
        case Qt::Key_PageDown:
            bar->setValue(bar->value() + bar->pageStep());
            break;
        case Qt::Key_Home:
            bar->setValue(bar->minimum());
            break;
        case Qt::Key_End:
            bar->setValue(bar->maximum());
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = blockAt(event->position().toPoint());
    emit rowClicked(index < 0 ? -1 : timeline_.blocks[static_cast<size_t>(index)].row);
}

// ---- Drawing ----

void TimelineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect strip = stripRect();
    // The frame tells where the keyboard goes.
    painter.setPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(strip.adjusted(0, 0, -1, -1));
    if (timeline_.empty()) return;

    paintRuler(painter);
    painter.setClipRect(strip.adjusted(1, 1, -1, -1));
    const auto [begin, end] = blocksBetween(frameAt(strip.left()), frameAt(strip.right() + 1));
    // Thousands of takes can stand side by side, each a pixel wide: a block is a
    // filled rectangle, the waveform is drawn in one pass over the pixel columns,
    // and only blocks wide enough get their fade marks and names.
    const app::Rgb base = RgbOf(palette().color(QPalette::Base));
    const app::Rgb text = RgbOf(palette().color(QPalette::Text));
    std::vector<QColor> fills(kColourCount), waves(kColourCount);
    for (size_t i = 0; i < kColourCount; ++i) {
        const app::BlockColours colours = app::TakeBlockColours(static_cast<int>(i), base, text);
        fills[i] = ColourOf(colours.fill);
        waves[i] = ColourOf(colours.wave);
    }
    const QRect body = strip.adjusted(0, 1, 0, -1);
    for (int i = begin; i < end; ++i) {
        const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(i)];
        painter.fillRect(blockRect(i, body), fills[static_cast<size_t>(block.take) % fills.size()]);
    }
    paintWaveform(painter, body, begin, end, waves);
    for (int i = begin; i < end; ++i) paintDecorations(painter, body, i);
}

// One line per pixel column from the lowest to the highest sample heard there,
// in the colour of the take that plays at the column's start.
void TimelineWidget::paintWaveform(QPainter& painter, const QRect& body, int begin, int end,
                                   const std::vector<QColor>& colours) {
    const QFontMetrics metrics = fontMetrics();
    const QRect wave = body.adjusted(0, metrics.height(), 0, -2);
    const double middle = wave.top() + wave.height() / 2.0;
    const double half = wave.height() / 2.0;
    std::array<std::vector<QLineF>, kColourCount> lines;
    // The columns of each block, exactly those its rectangle fills.
    int index = begin;
    QRect rect = blockRect(index, body);
    for (int x = body.left(); x <= body.right(); ++x) {
        while (index < end && x > rect.right()) rect = blockRect(++index, body);
        if (index == end) break;
        if (x < rect.left()) continue;
        const app::Peak peak =
            app::PeakOver(peaks_, timeline_.first, framesPerPeak_,
                          static_cast<uint64_t>(std::max(frameAt(x), 0.0)),
                          static_cast<uint64_t>(std::ceil(std::max(frameAt(x + 1), 0.0))));
        const int take = timeline_.blocks[static_cast<size_t>(index)].take;
        lines[static_cast<size_t>(take) % lines.size()].emplace_back(
            x + 0.5, middle - peak.high * half / 32768.0 - 0.5, x + 0.5,
            middle - peak.low * half / 32768.0 + 0.5);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        painter.setPen(colours[i]);
        painter.drawLines(lines[i].data(), static_cast<int>(lines[i].size()));
    }
}

void TimelineWidget::paintRuler(QPainter& painter) {
    const QRect strip = stripRect();
    const QFontMetrics metrics = fontMetrics();
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00:00.00"));
    const double step = app::RulerStep(framesPerPixel_, timeline_.rate, labelWidth + 16);
    if (step <= 0) return;
    painter.setPen(palette().color(QPalette::WindowText));
    const int bottom = strip.top() - 1;
    // A long tick with its time at every step, a short one half way.
    for (auto half = static_cast<int64_t>(std::ceil(viewFirst_ / step * 2));; ++half) {
        const double tick = static_cast<double>(half) * step / 2;
        const int x = static_cast<int>(std::lround(xOf(tick)));
        if (x > strip.right()) break;
        const bool major = half % 2 == 0;
        painter.drawLine(x, bottom - (major ? 6 : 3), x, bottom);
        if (!major) continue;
        const auto frame = static_cast<uint64_t>(std::llround(tick));
        const QString label = Text(app::ShortTimeText(frame, timeline_.rate));
        if (x + 3 + metrics.horizontalAdvance(label) > width()) break;  // no cut-off time
        painter.drawText(QRect(x + 3, 1, labelWidth + 8, metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop, label);
    }
}

// A wide block's fade marks and name, and the mark of the selected take.
void TimelineWidget::paintDecorations(QPainter& painter, const QRect& body, int index) {
    const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(index)];
    const QRect rect = blockRect(index, body);
    const bool selected = block.row >= 0 && block.row == selectedRow_;
    const QColor highlight = palette().color(QPalette::Highlight);
    if (rect.width() < 12) {
        if (selected) painter.fillRect(rect, highlight);
        return;
    }

    // A fade is marked by cutting its corner away, so the block's top edge rises
    // from nothing (fade in) or falls to nothing (fade out).
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Base));
    const int ramp = std::min(kRampWidth, rect.width() / 3);
    // Where the view cuts a block, the take goes on: no fade there.
    const auto [left, right] = blockEdges(index, body);
    if (block.fadeIn && left == xOf(static_cast<double>(block.start))) {
        painter.drawPolygon(
            QPolygon({rect.topLeft(), QPoint(rect.left() + ramp, rect.top()), rect.bottomLeft()}));
    }
    if (block.fadeOut && right == xOf(static_cast<double>(block.end))) {
        const QPoint topRight(rect.right() + 1, rect.top());
        const QPoint bottomRight(rect.right() + 1, rect.bottom() + 1);
        painter.drawPolygon(
            QPolygon({QPoint(rect.right() + 1 - ramp, rect.top()), topRight, bottomRight}));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);

    const QFontMetrics metrics = fontMetrics();
    const QRect textRect(rect.left() + ramp + 3, rect.top(), rect.width() - 2 * ramp - 6,
                         metrics.height());
    if (textRect.width() > metrics.averageCharWidth() * 3) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         metrics.elidedText(Text(block.name), Qt::ElideRight, textRect.width()));
    }
    if (selected) {
        painter.setPen(QPen(highlight, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect).adjusted(1, 1, -1, -1));
    }
}
