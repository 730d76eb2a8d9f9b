#include "gui/save/directory_list.h"

#include <QDir>
#include <QStyle>

namespace orvane {
namespace {

constexpr int kPathRole = Qt::UserRole;
const QString kIndent = QStringLiteral("  ");

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, &DirectoryList::openEntry);
}

void DirectoryList::setPath(const QString& folder) {
    path_ = QDir::cleanPath(QDir(folder).absolutePath());
    clear();

    // Root down to the folder itself, each one step further in.
    QStringList chain;
    for (QDir dir(path_);; dir.cdUp()) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot()) break;
    }
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    for (int depth = 0; depth < chain.size(); ++depth) {
        const QString name = depth == 0 ? chain[depth] : QDir(chain[depth]).dirName();
        auto* item = new QListWidgetItem(openIcon, kIndent.repeated(depth) + name, this);
        item->setData(kPathRole, chain[depth]);
    }
    setCurrentRow(static_cast<int>(chain.size()) - 1);

    const QDir here(path_);
    const QStringList subfolders =
        here.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(closedIcon, kIndent.repeated(chain.size()) + name, this);
        item->setData(kPathRole, here.absoluteFilePath(name));
    }
    emit pathChanged();
}

void DirectoryList::openEntry(QListWidgetItem* item) {
    if (!item) return;
    // The list is rebuilt, so leave the activation signal before the item goes away.
    const QString folder = item->data(kPathRole).toString();
    QMetaObject::invokeMethod(
        this, [this, folder] { setPath(folder); }, Qt::QueuedConnection);
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace orvane
