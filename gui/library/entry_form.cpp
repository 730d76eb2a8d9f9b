#include "gui/library/entry_form.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "library/names.h"

namespace orvane {

EntryForm::EntryForm(const QString& title, const LibraryEntry& entry, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("EntryForm"));
    setWindowTitle(title);
    name_ = named(new QLineEdit(QString::fromStdString(entry.name()), this),
                  QStringLiteral("entryName"));
    notes_ = named(new QPlainTextEdit(QString::fromStdString(entry.notes), this),
                   QStringLiteral("entryNotes"));
    source_ = named(new QLineEdit(this), QStringLiteral("entrySource"));
    if (!entry.sources.empty()) source_->setText(QString::fromStdString(entry.sources[0].citation));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("entryOk"));
    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Name:"), name_);
    layout->addRow(QStringLiteral("Notes (optional):"), notes_);
    layout->addRow(QStringLiteral("Source (optional):"), source_);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

LibraryEntry EntryForm::edited(LibraryEntry entry) const {
    entry.values.name = name_->text().trimmed().toStdString();
    entry.notes = notes_->toPlainText().trimmed().toStdString();
    const std::string source = source_->text().trimmed().toStdString();
    entry.sources.clear();
    if (!source.empty()) entry.sources.push_back({"", source, ""});
    // A nuclide in the new name wins; otherwise the one the values came with stays.
    entry.nuclide = nuclideIn(entry.values.name).value_or(entry.nuclide);
    return entry;
}

void saveInUserLibrary(QWidget* parent, LibraryEntry entry, const LibraryLocations& locations,
                       const StandardLibrary& standards, const MessageSink& messageSink) {
    if (!locations.user) {
        messageSink(parent, QStringLiteral("Cannot save: there is no folder for your library "
                                           "(neither XDG_DATA_HOME nor HOME is set)."));
        return;
    }
    const Workbench workbench(StandardData{standards, {}}, locations);
    if (!workbench.userFileProblem().empty()) {
        messageSink(parent, QStringLiteral("Cannot save in your library, which cannot be read; "
                                           "it is left as it is. Open Library > Choose "
                                           "radiopharmaceutical to see why and to rename it "
                                           "aside.\n\n") +
                                QString::fromStdString(workbench.userFileProblem()));
        return;
    }
    EntryForm form(QStringLiteral("Save current values as"), entry, parent);
    if (form.exec() != QDialog::Accepted) return;
    entry = form.edited(entry);
    // Taken by a standard or a shipped entry: refused; one of the user's own: replaced if asked.
    const std::string refusal = workbench.refusedUserName(entry.name(), entry.name());
    if (!refusal.empty()) {
        messageSink(parent, QString::fromStdString(refusal + "; choose another name."));
        return;
    }
    std::vector<LibraryEntry> entries = workbench.userFileEntries();
    const std::optional<std::size_t> own = workbench.userFileIndex(entry.name());
    const auto same = own ? entries.begin() + static_cast<std::ptrdiff_t>(*own) : entries.end();
    if (same != entries.end()) {
        const auto answer = QMessageBox::question(
            parent, form.windowTitle(),
            QStringLiteral("Replace your entry \"%1\"?").arg(QString::fromStdString(same->name())));
        if (answer != QMessageBox::Yes) return;
        *same = entry;
    } else {
        entries.push_back(entry);
    }
    const WriteOutcome outcome = workbench.saveUserEntries(entries);
    if (!outcome.ok) messageSink(parent, QString::fromStdString(outcome.message));
}

}  // namespace orvane
