#include "gui/results/graph_export.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace orvane {
namespace {

// The axis labels left of the dose axis must fit between x = 0.05 and the axis at 0.6.
constexpr double kLabelRoom = 0.52;
constexpr double kMinimumPointSize = 6.0;
constexpr int kPngScale = 2;

}  // namespace

QPointF graphToArea(const QRectF& area, float x, float y) {
    return {area.left() + x * area.width() / kGraphUserScale,
            area.top() + y * area.height() / kGraphUserScale};
}

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
    QFont text = base;
    auto labelWidth = [&] {
        return device ? QFontMetricsF(text, device).horizontalAdvance(widestLabel)
                      : QFontMetricsF(text).horizontalAdvance(widestLabel);
    };
    while (text.pointSizeF() > kMinimumPointSize && labelWidth() > room) {
        text.setPointSizeF(text.pointSizeF() - 0.25);
    }
    return text;
}

bool writeGraphPng(const std::vector<DrawPrimitive>& drawing, QSize size, const QFont& font,
                   int dotsPerInch, const QString& path) {
    QImage image(size * kPngScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(kPngScale);
    const int dotsPerMeter = qRound(dotsPerInch / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        paintGraph(painter, drawing, QRectF(QPointF(0, 0), QSizeF(size)), kScreenLineWidth);
    }
    return image.save(path, "PNG");
}

bool writeGraphSvg(const std::vector<DrawPrimitive>& drawing, QSize size, const QFont& font,
                   int dotsPerInch, const QString& path, const QString& title) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(dotsPerInch);
    svg.setTitle(title);
    svg.setDescription(
        QStringLiteral("Bladder-wall dose against first-void time T0, one curve "
                       "per initial bladder volume V0. Drawn by Orvane."));
    {
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        // The family the font resolves to here, not an alias such as "Sans Serif" that a
        // viewer elsewhere would not know.
        QFont named = font;
        named.setFamily(QFontInfo(font).family());
        painter.setFont(named);
        paintGraph(painter, drawing, QRectF(QPointF(0, 0), QSizeF(size)), kScreenLineWidth);
        if (!painter.end()) return false;
    }
    file.close();
    return file.error() == QFileDevice::NoError;
}

}  // namespace orvane
