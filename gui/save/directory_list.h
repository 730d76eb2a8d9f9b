// The directory list of the save window: the ancestors of the shown folder from the root down,
// the folder itself, then its subfolders. Opening an entry (double-click or Enter) moves there.
#pragma once

#include <QListWidget>
#include <QString>

namespace orvane {

class DirectoryList : public QListWidget {
    Q_OBJECT
public:
    explicit DirectoryList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Shows folder and emits pathChanged, also when it is the folder already shown.
    void setPath(const QString& folder);

signals:
    void pathChanged();

private:
    void openEntry(QListWidgetItem* item);

    QString path_;
};

// The names of the files (not folders) in folder, sorted, without any filter.
QStringList filesIn(const QString& folder);

}  // namespace orvane
