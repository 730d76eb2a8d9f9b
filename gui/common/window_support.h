// Small pieces that the three windows share: twips to pixels, fonts that fit their boxes,
// the replaceable message box and the end of the program.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

class QWidget;
class QLabel;
class QAbstractButton;

namespace orvane {

// Shows a message about a failure or a refused action to the user. The windows call it
// instead of opening a modal box themselves, so that tests can replace it.
using MessageSink = std::function<void(QWidget* parent, const QString& text)>;
MessageSink messageBoxSink();

// A yes/no message box, No being the default answer.
std::function<bool(QWidget* parent, const QString& question)> questionBox();

// Gives a control its objectName, by which the program and the tests know it.
template <typename T>
T* named(T* control, const QString& name) {
    control->setObjectName(name);
    return control;
}

// Layout sizes are given in twips, 1440 to the inch of the screen's logical resolution.
int twipsX(const QWidget* widget, int twips);
int twipsY(const QWidget* widget, int twips);
void placeInTwips(QWidget* control, int left, int top, int width, int height);
void setClientSizeInTwips(QWidget* window, int width, int height);

// A caption and the room it has in its control.
struct CaptionBox {
    QWidget* control;
    QString text;
    QSize space;
    bool wrap;  // may break between words
};
CaptionBox labelCaption(QLabel* label);
CaptionBox buttonCaption(QAbstractButton* button);

// base at the largest point size, from its own down in quarter points, for which fits holds;
// at minimumPointSize when none above it does. Every "shrink until it fits" goes through here.
QFont shrunkToFit(const QFont& base, qreal minimumPointSize,
                  const std::function<bool(const QFont&)>& fits);

// The largest point size of base, not above its own, at which every caption of the group fits
// its space; at least minimumPointSize.
qreal fittingPointSize(const std::vector<CaptionBox>& group, const QFont& base,
                       qreal minimumPointSize = 6.0);
// The distance from one line of label's word-wrapped text to the next, in pixels.
int wrappedLineHeight(const QLabel* label);

// Gives every control of the group base at the fitting point size.
void fitCaptionFont(const std::vector<CaptionBox>& group, const QFont& base);

// Ends the program at once: every window closes without a question.
void quitProgram();

}  // namespace orvane
