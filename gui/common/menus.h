// The menu bars of the windows and the Help menu they share: the program's own documents
// (README's model section, the data file's description) shown as rendered Markdown.
#pragma once

#include <QString>
#include <filesystem>

#include "gui/common/window_support.h"

class QMenu;
class QMenuBar;
class QStatusBar;
class QWidget;

namespace orvane {

class Module1;

// Gives window a menu bar above the controls it already has: every child moves down by the
// bar's height and the fixed-size window grows by it, so no control moves relative to another.
// Call it after the menus are filled (their font sets the bar's height).
void placeMenuBarAbove(QWidget* window, QMenuBar* bar);

// Gives window a status bar below the controls it has: the fixed-size window grows by the
// bar's height, and no control moves.
void placeStatusBarBelow(QWidget* window, QStatusBar* bar);

// The text from the heading "## <title>" up to the next heading of that level or the end;
// empty when there is no such heading.
QString markdownSection(const QString& markdown, const QString& title);

// Adds "Help" with The model, Data sources and About Orvane. The documents are read, when
// chosen, from the folder of module's data file; one that cannot be read is reported through
// module's message sink. Pictures wider than a document's window are shown scaled to its width.
QMenu* addHelpMenu(QMenuBar* bar, QWidget* window, Module1& module);

// The About text (HTML): the version, the licence, the data file in use and where the user's
// radiopharmaceutical library is kept (as XDG_DATA_HOME and HOME say).
QString aboutText(const std::filesystem::path& dataFile);

}  // namespace orvane
