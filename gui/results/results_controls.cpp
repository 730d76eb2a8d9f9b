#include "gui/results/results_controls.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <utility>

namespace orvane {
namespace {

constexpr int kCaptionGap = 4;
constexpr Qt::Alignment kCaptionAlignment = Qt::AlignLeft | Qt::AlignVCenter;

}  // namespace

QRect WrappingOptionButton::indicatorRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    return style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
}

QSize WrappingOptionButton::captionSpace() const {
    return {width() - indicatorRect().right() - 1 - kCaptionGap, height()};
}

void WrappingOptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.rect = indicatorRect();
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, option);

    const QRect caption(option.rect.right() + 1 + kCaptionGap, 0, captionSpace().width(), height());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const int flags = static_cast<int>(kCaptionAlignment) | Qt::TextWordWrap;
    painter.drawText(caption, flags, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = painter.boundingRect(caption, flags, text()).adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingOptionButton::hitButton(const QPoint& position) const {
    return rect().contains(position);
}

void ColumnCaptionLabel::setColumnCentres(std::vector<double> centres) {
    centres_ = std::move(centres);
    update();
}

void ColumnCaptionLabel::paintEvent(QPaintEvent* event) {
    const QStringList numbers = text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (centres_.size() != static_cast<std::size_t>(numbers.size())) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF metrics(font());
    for (int i = 0; i < numbers.size(); ++i) {
        const double width = metrics.horizontalAdvance(numbers[i]);
        painter.drawText(
            QPointF(centres_[static_cast<std::size_t>(i)] - width / 2, metrics.ascent()),
            numbers[i]);
    }
}

}  // namespace orvane
