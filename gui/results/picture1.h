// The graph area of the results window. It keeps the drawing that RenderSchedule produced and
// repaints from it in the user scale (0,0)-(3,3): x to the right, y downwards, with the same
// painting as the exported and printed graph (graph_export.h).
#pragma once

#include <QWidget>
#include <vector>

#include "report/report.h"

namespace orvane {

class Picture1 : public QWidget {
    Q_OBJECT
public:
    explicit Picture1(QWidget* parent = nullptr);

    void setDrawing(std::vector<DrawPrimitive> drawing);
    const std::vector<DrawPrimitive>& drawing() const { return drawing_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitTextFont();

    std::vector<DrawPrimitive> drawing_;
};

}  // namespace orvane
