// The library dialog: the standards, the shipped radiopharmaceuticals and the user's own in one
// searchable table, with the details of the one selected; the user's entries can be edited and
// deleted there.
#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>
#include <vector>

#include "gui/common/window_support.h"
#include "library/radiopharmaceuticals.h"
#include "library/workbench.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTextBrowser;

namespace orvane {

// Where the two library files are.
using LibraryLocations = LibraryFiles;

// The locations of an installed program: the shipped file beside the data file, the user's
// file as XDG_DATA_HOME and HOME say.
LibraryLocations installedLibraryLocations();

struct LibraryRow {
    LibraryEntry entry;
    EntryOrigin origin;
};

// The rows of the dialog: the standards in list order, then the shipped entries, then the
// user's.
std::vector<LibraryRow> libraryRows(const LoadedLibrary& loaded, const StandardLibrary& standards);

class LibraryDialog : public QDialog {
    Q_OBJECT
public:
    LibraryDialog(LibraryLocations locations, const StandardLibrary& standards,
                  MessageSink messageSink, QWidget* parent = nullptr);

    // The entry chosen with "Choose" or a double-click; nothing before that.
    const std::optional<LibraryEntry>& chosen() const { return chosen_; }
    // Selects the visible row of that name; false when there is none.
    bool selectEntry(const QString& name);

private:
    void reload();
    void fillTable();
    const LibraryRow* selectedRow() const;
    void showSelection();
    void chooseSelected();
    void editSelected();
    void deleteSelected();
    void renameDamagedFile();
    bool writeUserEntries(const std::vector<LibraryEntry>& entries);

    LibraryLocations locations_;
    const StandardLibrary& standards_;
    MessageSink messageSink_;
    LoadedLibrary loaded_;
    std::vector<LibraryRow> rows_;
    std::optional<LibraryEntry> chosen_;

    QLineEdit* search_;
    QTableView* table_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* filter_;
    QTextBrowser* details_;
    QLabel* problems_;
    QPushButton* renameButton_;
    QPushButton* chooseButton_;
    QPushButton* editButton_;
    QPushButton* deleteButton_;
};

// The details pane's text for an entry: values, Delta's alpha part, confidence and marks,
// published doses, notes, sources as links, and warnings.
QString entryDetailsHtml(const LibraryEntry& entry, EntryOrigin origin);

}  // namespace orvane
