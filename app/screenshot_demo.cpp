#include "app/screenshot_demo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <iostream>

namespace orvane {
namespace {

constexpr int kSettleMilliseconds = 400;

QWidget* window(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) return widget;
    }
    return nullptr;
}

template <typename T>
T* control(QWidget* parent, const char* name) {
    return parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

void save(QWidget* widget, const QString& file) {
    if (!widget || !widget->grab().save(file)) {
        std::cerr << "could not write " << file.toStdString() << "\n";
        QApplication::exit(1);
    }
}

}  // namespace

void runScreenshotDemo(const QString& folder) {
    const QDir out(folder);
    QTimer::singleShot(kSettleMilliseconds, [out] {
        QWidget* input = window("Form1");
        auto* list = control<QListWidget>(input, "List1");
        if (!list) return QApplication::exit(1);
        list->setCurrentItem(
            list->findItems(QStringLiteral("Tc-99m MAG3"), Qt::MatchExactly).value(0));
        control<QAbstractButton>(input, "Command3")->click();
        save(input, out.filePath(QStringLiteral("input-window.png")));
        control<QAbstractButton>(input, "Command1")->click();

        QTimer::singleShot(kSettleMilliseconds, [out] {
            QWidget* results = window("Form2");
            save(results, out.filePath(QStringLiteral("results-window.png")));
            control<QAbstractButton>(results, "Command1")->click();

            QTimer::singleShot(kSettleMilliseconds, [out] {
                QWidget* saveWindow = window("Form3");
                if (auto* name = control<QLineEdit>(saveWindow, "Text1")) {
                    name->setText(QStringLiteral("mag3-doses.txt"));
                }
                save(saveWindow, out.filePath(QStringLiteral("save-window.png")));
                QApplication::closeAllWindows();
            });
        });
    });
}

}  // namespace orvane
