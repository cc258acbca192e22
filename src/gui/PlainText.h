// Names come from the disk and are shown as they are: "<i>Take 01 & co.wav" must
// turn neither into italics nor its "&" into a shortcut marker. Labels that show
// names take Qt::PlainText; tooltips and menu entries, which have no such switch,
// take their text through these.
#pragma once

#include <QString>
#include <QTextDocument>

// Rich text that shows exactly `text`, its lines kept, for a tooltip.
inline QString RichTextOf(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

// `text` for a menu entry: every '&' doubled, so that none marks a shortcut.
inline QString MenuTextOf(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}
