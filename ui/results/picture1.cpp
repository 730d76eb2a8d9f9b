#include "ui/results/picture1.h"

#include <QFontMetricsF>
#include <QPainter>
#include <utility>

namespace orvane {
namespace {

constexpr double kUserScale = 3.0;
// The axis labels left of the dose axis must fit between x = 0.05 and the axis at 0.6.
constexpr double kLabelRoom = 0.52;
const QString kWidestLabel = QStringLiteral("8.88E-88");

}  // namespace

Picture1::Picture1(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
}

void Picture1::setDrawing(std::vector<DrawPrimitive> drawing) {
    drawing_ = std::move(drawing);
    update();
}

QPointF Picture1::toPixels(float x, float y) const {
    return {x * width() / kUserScale, y * height() / kUserScale};
}

void Picture1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTextFont();
}

void Picture1::fitTextFont() {
    QFont text = parentWidget() ? parentWidget()->font() : font();
    const double room = kLabelRoom * width() / kUserScale;
    while (text.pointSizeF() > 6.0 && QFontMetricsF(text).horizontalAdvance(kWidestLabel) > room) {
        text.setPointSizeF(text.pointSizeF() - 0.25);
    }
    setFont(text);
}

void Picture1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    const QFontMetricsF metrics(font());
    QPointF current(0, 0);
    for (const DrawPrimitive& primitive : drawing_) {
        const QPointF target = toPixels(primitive.x, primitive.y);
        switch (primitive.kind) {
            case DrawPrimitive::Kind::Clear:
                painter.fillRect(rect(), Qt::white);
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
                // The text's top left corner lies at the position.
                painter.drawText(target + QPointF(0, metrics.ascent()),
                                 QString::fromStdString(primitive.text));
                break;
        }
    }
}

}  // namespace orvane
