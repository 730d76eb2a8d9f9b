#include "gui/common/menus.h"

#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>

#include "engine/version.h"
#include "gui/common/module1.h"
#include "library/radiopharmaceuticals.h"

namespace orvane {
namespace {

// A document browser whose pictures are never wider than its window: a wider one is shown
// scaled down to the width there is, again whenever the window is resized.
class DocumentBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    void fitPictures() {
        QTextDocument* text = document();
        // The room beside a vertical scroll bar, whether one is shown or not.
        const double room = contentsRect().width() - verticalScrollBar()->sizeHint().width() -
                            2 * text->documentMargin();
        if (room <= 0) return;
        struct Picture {
            int position;
            int length;
            QTextImageFormat format;
        };
        std::vector<Picture> pictures;
        for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
            for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
                const QTextFragment fragment = piece.fragment();
                if (fragment.charFormat().isImageFormat()) {
                    pictures.push_back({fragment.position(), fragment.length(),
                                        fragment.charFormat().toImageFormat()});
                }
            }
        }
        for (Picture& picture : pictures) {
            const QSizeF natural = naturalSize(picture.format.name());
            if (natural.isEmpty()) continue;
            const double width = std::min(natural.width(), std::floor(room));
            if (picture.format.width() == width) continue;
            picture.format.setWidth(width);
            picture.format.setHeight(natural.height() * width / natural.width());
            QTextCursor cursor(text);
            cursor.setPosition(picture.position);
            cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture.format);
        }
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QTextBrowser::resizeEvent(event);
        fitPictures();
    }

private:
    // The picture's own size in pixels; empty when it cannot be found or read.
    QSizeF naturalSize(const QString& name) {
        const QVariant resource = document()->resource(QTextDocument::ImageResource, QUrl(name));
        QImage image;
        if (resource.canConvert<QImage>()) image = resource.value<QImage>();
        if (image.isNull() && resource.canConvert<QPixmap>())
            image = resource.value<QPixmap>().toImage();
        if (image.isNull() && resource.typeId() == QMetaType::QByteArray)
            image.loadFromData(resource.toByteArray());
        return image.isNull() ? QSizeF() : QSizeF(image.size()) / image.devicePixelRatio();
    }
};

enum class Format { Markdown, Html };

// A window of its own (not modal) showing a document, its pictures looked up in folder; one per
// document, raised when asked again.
void showDocument(QWidget* owner, const QString& name, const QString& title, const QString& text,
                  Format format, QSize size, const std::filesystem::path& folder = {}) {
    auto* window = owner->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    if (!window) {
        window = named(new QWidget(owner, Qt::Window), name);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(title);
        auto* browser = named(new DocumentBrowser(window), QStringLiteral("documentText"));
        browser->setOpenExternalLinks(true);
        browser->setSearchPaths({QString::fromStdString(folder.string())});
        if (format == Format::Markdown) {
            browser->setMarkdown(text);
        } else {
            browser->setHtml(text);
        }
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(size);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

// The licence the package declares (project_license in
// data/desktop/org.orvane.Orvane.metainfo.xml); no other licence is shipped.
constexpr const char* kLicence = "proprietary (LicenseRef-proprietary)";

QString htmlPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string()).toHtmlEscaped();
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

QString aboutText(const std::filesystem::path& dataFile) {
    std::error_code error;
    const std::filesystem::path data = std::filesystem::absolute(dataFile, error);
    const std::optional<std::filesystem::path> library =
        userLibraryPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    QString libraryText = QStringLiteral("none: neither XDG_DATA_HOME nor HOME names a folder");
    if (library) {
        libraryText = htmlPath(*library);
        if (!std::filesystem::exists(*library, error)) {
            libraryText += QStringLiteral(" (made when the first entry is saved)");
        }
    }
    return QStringLiteral(
               "<h2>Orvane %1</h2>"
               "<p>Absorbed dose to the urinary bladder wall (mGy/MBq) from a radiopharmaceutical "
               "excreted in urine, with a dynamic bladder model.</p>"
               "<table cellspacing=\"4\">"
               "<tr><td><b>Version</b></td><td>%1</td></tr>"
               "<tr><td><b>Licence</b></td><td>%2</td></tr>"
               "<tr><td><b>Data file in use</b></td><td>%3</td></tr>"
               "<tr><td><b>Your radiopharmaceutical library</b></td><td>%4</td></tr>"
               "</table>"
               "<p>Built with Qt %5.</p>")
        .arg(QString::fromLatin1(kVersion), QString::fromLatin1(kLicence),
             htmlPath(error ? dataFile : data), libraryText, QString::fromLatin1(qVersion()));
}

QMenu* addHelpMenu(QMenuBar* bar, QWidget* window, Module1& module) {
    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), QStringLiteral("helpMenu"));
    auto document = [window, &module](const char* file, const QString& name, const QString& title,
                                      const QString& section) {
        const std::filesystem::path folder = module.dataFilePath().parent_path();
        const std::filesystem::path path = folder / file;
        QString text;
        if (!readText(path, text)) {
            module.services().messageSink(window,
                                          QStringLiteral("The help text could not be read from %1.")
                                              .arg(QString::fromStdString(path.string())));
            return;
        }
        if (!section.isEmpty()) text = markdownSection(text, section);
        showDocument(window, name, title, text, Format::Markdown, QSize(760, 620), folder);
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
    named(help->addAction(QStringLiteral("&About Orvane"),
                          [window, &module] {
                              showDocument(window, QStringLiteral("aboutWindow"),
                                           QStringLiteral("About Orvane"),
                                           aboutText(module.dataFilePath()), Format::Html,
                                           QSize(620, 300));
                          }),
          QStringLiteral("aboutAction"));
    return help;
}

}  // namespace orvane
