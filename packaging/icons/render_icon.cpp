// render-icon ICON.svg SIZE OUT.png: paints the application icon as a SIZE x SIZE
// picture.
//
// The icon is drawn once, by hand, as SVG; the PNG sizes that desktops without
// SVG support need are painted from that file, so they never drift from it. This
// reads the few things the icon is made of: a square viewBox from 0 0, and rect
// (x, y, width, height, rx, fill) and polygon (points, fill) elements filled with
// "#rrggbb" colours. Anything else is refused rather than drawn wrongly.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace {

bool Fail(const QString& message) {
    std::fprintf(stderr, "render-icon: %s\n", qPrintable(message));
    return false;
}

// True when the element has no attribute outside `known`.
bool OnlyKnownAttributes(const QXmlStreamReader& xml, std::initializer_list<const char*> known) {
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        if (std::none_of(known.begin(), known.end(), [&](const char* name) {
                return attribute.name() == QLatin1String(name);
            })) {
            return Fail(QStringLiteral("<%1> has the attribute \"%2\", which is not drawn")
                            .arg(xml.name(), attribute.name()));
        }
    }
    return true;
}

// The number in attribute `name`, or 0 when an optional attribute is absent.
// False when a required one is missing or when it is not a number.
bool Number(const QXmlStreamReader& xml, const char* name, double& value, bool optional = false) {
    const QXmlStreamAttributes attributes = xml.attributes();
    if (!attributes.hasAttribute(QLatin1String(name))) {
        value = 0;
        return optional || Fail(QStringLiteral("<%1> lacks \"%2\"").arg(xml.name(), name));
    }
    bool ok = false;
    value = attributes.value(QLatin1String(name)).toDouble(&ok);
    return ok ||
           Fail(QStringLiteral("<%1> has a \"%2\" that is not a number").arg(xml.name(), name));
}

// "x,y x,y ..." as a polygon; false when a pair is malformed or there are fewer than three.
bool Points(const QXmlStreamReader& xml, QPolygonF& polygon) {
    const QString text = xml.attributes().value(QStringLiteral("points")).toString();
    for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList xy = pair.split(QLatin1Char(','));
        bool okX = false, okY = false;
        if (xy.size() == 2) polygon << QPointF(xy[0].toDouble(&okX), xy[1].toDouble(&okY));
        if (!okX || !okY) return Fail(QStringLiteral("bad point \"%1\"").arg(pair));
    }
    return polygon.size() >= 3 || Fail(QStringLiteral("a polygon needs three points"));
}

// Paints every shape of the document, in order, scaled from the viewBox to `size`.
bool Paint(QXmlStreamReader& xml, QPainter& painter, int size) {
    if (!xml.readNextStartElement() || xml.name() != u"svg") return Fail("no <svg> element");
    const QStringList box =
        xml.attributes().value(QStringLiteral("viewBox")).toString().split(QLatin1Char(' '));
    const double units = box.size() == 4 ? box[2].toDouble() : 0;
    if (box.size() != 4 || box[0] != u"0" || box[1] != u"0" || box[2] != box[3] || units <= 0) {
        return Fail("the viewBox must be a square from 0 0");
    }
    painter.scale(size / units, size / units);

    while (xml.readNextStartElement()) {
        if (xml.name() == u"title") {
            xml.skipCurrentElement();
            continue;
        }
        const QColor fill(xml.attributes().value(QStringLiteral("fill")).toString());
        if (!fill.isValid())
            return Fail(QStringLiteral("<%1> lacks a fill colour").arg(xml.name()));
        painter.setBrush(fill);

        if (xml.name() == u"rect") {
            double x, y, width, height, radius;
            if (!OnlyKnownAttributes(xml, {"x", "y", "width", "height", "rx", "fill"}) ||
                !Number(xml, "x", x) || !Number(xml, "y", y) || !Number(xml, "width", width) ||
                !Number(xml, "height", height) || !Number(xml, "rx", radius, true)) {
                return false;
            }
            painter.drawRoundedRect(QRectF(x, y, width, height), radius, radius);
        } else if (xml.name() == u"polygon") {
            QPolygonF polygon;
            if (!OnlyKnownAttributes(xml, {"points", "fill"}) || !Points(xml, polygon))
                return false;
            painter.drawPolygon(polygon);
        } else {
            return Fail(QStringLiteral("<%1> is not drawn").arg(xml.name()));
        }
        xml.skipCurrentElement();
    }
    return !xml.hasError() || Fail(xml.errorString());
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc == 4 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    if (size < 16 || size > 1024) {
        std::fputs("usage: render-icon ICON.svg SIZE OUT.png (SIZE from 16 to 1024)\n", stderr);
        return 2;
    }
    QFile svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("cannot read %1: %2").arg(svg.fileName(), svg.errorString()));
        return 1;
    }

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QXmlStreamReader xml(&svg);
    if (!Paint(xml, painter, size)) return 1;
    painter.end();

    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        Fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[3])));
        return 1;
    }
    return 0;
}
