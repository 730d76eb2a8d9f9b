// The graph of one schedule painted from its primitives onto any painter. The window's
// picture, the PNG and SVG files and the printed page all go through paintGraph, so they
// show the same drawing.
#pragma once

#include <QFont>
#include <QRectF>
#include <QSize>
#include <QString>
#include <vector>

#include "report/report.h"

class QPainter;
class QPaintDevice;

namespace orvane {

// The user scale runs from 0 to this in x (left to right) and in y (top down).
inline constexpr double kGraphUserScale = 3.0;

// Width of the graph's lines on screen and in the PNG and SVG files, in pixels.
inline constexpr double kScreenLineWidth = 1.2;

// Point of the user scale in the coordinates of area.
QPointF graphToArea(const QRectF& area, float x, float y);

// Paints the drawing into area: white background, black lines lineWidth wide, text in the
// painter's font with its top left corner at the printed position.
void paintGraph(QPainter& painter, const std::vector<DrawPrimitive>& drawing, const QRectF& area,
                qreal lineWidth);

// base, made smaller where needed (not below 6 pt) so that the widest dose label fits left of
// the dose axis in a graph width device pixels wide; metrics of device, or of the screen.
QFont fittedGraphFont(const QFont& base, qreal width, const QPaintDevice* device = nullptr);

// The graph as a PNG of size (logical pixels, stored at twice that for sharpness) or as an
// SVG drawing of that size; font and dotsPerInch as on screen. False when the file cannot be
// written.
bool writeGraphPng(const std::vector<DrawPrimitive>& drawing, QSize size, const QFont& font,
                   int dotsPerInch, const QString& path);
bool writeGraphSvg(const std::vector<DrawPrimitive>& drawing, QSize size, const QFont& font,
                   int dotsPerInch, const QString& path, const QString& title);

}  // namespace orvane
