#include "gui/library/library_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <cstdlib>

#include "engine/numtext.h"
#include "gui/library/entry_form.h"
#include "library/install_paths.h"

namespace orvane {
namespace {

constexpr int kRowRole = Qt::UserRole + 1;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString originText(EntryOrigin origin) {
    switch (origin) {
        case EntryOrigin::Standard:
            return QStringLiteral("standard");
        case EntryOrigin::Shipped:
            return QStringLiteral("library");
        case EntryOrigin::User:
            break;
    }
    return QStringLiteral("yours");
}

// Shows the rows whose name, aliases or nuclide contain the search text as typed.
class EntryFilter : public QSortFilterProxyModel {
public:
    EntryFilter(const std::vector<LibraryRow>& rows, QObject* parent)
        : QSortFilterProxyModel(parent), rows_(rows) {}

    void setQuery(const QString& query) {
        query_ = query.toStdString();
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override {
        const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
        const int row = index.data(kRowRole).toInt();
        if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
        const LibraryEntry& entry = rows_[static_cast<std::size_t>(row)].entry;
        return entryMatches(entry, query_);
    }

private:
    const std::vector<LibraryRow>& rows_;
    std::string query_;
};

QString escaped(const std::string& value) {
    return text(value).toHtmlEscaped();
}

QString valueRow(const QString& caption, const QString& value) {
    return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(caption, value);
}

QString number(double value) {
    return text(formatScientific(value));
}

}  // namespace

LibraryLocations installedLibraryLocations() {
    return {shippedLibraryPathFor(executableDirectory()),
            userLibraryPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))};
}

std::vector<LibraryRow> libraryRows(const LoadedLibrary& loaded, const StandardLibrary& standards) {
    std::vector<LibraryRow> rows;
    for (int k = 0; k < kStandardCount; ++k) {
        rows.push_back(
            {standardEntry(standards[static_cast<std::size_t>(k)], k), EntryOrigin::Standard});
    }
    for (const LibraryEntry& entry : loaded.shipped) rows.push_back({entry, EntryOrigin::Shipped});
    for (const LibraryEntry& entry : loaded.user) rows.push_back({entry, EntryOrigin::User});
    return rows;
}

QString entryDetailsHtml(const LibraryEntry& entry, EntryOrigin origin) {
    const StandardPharmaceutical& v = entry.values;
    QString html = QStringLiteral("<h3>%1</h3>").arg(escaped(entry.name()));
    for (const std::string& warning : entry.warnings) {
        html += QStringLiteral("<p style=\"color:#b00000\"><b>Warning:</b> %1</p>")
                    .arg(escaped(warning));
    }
    QStringList about{originText(origin)};
    if (!entry.nuclide.empty()) about << escaped(entry.nuclide);
    if (!entry.aliases.empty()) {
        QStringList aliases;
        for (const std::string& alias : entry.aliases) aliases << escaped(alias);
        about << QStringLiteral("also: ") + aliases.join(QStringLiteral(", "));
    }
    html += QStringLiteral("<p>%1</p>").arg(about.join(QStringLiteral(" &middot; ")));

    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
    for (int j = 0; j < kComponentCount; ++j) {
        if (v.fraction[j] == 0 && v.rateConstant[j] == 0) continue;
        html += valueRow(QStringLiteral("Component %1").arg(j + 1),
                         QStringLiteral("fraction %1, k %2 /min, Tbio %3 min")
                             .arg(number(v.fraction[j]), number(v.rateConstant[j]),
                                  number(v.biologicalHalfLife[j])));
    }
    html += valueRow(QStringLiteral("Physical half-life"),
                     number(v.physicalHalfLife) + QStringLiteral(" min"));
    html += valueRow(QStringLiteral("Delta"), number(v.delta) + QStringLiteral(" mGy-kg/MBq-s"));
    if (entry.deltaWithoutAlpha) {
        html += valueRow(
            QStringLiteral("&nbsp;&nbsp;of which alpha"),
            number(v.delta - *entry.deltaWithoutAlpha) +
                QStringLiteral(" (without alpha %1)").arg(number(*entry.deltaWithoutAlpha)));
    }
    html += valueRow(QStringLiteral("Gamma"), number(v.gamma) + QStringLiteral(" mGy-cm^2/MBq-s"));
    html += QStringLiteral("</table>");

    if (!entry.confidence.empty()) {
        html += QStringLiteral("<p><b>Confidence:</b> %1 (H high, M medium, L low)</p>")
                    .arg(escaped(entry.confidence));
    }
    for (const std::string& mark : entry.marks) {
        html += QStringLiteral("<p><b>%1:</b> %2</p>")
                    .arg(escaped(mark), escaped(markExplanation(mark)));
    }
    for (const PublishedDose& dose : entry.publishedDoses) {
        html +=
            QStringLiteral(
                "<p><b>Published adult bladder wall:</b> %1 mGy/MBq (voiding: %2; %3)%4</p>")
                .arg(text(formatUpTo3Decimals(dose.value)), escaped(dose.voiding),
                     escaped(dose.source),
                     dose.recalled ? QStringLiteral(" &mdash; recalled, not re-read") : QString());
    }
    if (!entry.notes.empty()) {
        html += QStringLiteral("<p><b>Notes:</b> %1</p>").arg(escaped(entry.notes));
    }
    if (!entry.sources.empty()) {
        html += QStringLiteral("<p><b>Sources:</b></p><ul>");
        for (const LibrarySource& source : entry.sources) {
            QString item =
                source.key.empty() ? QString() : QStringLiteral("[%1] ").arg(escaped(source.key));
            item += escaped(source.citation);
            if (!source.url.empty()) {
                item += QStringLiteral(" <a href=\"%1\">%2</a>")
                            .arg(escaped(source.url), escaped(source.url));
            }
            html += QStringLiteral("<li>%1</li>").arg(item);
        }
        html += QStringLiteral("</ul>");
    }
    return html;
}

LibraryDialog::LibraryDialog(LibraryLocations locations, const StandardLibrary& standards,
                             MessageSink messageSink, QWidget* parent)
    : QDialog(parent),
      locations_(std::move(locations)),
      standards_(standards),
      messageSink_(std::move(messageSink)) {
    setObjectName(QStringLiteral("LibraryDialog"));
    setWindowTitle(QStringLiteral("Choose radiopharmaceutical"));
    resize(900, 560);

    search_ = named(new QLineEdit(this), QStringLiteral("librarySearch"));
    search_->setPlaceholderText(QStringLiteral("Search names, aliases and nuclides"));
    search_->setClearButtonEnabled(true);

    model_ = new QStandardItemModel(0, 4, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Nuclide"),
                                       QStringLiteral("Confidence"), QStringLiteral("Source")});
    filter_ = new EntryFilter(rows_, this);
    filter_->setSourceModel(model_);
    table_ = named(new QTableView(this), QStringLiteral("libraryTable"));
    table_->setModel(filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    details_ = named(new QTextBrowser(this), QStringLiteral("libraryDetails"));
    details_->setOpenExternalLinks(true);

    problems_ = named(new QLabel(this), QStringLiteral("libraryProblems"));
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problems_->setStyleSheet(QStringLiteral("color:#b00000"));
    renameButton_ = named(new QPushButton(QStringLiteral("Rename the damaged file aside"), this),
                          QStringLiteral("renameAsideButton"));

    auto* buttons = new QDialogButtonBox(this);
    chooseButton_ =
        named(buttons->addButton(QStringLiteral("Choose"), QDialogButtonBox::AcceptRole),
              QStringLiteral("chooseButton"));
    editButton_ = named(buttons->addButton(QStringLiteral("Edit..."), QDialogButtonBox::ActionRole),
                        QStringLiteral("editButton"));
    deleteButton_ =
        named(buttons->addButton(QStringLiteral("Delete"), QDialogButtonBox::ActionRole),
              QStringLiteral("deleteButton"));
    buttons->addButton(QDialogButtonBox::Close);
    chooseButton_->setDefault(true);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(table_);
    splitter->addWidget(details_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* problemRow = new QHBoxLayout;
    problemRow->addWidget(problems_, 1);
    problemRow->addWidget(renameButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(splitter, 1);
    layout->addLayout(problemRow);
    layout->addWidget(buttons);

    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& query) { static_cast<EntryFilter*>(filter_)->setQuery(query); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LibraryDialog::showSelection);
    connect(table_, &QTableView::doubleClicked, this, &LibraryDialog::chooseSelected);
    connect(chooseButton_, &QPushButton::clicked, this, &LibraryDialog::chooseSelected);
    connect(editButton_, &QPushButton::clicked, this, &LibraryDialog::editSelected);
    connect(deleteButton_, &QPushButton::clicked, this, &LibraryDialog::deleteSelected);
    connect(renameButton_, &QPushButton::clicked, this, &LibraryDialog::renameDamagedFile);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    reload();
}

void LibraryDialog::reload() {
    loaded_ = loadLibraries(locations_.shipped, locations_.user);
    rows_ = libraryRows(loaded_, standards_);
    QStringList problems;
    if (!loaded_.shippedProblem.empty()) {
        problems << QStringLiteral("The shipped library cannot be used: ") +
                        text(loaded_.shippedProblem);
    }
    if (!loaded_.userProblem.empty()) {
        problems << QStringLiteral(
                        "Your library cannot be used, and nothing is saved in it "
                        "until it is mended or renamed aside: ") +
                        text(loaded_.userProblem);
    }
    problems_->setText(problems.join(QStringLiteral("\n")));
    problems_->setVisible(!problems.isEmpty());
    std::error_code error;
    renameButton_->setVisible(!loaded_.userProblem.empty() && locations_.user &&
                              std::filesystem::exists(*locations_.user, error));
    fillTable();
}

void LibraryDialog::fillTable() {
    model_->removeRows(0, model_->rowCount());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const LibraryRow& row = rows_[i];
        const std::string source =
            row.entry.sources.empty() ? std::string() : row.entry.sources.front().key;
        QList<QStandardItem*> items{
            new QStandardItem(text(row.entry.name())), new QStandardItem(text(row.entry.nuclide)),
            new QStandardItem(text(row.entry.confidence)),
            new QStandardItem(originText(row.origin) +
                              (source.empty() ? QString() : QStringLiteral(": ") + text(source)))};
        for (QStandardItem* item : items) item->setData(static_cast<int>(i), kRowRole);
        model_->appendRow(items);
    }
    table_->resizeColumnsToContents();
    showSelection();
}

bool LibraryDialog::selectEntry(const QString& name) {
    for (int r = 0; r < filter_->rowCount(); ++r) {
        const QModelIndex index = filter_->index(r, 0);
        if (index.data().toString() == name) {
            table_->selectRow(r);
            table_->scrollTo(index);
            return true;
        }
    }
    return false;
}

const LibraryRow* LibraryDialog::selectedRow() const {
    const QModelIndexList selected = table_->selectionModel()->selectedRows();
    if (selected.isEmpty()) return nullptr;
    const int row = selected.front().data(kRowRole).toInt();
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

void LibraryDialog::showSelection() {
    const LibraryRow* row = selectedRow();
    details_->setHtml(row ? entryDetailsHtml(row->entry, row->origin) : QString());
    chooseButton_->setEnabled(row != nullptr);
    const bool own = row && row->origin == EntryOrigin::User && loaded_.userProblem.empty();
    editButton_->setEnabled(own);
    deleteButton_->setEnabled(own);
}

void LibraryDialog::chooseSelected() {
    if (const LibraryRow* row = selectedRow()) {
        chosen_ = row->entry;
        accept();
    }
}

bool LibraryDialog::writeUserEntries(const std::vector<LibraryEntry>& entries) {
    const Workbench workbench(StandardData{standards_, {}}, locations_);
    const WriteOutcome outcome = workbench.saveUserEntries(entries);
    if (!outcome.ok) messageSink_(this, text(outcome.message));
    const QString name = selectedRow() ? text(selectedRow()->entry.name()) : QString();
    reload();
    selectEntry(name);
    return outcome.ok;
}

void LibraryDialog::editSelected() {
    const LibraryRow* row = selectedRow();
    if (!row || row->origin != EntryOrigin::User || !locations_.user) return;
    EntryForm form(QStringLiteral("Edit your entry"), row->entry, this);
    if (form.exec() != QDialog::Accepted) return;
    const LibraryEntry edited = form.edited(row->entry);
    const std::string refusal = Workbench(StandardData{standards_, {}}, locations_)
                                    .refusedUserName(edited.name(), row->entry.name());
    if (!refusal.empty()) {
        messageSink_(this, text(refusal + "; choose another name."));
        return;
    }
    std::vector<LibraryEntry> entries = loaded_.user;
    for (LibraryEntry& entry : entries) {
        if (entry == row->entry) entry = edited;
    }
    if (writeUserEntries(entries)) selectEntry(text(edited.name()));
}

void LibraryDialog::deleteSelected() {
    const LibraryRow* row = selectedRow();
    if (!row || row->origin != EntryOrigin::User || !locations_.user) return;
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        QStringLiteral("Delete \"%1\" from your library?").arg(text(row->entry.name())));
    if (answer != QMessageBox::Yes) return;
    std::vector<LibraryEntry> entries;
    for (const LibraryEntry& entry : loaded_.user) {
        if (!(entry == row->entry)) entries.push_back(entry);
    }
    writeUserEntries(entries);
}

void LibraryDialog::renameDamagedFile() {
    if (!locations_.user) return;
    try {
        const std::filesystem::path aside = moveDamagedFileAside(*locations_.user);
        messageSink_(this, QStringLiteral("The damaged file was renamed to \"%1\". New entries "
                                          "go to a new file.")
                               .arg(text(aside.string())));
    } catch (const DataFileError& error) {
        messageSink_(this, text(error.what()));
    }
    reload();
}

}  // namespace orvane
