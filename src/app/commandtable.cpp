#include "app/commandtable.h"

#include "app/frmmain.h"
#include "platform/ui/themedicon.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <algorithm>

namespace {

// clang-format off
const MenuEntry kMenus[] = {
    {"",        "mnuFile",            "&File",               "",           nullptr},
    {"mnuFile", "mnuNewDoc",          "&New",                "",           &frmMain::mnuNewDoc_Click},
    {"mnuFile", "mnuOpen",            "&Open",               "",           &frmMain::mnuOpen_Click},
    {"mnuFile", "mnuNewWindow",       "New &Window",         "Ctrl+Shift+N", &frmMain::mnuNewWindow_Click},
    {"mnuFile", "mnuLine7",           "-",                   "",           nullptr},
    {"mnuFile", "mnuSave",            "&Save",               "Ctrl+S",     &frmMain::mnuSave_Click},
    {"mnuFile", "mnuSaveAs",          "Save &As...",         "",           &frmMain::mnuSaveAs_Click},
    {"mnuFile", "mnuLineRecent",      "-",                   "",           nullptr},
    {"mnuFile", "mnuClearRecent",     "Clea&r Recent Files", "",           &frmMain::mnuClearRecent_Click},
    {"mnuFile", "mnuLine3",           "-",                   "",           nullptr},
    {"mnuFile", "mnuExit",            "E&xit",               "",           &frmMain::mnuExit_Click},

    {"",        "mnuEdit",            "&Edit",               "",           nullptr},
    {"mnuEdit", "mnuUndo",            "&Undo",               "Ctrl+Z",     &frmMain::mnuUndo_Click},
    {"mnuEdit", "mnuRedo",            "&Redo",               "Ctrl+Y; Ctrl+Shift+Z", &frmMain::mnuRedo_Click},
    {"mnuEdit", "mnuLineUndo",        "-",                   "",           nullptr},
    {"mnuEdit", "mnuCut",             "C&ut",                "Ctrl+X",     &frmMain::mnuCut_Click, "Cut", true},
    {"mnuEdit", "mnuCopy",            "&Copy",               "Ctrl+C",     &frmMain::mnuCopy_Click, nullptr, true},
    {"mnuEdit", "mnuCopyXPath",       "Copy &XPath",         "Ctrl+Shift+C", &frmMain::mnuCopyXPath_Click, nullptr, true},
    {"mnuEdit", "mnuPaste",           "&Paste",              "Ctrl+V",     &frmMain::mnuPaste_Click, "Paste", true},
    {"mnuEdit", "mnuLine2",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuDeleteItem",      "&Delete",             "Del",        &frmMain::mnuDeleteItem_Click, "Delete", true},
    {"mnuEdit", "mnuUpdate",          "&Update",             "F2",         &frmMain::mnuUpdate_Click, "Update", true},
    {"mnuEdit", "mnuSpecialUpdate",   "&Special Update...",  "Shift+F2",   &frmMain::mnuSpecialUpdate_Click, "Special Update", true},
    {"mnuEdit", "mnuLine8",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuFind",            "&Find...",            "Ctrl+F",     &frmMain::mnuFind_Click},
    {"mnuEdit", "mnuFindNext",        "Find &Next",          "F3",         &frmMain::mnuFindNext_Click},
    {"mnuEdit", "mnuReplace",         "R&eplace...",         "Ctrl+H",     &frmMain::mnuReplace_Click},
    {"mnuEdit", "mnuLine9",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuExpandAll",       "Expand &All",         "",           &frmMain::mnuExpandAll_Click, nullptr, true},
    {"mnuEdit", "mnusep",             "-",                   "",           nullptr},
    {"mnuEdit", "mnuCopyClip",        "Copy XML to Clipboard",    "",      &frmMain::CopyClipboardText},
    {"mnuEdit", "mnuPasteClip",       "Paste XML from Clipboard", "Ctrl+P", &frmMain::PasteClipboardText},
    {"mnuEdit", "mnuline",            "-",                   "",           nullptr},
    {"mnuEdit", "mnuIndent",          "Indent",              "",           &frmMain::IndentXML},
    {"mnuEdit", "mnuToggleComment",   "Toggle Co&mment",     "Ctrl+/",     &frmMain::mnuToggleComment_Click},

    {"",        "mnuView",            "&View",               "",           nullptr},
    {"mnuView", "mnuTreeView",        "&Tree View",          "",           &frmMain::mnuTreeView_Click},
    {"mnuView", "mnutextView",        "T&ext View",          "",           &frmMain::mnutextView_Click},
    {"mnuView", "mnuWebView",         "&Web View",           "",           &frmMain::mnuWebView_Click},
    {"mnuView", "mnuline11",          "-",                   "",           nullptr},
    {"mnuView", "mnuRefresh",         "&Refresh",            "F5",         &frmMain::mnuRefresh_Click},
    {"mnuView", "mnuline12",          "-",                   "",           nullptr},
    {"mnuView", "mnuValidationPanel", "&Validation Panel",   "",           &frmMain::mnuValidationPanel_Click},
    {"mnuView", "mnuFindResultsPanel", "&Find Results Panel", "",          &frmMain::mnuFindResultsPanel_Click},
    {"mnuView", "mnuline13",          "-",                   "",           nullptr},
    {"mnuView", "mnuCloseTags",       "&Close Tags Automatically", "",     &frmMain::mnuCloseTags_Click},
    {"mnuView", "mnuline14",          "-",                   "",           nullptr},
    {"mnuView", "mnuZoomIn",          "Zoom &In",            "Ctrl++; Ctrl+=", &frmMain::mnuZoomIn_Click},
    {"mnuView", "mnuZoomOut",         "Zoom &Out",           "Ctrl+-",     &frmMain::mnuZoomOut_Click},
    {"mnuView", "mnuZoomReset",       "&Normal Size",        "Ctrl+0",     &frmMain::mnuZoomReset_Click},

    {"",           "mnuNewItem",      "Insert",              "",           nullptr},
    {"mnuNewItem", "mnuNewElement",   "&Element",            "Ctrl+E",     &frmMain::mnuNewElement_Click, "Insert Element", true},
    {"mnuNewItem", "mnuNewText",      "&Text",               "Ctrl+T",     &frmMain::mnuNewText_Click, "Insert Text", true},
    {"mnuNewItem", "mnuNewAttribute", "&Attribute...",       "",           &frmMain::mnuNewAttribute_Click, "Insert Attribute", true},
    {"mnuNewItem", "mnuNewComment",   "&Comment",            "Ctrl+M",     &frmMain::mnuNewComment_Click, "Insert Comment", true},
    {"mnuNewItem", "mnuNewCDATA",     "C&Data Section",      "",           &frmMain::mnuNewCDATA_Click, "Insert CDATA Section", true},
    {"mnuNewItem", "mnuNewPI",        "&Processing Instruction...", "",    &frmMain::mnuNewPI_Click, "Insert Processing Instruction", true},

    {"",            "mnuMoveItem",    "Move",                "",           nullptr},
    {"mnuMoveItem", "mnuMoveUp",      "Up",                  "Ctrl+U",     &frmMain::mnuMoveUp_Click, "Move Up", true},
    {"mnuMoveItem", "mnuMoveDown",    "Down",                "Ctrl+D",     &frmMain::mnuMoveDown_Click, "Move Down", true},
    {"mnuMoveItem", "mnuMoveLeft",    "Left",                "Ctrl+L",     &frmMain::mnuMoveLeft_Click, "Move Left", true},
    {"mnuMoveItem", "mnuMoveRight",   "Right",               "Ctrl+R",     &frmMain::mnuMoveRight_Click, "Move Right", true},

    {"",         "mnuTools",          "&Tools",              "",           nullptr},
    {"mnuTools", "mnuQuery",          "&Query Analyzer...",  "",           &frmMain::mnuQuery_Click},
    {"mnuTools", "mnuTransform",      "&Transform with XSLT...", "Ctrl+Shift+T", &frmMain::mnuTransform_Click},
    {"mnuTools", "mnuLineValidate",   "-",                   "",           nullptr},
    {"mnuTools", "mnuValidate",       "&Validate",           "F7",         &frmMain::mnuValidate_Click},
    {"mnuTools", "mnuValidateAgainst", "Validate &Against Schema...", "",  &frmMain::mnuValidateAgainst_Click},
    {"mnuTools", "mnuCancelValidation", "&Cancel Validation", "Esc",       &frmMain::mnuCancelValidation_Click},

    {"",        "mnuHelp",            "&Help",               "",           nullptr},
    {"mnuHelp", "mnuAbout",           "&About Orvel XML Editor...", "",    &frmMain::mnuAbout_Click},

    {"*",              "mnuContextMenu",        "popup",               "", nullptr},
    {"mnuContextMenu", "mnuNewPopup",           "&New",                "", nullptr},
    {"mnuNewPopup",    "mnuElementPopup",       "&Element",            "", &frmMain::mnuNewElement_Click},
    {"mnuNewPopup",    "mnuTextPopup",          "&Text",               "", &frmMain::mnuNewText_Click},
    {"mnuNewPopup",    "mnuAttributePopup",     "&Attribute...",       "", &frmMain::mnuNewAttribute_Click},
    {"mnuNewPopup",    "mnuCommentPopup",       "&Comment",            "", &frmMain::mnuNewComment_Click},
    {"mnuNewPopup",    "mnuCDataPopup",         "C&Data Section",      "", &frmMain::mnuNewCDATA_Click},
    {"mnuNewPopup",    "mnuPinstPopup",         "&Processing Instruction...", "", &frmMain::mnuNewPI_Click},
    {"mnuContextMenu", "mnuUpdatePopup",        "&Update",             "", &frmMain::mnuUpdate_Click},
    {"mnuContextMenu", "mnuSpecialUpdatePopup", "&Special Update...",  "", &frmMain::mnuSpecialUpdate_Click},
    {"mnuContextMenu", "mnuline10",             "-",                   "", nullptr},
    {"mnuContextMenu", "mnuExpandAllPopup",     "Expand &All",         "", &frmMain::mnuExpandAll_Click},
    {"mnuContextMenu", "mnuLine6",              "-",                   "", nullptr},
    {"mnuContextMenu", "mnuCutPopup",           "C&ut",                "", &frmMain::mnuCut_Click},
    {"mnuContextMenu", "mnuCopyPopup",          "&Copy",               "", &frmMain::mnuCopy_Click},
    {"mnuContextMenu", "mnuCopyXPathPopup",     "Copy &XPath",         "", &frmMain::mnuCopyXPath_Click},
    {"mnuContextMenu", "mnuPastePopup",         "&Paste",              "", &frmMain::mnuPaste_Click},
    {"mnuContextMenu", "mnuLine5",              "-",                   "", nullptr},
    {"mnuContextMenu", "mnuDelPopup",           "&Delete",             "", &frmMain::mnuDeleteItem_Click},

    {"*",                  "mnuValidationPopup",    "Validation",    "", nullptr},
    {"mnuValidationPopup", "mnuGoToValidationItem", "&Go to Item",   "", &frmMain::mnuGoToValidationItem_Click},
    {"mnuValidationPopup", "mnuLineValidation",     "-",             "", nullptr},
    {"mnuValidationPopup", "mnuValidatePopup",      "&Validate Again", "", &frmMain::mnuValidate_Click},

    {"*",           "mnuPopupClip",    "PopupClip",                "", nullptr},
    {"mnuPopupClip", "mnuPopCopyClip",  "Copy XML To Clipboard",    "", &frmMain::CopyClipboardText},
    {"mnuPopupClip", "mnuPopPasteClip", "Paste XML From Clipboard", "", &frmMain::PasteClipboardText},
};

const ButtonEntry kButtons[] = {
    {"Toolbar1", "New",       "", "New XML Document",                  "toolbar/new", "mnuNewDoc"},
    {"Toolbar1", "Open",      "", "Open a new XML file",               "toolbar/open", "mnuOpen"},
    {"Toolbar1", "Save",      "", "Save XML",                          "toolbar/save", "mnuSave"},
    {"Toolbar1", "Undo",      "", "Undo (Ctrl+Z)",                     "toolbar/undo", "mnuUndo"},
    {"Toolbar1", "Redo",      "", "Redo (Ctrl+Y)",                     "toolbar/redo", "mnuRedo"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Cut",       "", "Cut Item",                          "toolbar/cut", "mnuCut"},
    {"Toolbar1", "Copy",      "", "Copy Item",                         "toolbar/copy", "mnuCopy"},
    {"Toolbar1", "Paste",     "", "Paste Item",                        "toolbar/paste", "mnuPaste"},
    {"Toolbar1", "Delete",    "", "Delete Item",                       "toolbar/delete", "mnuDeleteItem"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Print",     "", "Print XML",                         "toolbar/print", nullptr, &frmMain::PrintXML},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Up",        "", "Move Item Up (CTRL+U)",             "toolbar/up", "mnuMoveUp"},
    {"Toolbar1", "Down",      "", "Move Item Down (CTRL+D)",           "toolbar/down", "mnuMoveDown"},
    {"Toolbar1", "Left",      "", "Move Item Left (CTRL+L)",           "toolbar/left", "mnuMoveLeft"},
    {"Toolbar1", "Right",     "", "Move Item Right (CTRL+R)",          "toolbar/right", "mnuMoveRight"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Refresh",   "", "Refresh",                           "toolbar/refresh", "mnuRefresh"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "ExpandAll", "", "Expand All Sub Items",              "toolbar/expandall", "mnuExpandAll"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Find",      "", "Open Find Dialog",                  "toolbar/find", "mnuFind"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Query",     "", "Open the Query Analyzer",           "toolbar/query", "mnuQuery"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "CopyClip",  "", "Copy XML to Clipboard",             "toolbar/copyclip", "mnuCopyClip"},
    {"Toolbar1", "PasteClip", "", "Paste XML from Clipboard (CTRL+P)", "toolbar/pasteclip", "mnuPasteClip"},

    {"ToolbarView", "TreeView", " Tree View ", "Switch To Tree View",    "toolbar/treeview", "mnuTreeView"},
    {"ToolbarView", "TextView", " Text View ", "Switch To Text View",    "toolbar/textview", "mnutextView"},
    {"ToolbarView", "WebView",  " Web View ",  "Switch To Browser View", "toolbar/webview", "mnuWebView"},

    {"ToolbarApply", "Apply", "Apply Changes  ", "Apply the changes you made in the XML file", "toolbar/apply"},

    {"Toolbox", "Element",       "  Element  ",      "Add Element (CTRL+E)",        "items/element", "mnuNewElement"},
    {"Toolbox", "Text",          "Text",             "Add Text (CTRL+T)",           "items/text", "mnuNewText"},
    {"Toolbox", "Attribute",     "   Attribute    ", "Add Attribute (CTRL+A)",      "items/attribute", "mnuNewAttribute"},
    {"Toolbox", "Comment",       "Comment",          "Add Comment (CTRL+M)",        "items/comment", "mnuNewComment"},
    {"Toolbox", "CData",         "CData",            "Add CDATA Section",           "items/cdata", "mnuNewCDATA"},
    {"Toolbox", "PInstructions", "PInstructions",    "Add Processing Instructions", "items/pinstructions", "mnuNewPI"},
};

// clang-format on

// `twin` shows the state of `command` and triggers it.
void bind(QAction* twin, QAction* command) {
    const auto follow = [twin, command] {
        twin->setEnabled(command->isEnabled());
        twin->setCheckable(command->isCheckable());
        twin->setChecked(command->isChecked());
    };
    follow();
    QObject::connect(command, &QAction::changed, twin, follow);
    QObject::connect(twin, &QAction::triggered, command, [command] { command->trigger(); });
}

bool isMenu(const char* name) {
    return std::any_of(std::begin(kMenus), std::end(kMenus),
                       [name](const MenuEntry& e) { return qstrcmp(e.menu, name) == 0; });
}

} // namespace

std::span<const MenuEntry> MenuTable() {
    return kMenus;
}

std::span<const ButtonEntry> ButtonTable() {
    return kButtons;
}

const MenuEntry* CommandOf(CommandHandler handler) {
    for (const MenuEntry& entry : kMenus) {
        if (handler && entry.handler == handler)
            return &entry;
    }
    return nullptr;
}

CommandHandler ButtonHandler(const QString& toolbar, const QString& key) {
    for (const ButtonEntry& button : kButtons) {
        if (!button.key || toolbar != QLatin1String(button.toolbar) ||
            key != QLatin1String(button.key))
            continue;
        if (!button.command)
            return button.handler;
        for (const MenuEntry& entry : kMenus) {
            if (qstrcmp(entry.name, button.command) == 0)
                return entry.handler;
        }
    }
    return nullptr;
}

bool HoldItemCommands(QMainWindow& window, bool away, QHash<QAction*, bool>& held) {
    if (away == !held.isEmpty())
        return false;
    if (!away) {
        for (auto it = held.constBegin(); it != held.constEnd(); ++it)
            it.key()->setEnabled(it.value());
        held.clear();
        return true;
    }
    for (const MenuEntry& entry : kMenus) {
        auto* action =
            entry.item ? window.findChild<QAction*>(QString::fromLatin1(entry.name)) : nullptr;
        if (action && !held.contains(action)) {
            held.insert(action, action->isEnabled());
            action->setEnabled(false);
        }
    }
    return false;
}

void BuildCommands(QMainWindow& window, const std::function<void(CommandHandler)>& run,
                   const std::function<void(QToolBar*, const QString&)>& ownButton) {
    QHash<QString, QMenu*> menus;
    QHash<QString, QAction*> actions;
    for (const MenuEntry& e : kMenus) {
        const QString name = QString::fromLatin1(e.name);
        const QString caption = QString::fromUtf8(e.caption);
        if (isMenu(e.name)) {
            QMenu* menu = nullptr;
            if (qstrcmp(e.menu, "") == 0)
                menu = window.menuBar()->addMenu(caption);
            else if (qstrcmp(e.menu, "*") == 0)
                menu = new QMenu(caption, &window);
            else
                menu = menus.value(QString::fromLatin1(e.menu))->addMenu(caption);
            menu->setObjectName(name);
            menu->menuAction()->setObjectName(name + QStringLiteral("Menu"));
            menus.insert(name, menu);
            continue;
        }
        QMenu* owner = menus.value(QString::fromLatin1(e.menu));
        if (caption == QLatin1String("-")) {
            owner->addSeparator()->setObjectName(name);
            continue;
        }
        auto* action = new QAction(caption, &window);
        action->setObjectName(name);
        actions.insert(name, action);
        if (qstrlen(e.shortcut) > 0) {
            action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(e.shortcut)));
            window.addAction(action); // shortcuts work whether or not the menu bar is shown
        }
        owner->addAction(action);
        const MenuEntry* command = CommandOf(e.handler);
        if (!command)
            action->setEnabled(false);
        else if (command != &e)
            bind(action, actions.value(QString::fromLatin1(command->name)));
        else
            QObject::connect(action, &QAction::triggered, &window,
                             [run, handler = e.handler] { run(handler); });
    }
    for (const ButtonEntry& b : kButtons) {
        auto* bar = window.findChild<QToolBar*>(QString::fromLatin1(b.toolbar));
        if (!b.key) {
            bar->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(b.key);
        const QString caption = QString::fromLatin1(b.caption);
        QAction* action =
            bar->addAction(ThemedIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(b.icon))),
                           caption.isEmpty() ? key : caption);
        action->setObjectName(QString::fromLatin1(b.toolbar) + QLatin1Char('.') + key);
        action->setProperty("key", key);
        action->setToolTip(QString::fromLatin1(b.tooltip));
        if (b.command)
            bind(action, actions.value(QString::fromLatin1(b.command)));
        else
            QObject::connect(action, &QAction::triggered, &window,
                             [ownButton, bar, key] { ownButton(bar, key); });
    }
}
