// The graph of one schedule painted from its primitives onto any painter (the window's
// picture), and exported pictures written as PNG or SVG.
#pragma once

#include <QFont>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "report/report.h"

class QPainter;
class QIODevice;
class QPaintDevice;

namespace orvane {

// The user scale runs from 0 to this in x (left to right) and in y (top down).
inline constexpr double kGraphUserScale = 3.0;

// Width of the graph's lines on screen and in the PNG and SVG files, in pixels.
inline constexpr double kScreenLineWidth = 1.2;

// Paints the drawing into area: white background, black lines lineWidth wide, text in the
// painter's font with its top left corner at the printed position.
void paintGraph(QPainter& painter, const std::vector<DrawPrimitive>& drawing, const QRectF& area,
                qreal lineWidth);

// base, made smaller where needed (not below 6 pt) so that the widest dose label fits left of
// the dose axis in a graph width device pixels wide; metrics of device, or of the screen.
QFont fittedGraphFont(const QFont& base, qreal width, const QPaintDevice* device = nullptr);

// One exported graph: what paint draws into a rectangle of size (logical pixels), with font
// and dotsPerInch as on screen, under heading lines that say what it shows (empty ones are
// left out).
struct GraphPicture {
    std::function<void(QPainter& painter, const QRectF& area)> paint;
    QSize size;
    QFont font;
    int dotsPerInch;
    QString title;  // the file's own title
    QStringList heading;
};

// The picture written to device as PNG (stored at twice its size for sharpness, the title in
// its "Title" text too) or as SVG (the title also as the document's title). False when it
// cannot be encoded or written.
bool writeGraphPng(const GraphPicture& picture, QIODevice& device);
bool writeGraphSvg(const GraphPicture& picture, QIODevice& device);

}  // namespace orvane
