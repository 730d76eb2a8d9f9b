// The input window through one session: start state, choosing a standard, the time check,
// refused input, the tab order, the calculation and the name in the report; then a failed
// start and the version and help options.
#include <QLabel>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>

#include "app/startup.h"
#include "gui_test_support.h"
#include "library/standards.h"

namespace orvane::testing {
namespace {

// Field numbers and the texts typed into them.
using Edits = std::vector<std::pair<int, const char*>>;

class InputWindow : public WindowTest {
protected:
    void typeFields(const Edits& edits) {
        for (const auto& [number, text] : edits) field(input, number)->setText(text);
    }
};

TEST_F(InputWindow, SessionFromStartToCalculation) {
    auto* list = control<QListWidget>(input, "List1");
    auto* calculateButton = control(input, "Command1");
    auto* hint = control<QLabel>(input, "Label13");
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(calculateButton->isEnabled());
    EXPECT_FALSE(hint->isVisibleTo(input));
    // The help box cuts no line at its top or bottom, at the text's start, a step or a page
    // down, or at its end.
    auto* help = control<QLabel>(input, "Label10");
    auto* box = qobject_cast<QScrollArea*>(help->parentWidget()->parentWidget());
    ASSERT_NE(box, nullptr);
    QScrollBar* scroll = box->verticalScrollBar();
    const int line = wrappedLineHeight(help), shown = box->viewport()->height();
    const QRect text = help->contentsRect();
    ASSERT_GT(scroll->maximum(), 0);  // the text needs more room than the box has
    for (const int position : {0, scroll->singleStep(), scroll->pageStep(),
                               3 * scroll->singleStep(), scroll->maximum()}) {
        for (int y = text.top(); y + line <= text.bottom() + 1; y += line) {
            const int top = y - position;  // of a text line in the box
            for (const int edge : {0, shown}) {
                EXPECT_FALSE(top < edge && top + line > edge) << position << " " << top;
            }
        }
    }
    // Disabled, the Calculate button is passed over by Tab.
    input->activateWindow();
    field(input, 13)->setFocus();
    QTest::keyClick(field(input, 13), Qt::Key_Tab);
    EXPECT_EQ(input->focusWidget(), field(input, 14));

    // A selection overwrites typed fields; a one-component standard leaves 4 to 12 blank.
    field(input, 5)->setText(QStringLiteral("9"));
    choose("Tc-99m MAG3");
    const StandardFieldTexts expected = standardFieldTexts(module->standardData().library[7]);
    for (int n = 1; n <= kFieldCount; ++n) {
        EXPECT_EQ(field(input, n)->text().toStdString(), expected.fields[n - 1]) << n;
        EXPECT_EQ(field(input, n)->text().isEmpty(), n >= 4 && n <= 12) << n;
    }

    // The time check makes the window ready; Tab now reaches the Calculate button.
    click(input, "Command3");
    EXPECT_EQ(field(input, 17)->text(), "<1 minute");
    EXPECT_TRUE(hint->isVisibleTo(input));
    EXPECT_TRUE(calculateButton->isEnabled());
    field(input, 13)->setFocus();
    QTest::keyClick(field(input, 13), Qt::Key_Tab);
    EXPECT_EQ(input->focusWidget(), calculateButton);

    // Input without a physical half-life is refused by both buttons and changes nothing.
    field(input, 13)->clear();
    click(input, "Command3");
    click(input, "Command1");
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(field(input, 17)->text(), "<1 minute");
    EXPECT_EQ(openWindow("Form2"), nullptr);
    EXPECT_FALSE(module->doseResults().has_value());

    // Another selection waits again.
    choose("Tc-99m DTPA");
    EXPECT_TRUE(field(input, 17)->text().isEmpty());
    EXPECT_FALSE(hint->isVisibleTo(input));
    EXPECT_FALSE(calculateButton->isEnabled());

    // The report names what Text16 says at the calculation, not the last list choice, and a
    // pasted line break cannot forge a report line.
    choose("Tc-99m MAG3");
    field(input, 16)->setText(QStringLiteral("MAG3, batch 7\r\nFraction 1: 9.99E+99"));
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(openWindow("Form1"), nullptr);
    const std::string& name = module->doseResults()->parameters.name;
    EXPECT_TRUE(name.starts_with("MAG3, batch 7")) << name;
    EXPECT_EQ(name.find_first_of("\r\n"), std::string::npos) << name;
    const QString report = control<QTextEdit>(results, "Text2")->toPlainText();
    EXPECT_TRUE(report.contains(QStringLiteral("MAG3, batch 7")));
    for (const QString& line : report.split(QLatin1Char('\n'))) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("Fraction 1: 9.99E+99"))) << line.toStdString();
    }

    // A time check in a fresh window runs its trial apart from the stored results.
    const DoseResults before = *module->doseResults();
    click(results, "Command2");
    input = openWindow("Form1");
    ASSERT_NE(input, nullptr);
    choose("Tc-99m DTPA");
    click(input, "Command3");
    EXPECT_TRUE(control(input, "Command1")->isEnabled());
    EXPECT_EQ(module->doseResults()->parameters, before.parameters);
    EXPECT_EQ(module->doseResults()->tables, before.tables);
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(InputWindow, TheCheckRefusesWhatTheCalculationWouldAndTellsDoubtfulInput) {
    auto* calculateButton = control(input, "Command1");
    const auto mag3 = [this] {  // a selection changes the fields only when it changes
        choose("Tc-99m DTPA");
        choose("Tc-99m MAG3");
    };
    // Each refused at the check, before Calculate is offered: a misread text, N above 1000
    // (the words of every refusal are the input suite's).
    const std::vector<std::pair<Edits, const char*>> refused{
        {{{1, "0,06"}}, "Fraction, component 1: \"0,06\" is not a number; use a decimal point"},
        {{{13, "1E6"}, {3, "1E6"}}, "N = 27778"}};
    for (const auto& [edits, words] : refused) {
        mag3();
        typeFields(edits);
        messages.clear();
        click(input, "Command3");
        ASSERT_EQ(messages.size(), 1) << words;
        EXPECT_TRUE(messages.front().contains(QString::fromUtf8(words)))
            << messages.front().toStdString();
        EXPECT_FALSE(calculateButton->isEnabled()) << words;
        EXPECT_TRUE(field(input, 17)->text().isEmpty());
    }

    // Doubtful input passes the check with one message that names every field and number.
    mag3();
    typeFields({{2, "0.001"}, {4, "0.8"}, {5, "0.0401"}, {6, "17.3"}});
    messages.clear();
    click(input, "Command3");
    EXPECT_TRUE(calculateButton->isEnabled());
    ASSERT_EQ(messages.size(), 1);
    for (const char* words : {"Fraction, component 1: the fractions add up to 1.8 (1.00E+00 + 0.8)",
                              "Biological Half-Life (min), component 1: 1.73E+01 min, but the "
                              "rate constant 0.001 min^-1 gives 0.693/k = 693 min"}) {
        EXPECT_TRUE(messages.front().contains(QString::fromLatin1(words)))
            << messages.front().toStdString();
    }
    ASSERT_NE(calculate(), nullptr);
}

// A field changed after the check is warned about again at Calculate, whatever the check said;
// a negative fraction is warned about too.
TEST_F(InputWindow, AFieldChangedSinceTheCheckIsWarnedAboutAtCalculate) {
    const std::vector<std::pair<Edits, const char*>> changed{
        {{{1, "0.6"}, {4, "0.55"}, {5, "0.01"}, {6, "69.3"}}, "the fractions add up to 1.15"},
        {{{4, "-0.2"}, {5, "0.01"}, {6, "69.3"}}, "Fraction, component 2: -0.2 is negative"},
        {{{3, "1.73"}}, "1.73 min, but the rate constant"},
    };
    for (const auto& [edits, words] : changed) {
        if (!input) input = Form1::open(*module);
        choose("Tc-99m MAG3");
        messages.clear();
        click(input, "Command3");
        EXPECT_TRUE(messages.isEmpty()) << messages.value(0).toStdString();
        typeFields(edits);
        QWidget* results = calculate();
        ASSERT_NE(results, nullptr) << words;
        results->close();
        settle();
        ASSERT_EQ(messages.size(), 1) << words;
        EXPECT_TRUE(messages.front().contains(QString::fromUtf8(words)))
            << messages.front().toStdString();
    }
}

TEST_F(InputWindow, AnUnusableDataFileStopsTheStartWithOneMessage) {
    QFile::remove(dataFile);
    Module1 other(dataFile.toStdString(), services());
    EXPECT_EQ(startOrvane(other), 1);
    EXPECT_EQ(openWindows("Form1").size(), 1);  // only the fixture's own
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(dataFile)) << messages.front().toStdString();
    EXPECT_TRUE(messages.front().contains(QStringLiteral("No such file or directory")));

    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANE_DATA_FILE), dataFile));
    EXPECT_EQ(startOrvane(other), 0);
    EXPECT_EQ(openWindows("Form1").size(), 2);
}

TEST(Program, PrintsItsVersionAndUsageWithoutOpeningAWindow) {
    // No display: a window that opened would fail to start, not exit 0 with the text.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove(QStringLiteral("QT_QPA_PLATFORM"));
    bare.remove(QStringLiteral("DISPLAY"));
    bare.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const std::vector<std::pair<QStringList, QByteArray>> cases{
        {{QStringLiteral("--version")}, "orvane 1."},
        {{QStringLiteral("--help")}, "Usage: orvane [--scenario FILE] [Qt options]\n"},
        {{QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("-h")}, "Usage:"}};
    for (const auto& [arguments, start] : cases) {
        QProcess program;
        program.setProcessEnvironment(bare);
        program.start(QStringLiteral(ORVANE_PROGRAM), arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), 0) << arguments.join(' ').toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().startsWith(start));
    }
}

}  // namespace
}  // namespace orvane::testing
