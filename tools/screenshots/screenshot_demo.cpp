#include "tools/screenshots/screenshot_demo.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <iostream>

#include "gui/common/module1.h"
#include "gui/library/library_dialog.h"

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

// The results window with the graph's context menu open over it, as the screen shows them.
void saveContextMenu(QWidget* results, const QString& file, std::function<void()> then) {
    QWidget* picture = control<QWidget>(results, "Picture1");
    if (!picture) return QApplication::exit(1);
    const QPoint at = picture->rect().center() - QPoint(picture->width() / 5, 0);
    QCoreApplication::postEvent(
        picture, new QContextMenuEvent(QContextMenuEvent::Mouse, at, picture->mapToGlobal(at)));
    QTimer::singleShot(kSettleMilliseconds, [results, file, then] {
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            std::cerr << "the graph's context menu did not open\n";
            return QApplication::exit(1);
        }
        const QRect area = results->frameGeometry().united(menu->frameGeometry());
        if (!results->screen()
                 ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                 .save(file)) {
            std::cerr << "could not write " << file.toStdString() << "\n";
            QApplication::exit(1);
        }
        menu->close();
        QTimer::singleShot(kSettleMilliseconds, then);
    });
}

// All three schedules as PDF through the window's own command, its file dialog answered.
void savePdf(Module1& module, QWidget* results, const QString& file) {
    auto* command =
        results ? results->findChild<QAction*>(QStringLiteral("saveAllPdfAction")) : nullptr;
    if (!command) return QApplication::exit(1);
    WindowServices& services = module.services();
    const MessageSink previous = services.messageSink;
    services.messageSink = [](QWidget*, const QString& text) {
        std::cerr << text.toStdString() << "\n";
        QApplication::exit(1);
    };
    services.exportDialogs.saveFileName = [file](QWidget*, const QString&, const QString&,
                                                 const QStringList&) { return file; };
    command->trigger();
    services.messageSink = previous;
}

// Waits, then pictures the window of that name and runs then.
void pictureLater(const char* name, const QString& file, std::function<void()> then) {
    QTimer::singleShot(kSettleMilliseconds, [name, file, then] {
        save(window(name), file);
        if (window(name)) window(name)->close();
        then();
    });
}

// The library dialog searched for "PSMA" with Lu-177 PSMA-617 selected, then closed unchosen.
// The last one.
void saveLibraryDialog(Module1& module, const QDir& out) {
    QTimer::singleShot(kSettleMilliseconds, [out] {
        QWidget* dialog = window("LibraryDialog");
        auto* search = control<QLineEdit>(dialog, "librarySearch");
        if (!search) return QApplication::exit(1);
        search->setText(QStringLiteral("PSMA"));
        auto* library = qobject_cast<LibraryDialog*>(dialog);
        if (!library || !library->selectEntry(QStringLiteral("Lu-177 PSMA-617"))) {
            std::cerr << "Lu-177 PSMA-617 is not in the library\n";
            return QApplication::exit(1);
        }
        pictureLater("LibraryDialog", out.filePath(QStringLiteral("library-dialog.png")), [] {});
    });
    // Modal: returns when the picture is taken and the dialog closed.
    module.openers().chooseRadiopharmaceutical(window("Form1"));
    QApplication::closeAllWindows();
}

// A new scenario given Age 5 and Sex female, every value left to the reference patient (the
// README's "Children and reference patients"), then the library dialog.
void saveGirl(Module1& module, const QDir& out) {
    if (!module.openers().scenario({}, {})) return QApplication::exit(1);
    QTimer::singleShot(kSettleMilliseconds, [&module, out] {
        QWidget* scenario = window("scenarioWindow");
        auto* age = control<QLineEdit>(scenario, "patientAge");
        auto* sex = control<QComboBox>(scenario, "patientSex");
        auto* name = control<QLineEdit>(scenario, "scenarioName");
        auto* take = control<QAbstractButton>(scenario, "patientValues");
        if (!age || !sex || !name || !take) return QApplication::exit(1);
        name->setText(QStringLiteral("5-year-old girl, Tc-99m MAG3"));
        emit name->textEdited(name->text());
        age->setText(QStringLiteral("5"));
        emit age->textEdited(age->text());
        sex->setCurrentText(QStringLiteral("female"));
        take->click();
        pictureLater("scenarioWindow", out.filePath(QStringLiteral("scenario-girl-mag3.png")),
                     [&module, out] { saveLibraryDialog(module, out); });
    });
}

// An example in a scenario window, its tab `tab` shown and its Run pressed; once Run is
// offered again (the run ended), the window is saved as `picture` and `then` goes on.
void saveRun(Module1& module, const char* example, int tab, const char* run, const QString& picture,
             std::function<void()> then) {
    if (!module.openers().scenario(
            QDir(QStringLiteral(ORVANE_EXAMPLES_DIR)).filePath(QString::fromLatin1(example)), {}))
        return QApplication::exit(1);
    QTimer::singleShot(kSettleMilliseconds, [tab, run, picture, then] {
        QWidget* scenario = window("scenarioWindow");
        auto* tabs = control<QTabWidget>(scenario, "scenarioTabs");
        auto* button = control<QAbstractButton>(scenario, run);
        if (!tabs || !button) return QApplication::exit(1);
        tabs->setCurrentIndex(tab);
        button->click();
        auto* poll = new QTimer(scenario);
        QObject::connect(poll, &QTimer::timeout, [poll, button, picture, then] {
            if (!button->isEnabled()) return;
            poll->stop();
            pictureLater("scenarioWindow", picture, then);
        });
        poll->start(100);
    });
}

// The Measurements tab of the README's fit example (Lu-177 PSMA-617) after its fit, then the
// girl's scenario.
void saveMeasurements(Module1& module, const QDir& out) {
    saveRun(module, "fit-lu177-psma617.json", 2, "measurementsFitRun",
            out.filePath(QStringLiteral("scenario-measurements.png")),
            [&module, out] { saveGirl(module, out); });
}

// The uncertainty tab of the README's worked example (I-131 NaI, the population preset) after
// its run.
void saveUncertainty(Module1& module, const QDir& out) {
    saveRun(module, "i131-nai-population-uncertainty.json", 1, "uncertaintyRun",
            out.filePath(QStringLiteral("scenario-uncertainty.png")),
            [&module, out] { saveMeasurements(module, out); });
}

// The chart of the dose table; a cell of the MAG3 table over time (V0 = 100 ml, T0 = 120 min,
// by its context menu); an I-131 NaI patient with a 2-hour diary and a night. The last ones.
void saveChartAndScenarios(Module1& module, QWidget* results, const QDir& out) {
    results->findChild<QAction*>(QStringLiteral("doseChartAction"))->trigger();
    pictureLater(
        "doseChartWindow", out.filePath(QStringLiteral("dose-chart.png")), [&module, results, out] {
            auto* table = control<QTextEdit>(results, "Text1");
            QTextCursor cursor(table->document()->findBlockByNumber(2));
            cursor.setPosition(cursor.position() + 5 * 10 + 3);
            emit table->customContextMenuRequested(table->cursorRect(cursor).center());
            auto* menu = results->findChild<QMenu*>(QStringLiteral("tableMenu"));
            menu->findChild<QAction*>(QStringLiteral("cellOverTimeAction"))->trigger();
            menu->close();
            pictureLater("scenarioWindow", out.filePath(QStringLiteral("scenario-mag3-cell.png")),
                         [&module, out] {
                             const char* diary = R"({
  "name": "I-131 NaI, voiding every 2 hours, asleep 23:00 to 07:00",
  "radiopharmaceutical": {"standard": "I-131 NaI"},
  "administration_time": "10:00",
  "initial_volume": 80,
  "residual_volume": 15,
  "administered_activity": 3700,
  "fill_rate": {"day": 1.2, "night": 0.5, "night_from": "23:00", "night_to": "07:00"},
  "voiding": {"voids": [120, 240, 360, {"at": 480, "residual": 40}, 600, 720],
              "then": {"interval": 120, "bedtime": "23:00", "wake": "07:00"}},
  "end_time": 2880
})";
                             module.openers().scenario({}, diary);
                             pictureLater("scenarioWindow",
                                          out.filePath(QStringLiteral("scenario-i131-diary.png")),
                                          [&module, out] { saveUncertainty(module, out); });
                         });
        });
}

// Opens the save window from the results window and takes its picture.
void saveWindow(Module1& module, QWidget* results, const QDir& out) {
    control<QAbstractButton>(results, "Command1")->click();
    QTimer::singleShot(kSettleMilliseconds, [&module, results, out] {
        QWidget* saveWindow = window("Form3");
        if (auto* name = control<QLineEdit>(saveWindow, "Text1")) {
            name->setText(QStringLiteral("mag3-doses.txt"));
        }
        save(saveWindow, out.filePath(QStringLiteral("save-window.png")));
        saveWindow->close();
        saveChartAndScenarios(module, results, out);
    });
}

}  // namespace

void runScreenshotDemo(Module1& module, const QString& folder) {
    const QDir out(folder);
    QTimer::singleShot(kSettleMilliseconds, [&module, out] {
        QWidget* input = window("Form1");
        auto* list = control<QListWidget>(input, "List1");
        if (!list) return QApplication::exit(1);
        list->setCurrentItem(
            list->findItems(QStringLiteral("Tc-99m MAG3"), Qt::MatchExactly).value(0));
        control<QAbstractButton>(input, "Command3")->click();
        save(input, out.filePath(QStringLiteral("input-window.png")));
        control<QAbstractButton>(input, "Command1")->click();

        QTimer::singleShot(kSettleMilliseconds, [&module, out] {
            QWidget* results = window("Form2");
            save(results, out.filePath(QStringLiteral("results-window.png")));
            savePdf(module, results, out.filePath(QStringLiteral("results-print.pdf")));
            saveContextMenu(results, out.filePath(QStringLiteral("graph-context-menu.png")),
                            [&module, out, results] { saveWindow(module, results, out); });
        });
    });
}

}  // namespace orvane
