#include "app/qt/TimelineWidget.h"

#include <QFile>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <array>

namespace {

constexpr int kMargin = 6;
constexpr int kStripHeight = 44;
constexpr int kRampWidth = 7;  // fades are far shorter than a pixel; the mark is a sign

// Calm, well separated colours; neighbouring takes rarely share one.
const std::array<QColor, 8> kTakeColours = {
    QColor(0x4e, 0x79, 0xa7), QColor(0xf2, 0x8e, 0x2b), QColor(0x59, 0xa1, 0x4f),
    QColor(0xe1, 0x57, 0x59), QColor(0x76, 0xb7, 0xb2), QColor(0xb0, 0x7a, 0xa1),
    QColor(0xed, 0xc9, 0x48), QColor(0x9c, 0x75, 0x5f),
};

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void TimelineWidget::setTimeline(app::Timeline timeline) {
    timeline_ = std::move(timeline);
    update();
}

QSize TimelineWidget::sizeHint() const {
    return {600, minimumSizeHint().height()};
}

QSize TimelineWidget::minimumSizeHint() const {
    return {200, kMargin + kStripHeight + 4 + fontMetrics().height() + kMargin};
}

QRect TimelineWidget::stripRect() const {
    return {kMargin, kMargin, width() - 2 * kMargin, kStripHeight};
}

QRect TimelineWidget::blockRect(int index) const {
    if (index < 0 || index >= static_cast<int>(timeline_.blocks.size())) return {};
    const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(index)];
    const QRect strip = stripRect();
    const double span = static_cast<double>(timeline_.last - timeline_.first);
    if (span <= 0) return {};
    const auto x = [&](uint64_t frame) {
        return strip.left() + static_cast<int>(static_cast<double>(frame - timeline_.first) / span *
                                               strip.width());
    };
    const int left = x(block.start);
    // Every event stays visible, however short.
    const int right = std::max(x(block.end), left + 1);
    return {left, strip.top(), right - left, strip.height()};
}

int TimelineWidget::blockAt(const QPoint& point) const {
    for (int i = 0; i < static_cast<int>(timeline_.blocks.size()); ++i) {
        if (blockRect(i).contains(point)) return i;
    }
    return -1;
}

QString TimelineWidget::toolTipAt(const QPoint& point) const {
    const int index = blockAt(point);
    if (index < 0) return {};
    const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(index)];
    return tr("%1\n%2 - %3")
        .arg(Text(block.name), Text(block.startText).trimmed(), Text(block.endText).trimmed());
}

bool TimelineWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this, blockRect(blockAt(help->pos())));
        }
        return true;
    }
    return QWidget::event(event);
}

void TimelineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect strip = stripRect();
    const QColor stripColour = palette().color(QPalette::Base);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(stripColour);
    painter.drawRect(QRectF(strip).adjusted(0.5, 0.5, -0.5, -0.5));
    if (timeline_.empty()) return;

    for (int i = 0; i < static_cast<int>(timeline_.blocks.size()); ++i) {
        const app::TimelineBlock& block = timeline_.blocks[static_cast<size_t>(i)];
        const QRect rect = blockRect(i).adjusted(0, 1, 0, -1);
        const QColor colour = kTakeColours[static_cast<size_t>(block.take) % kTakeColours.size()];
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRect(rect);

        // A fade is marked by cutting its corner away, so the block's top edge
        // rises from nothing (fade in) or falls to nothing (fade out).
        const int ramp = std::min(kRampWidth, rect.width() / 3);
        painter.setBrush(stripColour);
        if (block.fadeIn && ramp > 0) {
            painter.drawPolygon(QPolygon(
                {rect.topLeft(), QPoint(rect.left() + ramp, rect.top()), rect.bottomLeft()}));
        }
        if (block.fadeOut && ramp > 0) {
            const QPoint topRight(rect.right() + 1, rect.top());
            const QPoint bottomRight(rect.right() + 1, rect.bottom() + 1);
            painter.drawPolygon(
                QPolygon({QPoint(rect.right() + 1 - ramp, rect.top()), topRight, bottomRight}));
        }

        // The file's name, when it fits.
        const QRect textRect = rect.adjusted(ramp + 3, 0, -ramp - 3, 0);
        const QString name =
            fontMetrics().elidedText(Text(block.name), Qt::ElideRight, textRect.width());
        if (textRect.width() > fontMetrics().averageCharWidth() * 4 && !name.isEmpty()) {
            painter.setPen(colour.lightness() > 150 ? Qt::black : Qt::white);
            painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, name);
        }
    }

    // The span's start and end under the strip.
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect labels(strip.left(), strip.bottom() + 4, strip.width(), fontMetrics().height());
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, Text(timeline_.firstText).trimmed());
    painter.drawText(labels, Qt::AlignRight | Qt::AlignTop, Text(timeline_.lastText).trimmed());
}
