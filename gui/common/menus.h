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

// Adds "Help" with The model, Data sources and About Orvane. The documents are read from
// documentFolder when chosen; one that cannot be read is reported through sink.
QMenu* addHelpMenu(QMenuBar* bar, QWidget* window, std::filesystem::path documentFolder,
                   MessageSink sink);

}  // namespace orvane
