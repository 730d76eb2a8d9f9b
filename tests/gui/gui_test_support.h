// What the window tests share: a data file of their own, a Module1, messages caught instead
// of shown, and finding windows and controls by their objectNames.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/startup.h"
#include "gui/common/module1.h"
#include "gui/common/window_support.h"
#include "gui/input/form1.h"

namespace orvane::testing {

// Runs the deletions of closed windows.
inline void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The open (visible) top-level windows with that objectName.
inline QList<QWidget*> openWindows(const char* name) {
    QList<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) found << widget;
    }
    return found;
}

inline QWidget* openWindow(const char* name) {
    return openWindows(name).size() == 1 ? openWindows(name).front() : nullptr;
}

template <typename T = QAbstractButton>
T* control(QWidget* window, const QString& name) {
    T* found = window ? window->findChild<T*>(name) : nullptr;
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

inline QLineEdit* field(QWidget* window, int number) {
    return control<QLineEdit>(window, QStringLiteral("Text%1").arg(number));
}

inline void click(QWidget* window, const char* name) {
    control(window, QString::fromLatin1(name))->click();
    settle();
}

inline QString withLf(const std::string& crLfText) {
    return QString::fromStdString(crLfText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A fresh Module1 on a copy of the data file, and the first input window.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        dataFile = folder.filePath(QStringLiteral("orvane.dat"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_DATA_FILE), dataFile));
        module = std::make_unique<Module1>(dataFile.toStdString(), services());
        connectWindows(*module);
        input = Form1::open(*module);
    }

    void TearDown() override {
        QApplication::closeAllWindows();
        settle();
    }

    // Selects a standard in the input window's list by its text.
    void choose(const char* standard) {
        auto* list = control<QListWidget>(input, QStringLiteral("List1"));
        list->setCurrentItem(
            list->findItems(QString::fromLatin1(standard), Qt::MatchExactly).value(0));
    }

    // From the input window: time check, calculation; returns the results window.
    QWidget* calculate() {
        click(input, "Command3");
        click(input, "Command1");
        input = nullptr;
        return openWindow("Form2");
    }

    // Messages are caught in messages; export dialogs answer nothing until a test sets them.
    WindowServices services() {
        return {.messageSink = [this](QWidget*, const QString& text) { messages << text; },
                .exportDialogs = {},
                .quit = [] {}};
    }

    QTemporaryDir folder;
    QString dataFile;
    std::unique_ptr<Module1> module;
    QStringList messages;
    QWidget* input = nullptr;
};

}  // namespace orvane::testing
