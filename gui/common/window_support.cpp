#include "gui/common/window_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QMessageBox>
#include <QWidget>
#include <algorithm>

namespace orvane {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr qreal kPointSizeStep = 0.25;
// Room that a push button's frame and padding take from its caption.
constexpr int kButtonPadding = 12;

bool fits(const CaptionBox& box, const QFont& font) {
    const QFontMetricsF metrics(font);
    // Trailing blanks take no visible room.
    QString text = box.text;
    while (text.endsWith(QLatin1Char(' '))) text.chop(1);
    if (!box.wrap) {
        return metrics.horizontalAdvance(text) <= box.space.width() &&
               metrics.height() <= box.space.height();
    }
    const QRectF used =
        metrics.boundingRect(QRectF(0, 0, box.space.width(), 1e6), Qt::TextWordWrap, text);
    return used.width() <= box.space.width() && used.height() <= box.space.height();
}

}  // namespace

MessageSink messageBoxSink() {
    return [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Orvane"), text);
    };
}

std::function<bool(QWidget* parent, const QString& question)> questionBox() {
    return [](QWidget* parent, const QString& question) {
        return QMessageBox::question(parent, QStringLiteral("Orvane"), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
}

int twipsX(const QWidget* widget, int twips) {
    return qRound(twips * widget->logicalDpiX() / kTwipsPerInch);
}

int twipsY(const QWidget* widget, int twips) {
    return qRound(twips * widget->logicalDpiY() / kTwipsPerInch);
}

void placeInTwips(QWidget* control, int left, int top, int width, int height) {
    // Edges are converted rather than sizes, so that neighbouring controls stay flush.
    const int x = twipsX(control, left);
    const int y = twipsY(control, top);
    control->setGeometry(x, y, twipsX(control, left + width) - x,
                         twipsY(control, top + height) - y);
}

void setClientSizeInTwips(QWidget* window, int width, int height) {
    window->setFixedSize(twipsX(window, width), twipsY(window, height));
}

CaptionBox labelCaption(QLabel* label) {
    return {label, label->text(), label->contentsRect().size(), label->wordWrap()};
}

CaptionBox buttonCaption(QAbstractButton* button) {
    return {button, button->text(), button->size() - QSize(kButtonPadding, 4), false};
}

QFont shrunkToFit(const QFont& base, qreal minimumPointSize,
                  const std::function<bool(const QFont&)>& fits) {
    QFont font = base;
    for (qreal size = base.pointSizeF(); size > minimumPointSize; size -= kPointSizeStep) {
        font.setPointSizeF(size);
        if (fits(font)) return font;
    }
    font.setPointSizeF(minimumPointSize);
    return font;
}

qreal fittingPointSize(const std::vector<CaptionBox>& group, const QFont& base,
                       qreal minimumPointSize) {
    return shrunkToFit(base, minimumPointSize,
                       [&group](const QFont& font) {
                           return std::all_of(
                               group.begin(), group.end(),
                               [&font](const CaptionBox& box) { return fits(box, font); });
                       })
        .pointSizeF();
}

int wrappedLineHeight(const QLabel* label) {
    const QFontMetrics metrics(label->font());
    auto height = [&metrics](const QString& text) {
        return metrics.boundingRect(QRect(0, 0, 1000, 1000), Qt::TextWordWrap, text).height();
    };
    return height(QStringLiteral("X\nX")) - height(QStringLiteral("X"));
}

void fitCaptionFont(const std::vector<CaptionBox>& group, const QFont& base) {
    QFont font = base;
    font.setPointSizeF(fittingPointSize(group, base));
    for (const CaptionBox& box : group) box.control->setFont(font);
}

void quitProgram() {
    QApplication::closeAllWindows();
    QApplication::quit();
}

}  // namespace orvane
