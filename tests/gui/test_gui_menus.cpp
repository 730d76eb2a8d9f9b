// The menu bars: above the documented controls without moving them relative to each other,
// the Help documents read from beside the data file, their pictures no wider than the window,
// a missing document reported, and About naming the files in use.
#include <QAction>
#include <QDir>
#include <QImage>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBrowser>

#include "engine/version.h"
#include "gui/common/menus.h"
#include "gui_test_support.h"
#include "library/radiopharmaceuticals.h"

namespace orvane::testing {
namespace {

using Menus = WindowTest;

// The documented controls of a window, with their places relative to the first one.
QList<QPoint> relativePlaces(QWidget* window, const QStringList& names) {
    QList<QPoint> places;
    const QPoint origin = control<QWidget>(window, names.front())->pos();
    for (const QString& name : names) places << control<QWidget>(window, name)->pos() - origin;
    return places;
}

TEST_F(Menus, BarSitsAboveTheControlsAndTheWindowGrowsByIt) {
    const QStringList inputControls{"Label1",   "List1",    "Text1",   "Text16",
                                    "Command1", "Command2", "Command3"};
    const QStringList resultsControls{"Picture1", "Text1",  "Text2", "Option1",
                                      "Command1", "Label4", "Label5"};
    auto check = [&](QWidget* window, const QStringList& names, int twipsHeight) {
        auto* bar = control<QMenuBar>(window, "menuBar");
        EXPECT_EQ(bar->geometry().top(), 0);
        // The results window's status bar sits below the controls.
        const auto* status = window->findChild<QStatusBar*>(QStringLiteral("statusBar"));
        const int below = twipsY(window, twipsHeight) + bar->height();
        if (status) {
            EXPECT_EQ(status->y(), below);
        }
        EXPECT_EQ(window->height(), below + (status ? status->height() : 0));
        for (const QString& name : names) {
            EXPECT_GE(control<QWidget>(window, name)->y(), bar->height()) << name.toStdString();
        }
        return relativePlaces(window, names);
    };
    const QList<QPoint> inputPlaces = check(input, inputControls, 7470);
    // Text16 at (840, 4920) twips and Command2 at (6360, 6720), relative to Label1 (1200, 120).
    EXPECT_EQ(inputPlaces[3], QPoint(twipsX(input, 840) - twipsX(input, 1200),
                                     twipsY(input, 4920) - twipsY(input, 120)));
    EXPECT_EQ(inputPlaces[5], QPoint(twipsX(input, 6360) - twipsX(input, 1200),
                                     twipsY(input, 6720) - twipsY(input, 120)));
    choose("Tc-99m MAG3");
    QWidget* results = calculate();
    ASSERT_NE(results, nullptr);
    const QList<QPoint> resultsPlaces = check(results, resultsControls, 6915);
    // Command1 at (480, 6360) twips, relative to Picture1 at (120, 240).
    EXPECT_EQ(resultsPlaces[4], QPoint(twipsX(results, 480) - twipsX(results, 120),
                                       twipsY(results, 6360) - twipsY(results, 240)));
}

// The model's section of the README beside the data file, its picture found beside it (as the
// build and install lay it) and scaled to the window's width, never scrolled; a document not
// there (data-file.md) is reported with where it was looked for.
TEST_F(Menus, HelpShowsTheModelSectionReportsAMissingDocumentAndAboutNamesTheFiles) {
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("docs")));
    for (const QString name : {"README.md", "docs/model-cell.png"})
        ASSERT_TRUE(QFile::copy(ORVANE_SOURCE_DIR "/" + name, folder.filePath(name)));
    control<QAction>(input, "modelHelpAction")->trigger();
    settle();
    auto* help = input->findChild<QWidget*>(QStringLiteral("modelHelpWindow"));
    ASSERT_NE(help, nullptr);
    auto* text = control<QTextBrowser>(help, "documentText");
    const QString shown = text->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("The model"))) << shown.left(80).toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Voiding schedule")));
    EXPECT_FALSE(shown.contains(QStringLiteral("orvane-cli --standard")));  // another section
    const QUrl source(QStringLiteral("docs/model-cell.png"));
    EXPECT_TRUE(text->toMarkdown().contains(source.toString()));
    EXPECT_FALSE(text->loadResource(QTextDocument::ImageResource, source).isNull());
    const QImage picture(folder.filePath(source.toString()));
    ASSERT_GT(picture.width(), 500);
    for (const int width : {picture.width() - 100, 420}) {
        help->resize(width, 500);
        settle();
        EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0) << width;
        EXPECT_LE(text->document()->idealWidth(), text->viewport()->width()) << width;
    }
    EXPECT_TRUE(messages.isEmpty());

    control<QAction>(input, "dataHelpAction")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().contains(QStringLiteral("data-file.md")));
    EXPECT_EQ(input->findChild<QWidget*>(QStringLiteral("dataHelpWindow")), nullptr);

    // About names the data file in use and where the user's library is kept.
    control<QAction>(input, "aboutAction")->trigger();
    settle();
    auto* about = input->findChild<QWidget*>(QStringLiteral("aboutWindow"));
    ASSERT_NE(about, nullptr);
    const QString aboutText = about->findChild<QTextBrowser*>()->toPlainText();
    const auto library = userLibraryPath(qgetenv("XDG_DATA_HOME").constData(), nullptr);
    ASSERT_TRUE(library.has_value());
    for (const QString& named :
         {dataFile, QString::fromStdString(library->string()),
          QStringLiteral("Orvane ") + QString::fromLatin1(kVersion), QStringLiteral("Licence")}) {
        EXPECT_TRUE(aboutText.contains(named)) << named.toStdString() << aboutText.toStdString();
    }
}

TEST(MarkdownSection, TakesOneSectionAndIgnoresHeadingsInCode) {
    const QString text = QStringLiteral(
        "# Title\n## One\na\n```\n## not a heading\n```\nb\n## Two\nc\n## One more\n");
    EXPECT_EQ(markdownSection(text, QStringLiteral("One")),
              QStringLiteral("## One\na\n```\n## not a heading\n```\nb"));
    EXPECT_EQ(markdownSection(text, QStringLiteral("Two")), QStringLiteral("## Two\nc"));
    EXPECT_EQ(markdownSection(text, QStringLiteral("Three")), QString());
}

}  // namespace
}  // namespace orvane::testing
