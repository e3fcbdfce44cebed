#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <span>

class QAction;
class QMainWindow;
class QToolBar;
class frmMain;
using CommandHandler = void (frmMain::*)();

// One menu item. `menu` names the menu it belongs to: "" for a menu of the menu bar, "*" for a
// pop-up menu that never shows in the bar. A caption "-" is a separator. Several shortcuts are
// separated by "; ", the first one shown. The first item with a handler is its command; a later
// one (a pop-up menu's) is its twin. A null handler is a command that is not available yet (its
// action stays disabled).
struct MenuEntry {
    const char* menu;
    const char* name;
    const char* caption;
    const char* shortcut;
    CommandHandler handler;
    // A command that changes the Document: the caption of the undo step it makes.
    const char* undo = nullptr;
    // A command that acts on the tree's selected item.
    bool item = false;
};

// One toolbar button, bound to the menu item `command`; a button of its own (no such item) runs
// `handler`, or the toolbar's click routine without one. A null key is a separator.
struct ButtonEntry {
    const char* toolbar;
    const char* key;
    const char* caption;
    const char* tooltip;
    const char* icon;
    const char* command = nullptr;
    CommandHandler handler = nullptr;
};

std::span<const MenuEntry> MenuTable();
std::span<const ButtonEntry> ButtonTable();
// The command's own row; nullptr for a handler no menu item runs.
const MenuEntry* CommandOf(CommandHandler handler);
// What the button `key` of the toolbar runs.
CommandHandler ButtonHandler(const QString& toolbar, const QString& key);

// The item commands act on the tree's selection, which the text and web views do not show: away
// from the tree their actions are held off, their states kept in `held`; back in the tree they
// get those states again. True when they were just given back.
bool HoldItemCommands(QMainWindow& window, bool away, QHash<QAction*, bool>& held);

// Builds the window's menus, their actions and the toolbars' buttons from the tables. A pop-up
// twin and a toolbar button are actions bound to their command's: they show its state and trigger
// it, so that state is set once. `run` runs a command's handler; `ownButton` a button without a
// menu item.
void BuildCommands(QMainWindow& window, const std::function<void(CommandHandler)>& run,
                   const std::function<void(QToolBar*, const QString&)>& ownButton);
