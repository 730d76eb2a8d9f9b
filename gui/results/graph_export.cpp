#include "gui/results/graph_export.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QtMath>

#include "gui/common/window_support.h"

namespace orvane {
namespace {

// The axis labels left of the dose axis must fit between x = 0.05 and the axis at 0.6.
constexpr double kLabelRoom = 0.52;
constexpr double kMinimumPointSize = 6.0;
constexpr int kPngScale = 2;

QStringList headingLines(const GraphPicture& picture) {
    QStringList lines = picture.heading;
    lines.removeAll(QString());
    return lines;
}

// Height of the heading above the graph, in logical pixels: its lines and some room.
int headingHeight(const GraphPicture& picture) {
    const qsizetype lines = headingLines(picture).size();
    return lines == 0 ? 0 : qCeil(QFontMetricsF(picture.font).lineSpacing() * (lines + 0.6));
}

QSize pictureSize(const GraphPicture& picture) {
    return picture.size + QSize(0, headingHeight(picture));
}

// Point of the user scale in the coordinates of area.
QPointF graphToArea(const QRectF& area, float x, float y) {
    return {area.left() + x * area.width() / kGraphUserScale,
            area.top() + y * area.height() / kGraphUserScale};
}

}  // namespace

void paintGraph(QPainter& painter, const std::vector<DrawPrimitive>& drawing, const QRectF& area,
                qreal lineWidth) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, lineWidth));
    painter.setClipRect(area, Qt::IntersectClip);
    const qreal ascent = painter.fontMetrics().ascent();
    QPointF current = area.topLeft();
    for (const DrawPrimitive& primitive : drawing) {
        const QPointF target = graphToArea(area, primitive.x, primitive.y);
        switch (primitive.kind) {
            case DrawPrimitive::Kind::Clear:
                painter.fillRect(area, Qt::white);
                break;
            case DrawPrimitive::Kind::Point:
                painter.drawPoint(target);
                current = target;
                break;
            case DrawPrimitive::Kind::Line:
                painter.drawLine(current, target);
                current = target;
                break;
            case DrawPrimitive::Kind::Print:
                painter.drawText(target + QPointF(0, ascent),
                                 QString::fromStdString(primitive.text));
                break;
        }
    }
    painter.restore();
}

QFont fittedGraphFont(const QFont& base, qreal width, const QPaintDevice* device) {
    static const QString widestLabel = QStringLiteral("8.88E-88");
    const double room = kLabelRoom * width / kGraphUserScale;
    return shrunkToFit(base, kMinimumPointSize, [&](const QFont& text) {
        const qreal label = device ? QFontMetricsF(text, device).horizontalAdvance(widestLabel)
                                   : QFontMetricsF(text).horizontalAdvance(widestLabel);
        return label <= room;
    });
}

namespace {

// The heading lines, centred and shortened to fit, over the graph; painter in logical pixels.
void paintPicture(QPainter& painter, const GraphPicture& picture, const QFont& font) {
    const int band = headingHeight(picture);
    const QSize size = pictureSize(picture);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font);
    const QStringList lines = headingLines(picture);
    double baseline = (band - metrics.lineSpacing() * lines.size()) / 2 + metrics.ascent();
    for (const QString& line : lines) {
        const QString shown = metrics.elidedText(line, Qt::ElideRight, size.width() - 8);
        painter.drawText(QPointF((size.width() - metrics.horizontalAdvance(shown)) / 2, baseline),
                         shown);
        baseline += metrics.lineSpacing();
    }
    picture.paint(painter, QRectF(QPointF(0, band), QSizeF(picture.size)));
}

}  // namespace

bool writeGraphPng(const GraphPicture& picture, QIODevice& device) {
    const QSize size = pictureSize(picture);
    QImage image(size * kPngScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(kPngScale);
    const int dotsPerMeter = qRound(picture.dotsPerInch / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.setText(QStringLiteral("Title"), picture.title);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintPicture(painter, picture, picture.font);
    }
    return image.save(&device, "PNG");
}

bool writeGraphSvg(const GraphPicture& picture, QIODevice& device) {
    const QSize size = pictureSize(picture);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(picture.dotsPerInch);
    svg.setTitle(picture.title);
    svg.setDescription(
        QStringLiteral("Bladder-wall dose against first-void time T0, one curve "
                       "per initial bladder volume V0. Drawn by Orvane."));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    // The family the font resolves to here, not an alias such as "Sans Serif" that a viewer
    // elsewhere would not know.
    QFont named = picture.font;
    named.setFamily(QFontInfo(picture.font).family());
    paintPicture(painter, picture, named);
    return painter.end();
}

}  // namespace orvane
