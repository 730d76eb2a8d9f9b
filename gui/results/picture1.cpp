#include "gui/results/picture1.h"

#include <QPainter>
#include <utility>

#include "gui/results/graph_export.h"

namespace orvane {

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

void Picture1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTextFont();
}

void Picture1::fitTextFont() {
    setFont(fittedGraphFont(parentWidget() ? parentWidget()->font() : font(), width()));
}

void Picture1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintGraph(painter, drawing_, QRectF(rect()), kScreenLineWidth);
}

}  // namespace orvane
