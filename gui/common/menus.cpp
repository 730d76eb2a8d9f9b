#include "gui/common/menus.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <utility>

#include "engine/version.h"

namespace orvane {
namespace {

// A window of its own (not modal) showing Markdown, its pictures looked up in folder; one per
// document, raised when asked again.
void showDocument(QWidget* owner, const QString& name, const QString& title,
                  const QString& markdown, const std::filesystem::path& folder = {}) {
    auto* window = owner->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    if (!window) {
        window = named(new QWidget(owner, Qt::Window), name);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(title);
        auto* browser = named(new QTextBrowser(window), QStringLiteral("documentText"));
        browser->setOpenExternalLinks(true);
        browser->setSearchPaths({QString::fromStdString(folder.string())});
        browser->setMarkdown(markdown);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(760, 620);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

bool readText(const std::filesystem::path& path, QString& text) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return false;
    text = QString::fromUtf8(file.readAll());
    return file.error() == QFileDevice::NoError;
}

}  // namespace

void placeMenuBarAbove(QWidget* window, QMenuBar* bar) {
    const int height = bar->sizeHint().height();
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != bar && !child->isWindow()) child->move(child->x(), child->y() + height);
    }
    bar->setGeometry(0, 0, window->width(), height);
    window->setFixedSize(window->width(), window->height() + height);
}

void placeStatusBarBelow(QWidget* window, QStatusBar* bar) {
    const int height = bar->sizeHint().height();
    bar->setSizeGripEnabled(false);
    bar->setGeometry(0, window->height(), window->width(), height);
    window->setFixedSize(window->width(), window->height() + height);
}

QString markdownSection(const QString& markdown, const QString& title) {
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    const QString heading = QStringLiteral("## ") + title;
    QStringList section;
    bool inside = false;
    bool inCode = false;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("```"))) inCode = !inCode;
        const bool isHeading = !inCode && line.startsWith(QStringLiteral("## "));
        if (isHeading && inside) break;
        if (isHeading && line.trimmed() == heading) inside = true;
        if (inside) section << line;
    }
    return section.join(QLatin1Char('\n'));
}

QMenu* addHelpMenu(QMenuBar* bar, QWidget* window, std::filesystem::path documentFolder,
                   MessageSink sink) {
    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), QStringLiteral("helpMenu"));
    auto document = [window, folder = std::move(documentFolder), sink](
                        const char* file, const QString& name, const QString& title,
                        const QString& section) {
        const std::filesystem::path path = folder / file;
        QString text;
        if (!readText(path, text)) {
            sink(window, QStringLiteral("The help text could not be read from %1.")
                             .arg(QString::fromStdString(path.string())));
            return;
        }
        if (!section.isEmpty()) text = markdownSection(text, section);
        showDocument(window, name, title, text, folder);
    };
    named(help->addAction(QStringLiteral("The &model"),
                          [document] {
                              document("README.md", QStringLiteral("modelHelpWindow"),
                                       QStringLiteral("Orvane: the model"),
                                       QStringLiteral("The model"));
                          }),
          QStringLiteral("modelHelpAction"));
    named(help->addAction(QStringLiteral("&Data sources"),
                          [document] {
                              document("data-file.md", QStringLiteral("dataHelpWindow"),
                                       QStringLiteral("Orvane: data sources"), QString());
                          }),
          QStringLiteral("dataHelpAction"));
    help->addSeparator();
    named(help->addAction(
              QStringLiteral("&About Orvane"),
              [window] {
                  showDocument(
                      window, QStringLiteral("aboutWindow"), QStringLiteral("About Orvane"),
                      QStringLiteral("# Orvane %1\n\nAbsorbed dose to the urinary "
                                     "bladder wall (mGy/MBq) from a "
                                     "radiopharmaceutical excreted in urine, with a "
                                     "dynamic bladder model.\n\nBuilt with Qt %2.")
                          .arg(QString::fromLatin1(kVersion), QString::fromLatin1(qVersion())));
              }),
          QStringLiteral("aboutAction"));
    return help;
}

}  // namespace orvane
