// Two controls of the results window that plain Qt widgets don't draw as the window needs.
#pragma once

#include <QLabel>
#include <QRadioButton>
#include <vector>

namespace orvane {

// An option button whose caption wraps onto several lines within the button's box.
class WrappingOptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

    // The room of the caption beside the indicator.
    QSize captionSpace() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QRect indicatorRect() const;
};

// The column captions of the dose table. The caption keeps its text; each of its numbers is
// drawn centred over its table column, wherever the table font puts that column.
class ColumnCaptionLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Horizontal centres of the columns in this label's coordinates, one per number.
    void setColumnCentres(std::vector<double> centres);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> centres_;
};

}  // namespace orvane
