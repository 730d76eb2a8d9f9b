// Saving the input window's values in the user's library: the small form that asks for a name,
// notes and a source, and the checks before the user's file is written.
#pragma once

#include <QDialog>

#include "gui/common/window_support.h"
#include "gui/library/library_dialog.h"

class QLineEdit;
class QPlainTextEdit;

namespace orvane {

// Name, notes and source of a user's entry.
class EntryForm : public QDialog {
    Q_OBJECT
public:
    EntryForm(const QString& title, const LibraryEntry& entry, QWidget* parent = nullptr);
    // The entry with the name, notes and source as typed (the source as its only citation).
    LibraryEntry edited(LibraryEntry entry) const;

private:
    QLineEdit* name_;
    QPlainTextEdit* notes_;
    QLineEdit* source_;
};

// "Library -> Save current values as...": asks for a name, notes and source and adds the entry
// to the user's file (replacing one of the same name after asking). A user file that cannot be
// read is never written; every refusal goes to messageSink.
void saveInUserLibrary(QWidget* parent, LibraryEntry entry, const LibraryLocations& locations,
                       const StandardLibrary& standards, const MessageSink& messageSink);

}  // namespace orvane
