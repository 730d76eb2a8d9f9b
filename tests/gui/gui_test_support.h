// What the window tests share: a data file of their own, a Module1, messages caught instead
// of shown, and finding windows and controls by their objectNames.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <csignal>
#include <memory>
#include <string_view>

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

template <typename T = QAbstractButton>
T* control(QWidget* window, const char* name) {
    return control<T>(window, QString::fromLatin1(name));
}

inline QLineEdit* field(QWidget* window, int number) {
    return control<QLineEdit>(window, QStringLiteral("Text%1").arg(number));
}

inline void click(QWidget* window, const char* name) {
    control(window, name)->click();
    settle();
}

// The text of a label, e.g. a window's message line.
inline QString labelText(QWidget* window, const char* name) {
    auto* label = control<QLabel>(window, name);
    return label ? label->text() : QString();
}

// Types text into a line edit as the user does (textEdited, not only textChanged).
inline void type(QWidget* window, const char* name, const QString& text) {
    auto* edit = control<QLineEdit>(window, name);
    edit->setText(text);
    emit edit->textEdited(text);
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, std::string_view bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// While alive, files may grow to limit bytes; a longer write fails with EFBIG, as on a full
// disk, instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &signal_);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit lower{limit, previous_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        ::sigaction(SIGXFSZ, &signal_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    struct sigaction signal_ {};
};

inline QString withLf(const std::string& crLfText) {
    return QString::fromStdString(crLfText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A fresh Module1 on a copy of the data file, the user's library kept in the test's folder
// (XDG_DATA_HOME), and the first input window.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousXdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path()));
        dataFile = folder.filePath(QStringLiteral("orvane.dat"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_DATA_FILE), dataFile));
        module = std::make_unique<Module1>(dataFile.toStdString(), services());
        connectWindows(*module);
        input = Form1::open(*module);
    }

    void TearDown() override {
        QApplication::closeAllWindows();
        settle();
        if (previousXdg.isNull()) {
            qunsetenv("XDG_DATA_HOME");
        } else {
            qputenv("XDG_DATA_HOME", previousXdg);
        }
    }

    // Selects a standard in the input window's list by its text.
    void choose(const char* standard) {
        auto* list = control<QListWidget>(input, "List1");
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
    QByteArray previousXdg;
    QString dataFile;
    std::unique_ptr<Module1> module;
    QStringList messages;
    QWidget* input = nullptr;
};

}  // namespace orvane::testing
