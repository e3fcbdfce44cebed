#pragma once

#include <span>

class frmMain;
using CommandHandler = void (frmMain::*)();

// One menu item. `menu` names the menu it belongs to: "" for a menu of the menu bar, "*" for a
// pop-up menu that never shows in the bar. A caption "-" is a separator. A null handler is a
// command that is not available yet (its action stays disabled). Several shortcuts are separated
// by "; ", the first one shown.
struct MenuEntry {
    const char* menu;
    const char* name;
    const char* caption;
    const char* shortcut;
    CommandHandler handler;
};

// One toolbar button; a null key is a separator.
struct ButtonEntry {
    const char* toolbar;
    const char* key;
    const char* caption;
    const char* tooltip;
    const char* icon;
};

// What a button key runs, in the order the click handler compares them.
struct KeyDispatch {
    const char* key;
    CommandHandler handler;
};

// A command that changes the Document and the caption of its undo step.
struct UndoStep {
    CommandHandler handler;
    const char* caption;
};

std::span<const MenuEntry> MenuTable();
// The undo step's caption of a command, nullptr for a command that is no such step.
const char* UndoCaption(CommandHandler handler);
std::span<const ButtonEntry> ButtonTable();
std::span<const KeyDispatch> Toolbar1Keys();
std::span<const KeyDispatch> ToolboxKeys();
// Whether the command acts on the tree's selection (the item commands).
bool IsItemCommand(CommandHandler handler);
