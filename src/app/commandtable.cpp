#include "app/commandtable.h"

#include "app/frmmain.h"

namespace {

// clang-format off
const MenuEntry kMenus[] = {
    {"",        "mnuFile",            "&File",               "",           nullptr},
    {"mnuFile", "mnuNewDoc",          "&New",                "",           &frmMain::mnuNewDoc_Click},
    {"mnuFile", "mnuOpen",            "&Open",               "",           &frmMain::mnuOpen_Click},
    {"mnuFile", "mnuLine7",           "-",                   "",           nullptr},
    {"mnuFile", "mnuSave",            "&Save",               "Ctrl+S",     &frmMain::mnuSave_Click},
    {"mnuFile", "mnuSaveAs",          "Save &As...",         "",           &frmMain::mnuSaveAs_Click},
    {"mnuFile", "mnuLine3",           "-",                   "",           nullptr},
    {"mnuFile", "mnuExit",            "E&xit",               "",           &frmMain::mnuExit_Click},

    {"",        "mnuEdit",            "&Edit",               "",           nullptr},
    {"mnuEdit", "mnuCut",             "C&ut",                "Ctrl+X",     nullptr},
    {"mnuEdit", "mnuCopy",            "&Copy",               "Ctrl+C",     nullptr},
    {"mnuEdit", "mnuPaste",           "&Paste",              "Ctrl+V",     nullptr},
    {"mnuEdit", "mnuLine2",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuDeleteItem",      "&Delete",             "Del",        nullptr},
    {"mnuEdit", "mnuUpdate",          "&Update",             "F2",         nullptr},
    {"mnuEdit", "mnuSpecialUpdate",   "&Special Update...",  "Shift+F2",   nullptr},
    {"mnuEdit", "mnuLine8",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuFind",            "&Find...",            "Ctrl+F",     nullptr},
    {"mnuEdit", "mnuFindNext",        "Find &Next",          "F3",         nullptr},
    {"mnuEdit", "mnuLine9",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuExpandAll",       "Expand &All",         "",           nullptr},
    {"mnuEdit", "mnusep",             "-",                   "",           nullptr},
    {"mnuEdit", "mnuCopyClip",        "Copy XML to Clipboard",    "",      nullptr},
    {"mnuEdit", "mnuPasteClip",       "Paste XML from Clipboard", "Ctrl+P", nullptr},
    {"mnuEdit", "mnuline",            "-",                   "",           nullptr},
    {"mnuEdit", "mnuIndent",          "Indent",              "",           nullptr},

    {"",        "mnuView",            "&View",               "",           nullptr},
    {"mnuView", "mnuTreeView",        "&Tree View",          "",           &frmMain::mnuTreeView_Click},
    {"mnuView", "mnutextView",        "T&ext View",          "",           &frmMain::mnutextView_Click},
    {"mnuView", "mnuWebView",         "&Web View",           "",           &frmMain::mnuWebView_Click},
    {"mnuView", "mnuline11",          "-",                   "",           nullptr},
    {"mnuView", "mnuRefresh",         "&Refresh",            "F5",         &frmMain::mnuRefresh_Click},

    {"",           "mnuNewItem",      "Insert",              "",           nullptr},
    {"mnuNewItem", "mnuNewElement",   "&Element",            "Ctrl+E",     nullptr},
    {"mnuNewItem", "mnuNewText",      "&Text",               "Ctrl+T",     nullptr},
    {"mnuNewItem", "mnuNewAttribute", "&Attribute...",       "",           nullptr},
    {"mnuNewItem", "mnuNewComment",   "&Comment",            "Ctrl+M",     nullptr},
    {"mnuNewItem", "mnuNewCDATA",     "C&Data Section",      "",           nullptr},
    {"mnuNewItem", "mnuNewPI",        "&Processing Instruction...", "",    nullptr},

    {"",            "mnuMoveItem",    "Move",                "",           nullptr},
    {"mnuMoveItem", "mnuMoveUp",      "Up",                  "Ctrl+U",     nullptr},
    {"mnuMoveItem", "mnuMoveDown",    "Down",                "Ctrl+D",     nullptr},
    {"mnuMoveItem", "mnuMoveLeft",    "Left",                "Ctrl+L",     nullptr},
    {"mnuMoveItem", "mnuMoveRight",   "Right",               "Ctrl+R",     nullptr},

    {"",         "mnuTools",          "&Tools",              "",           nullptr},
    {"mnuTools", "mnuQuery",          "&Query Analyzer...",  "",           nullptr},

    {"",        "mnuHelp",            "&Help",               "",           nullptr},
    {"mnuHelp", "mnuAbout",           "&About Orvel XML Editor...", "",    &frmMain::mnuAbout_Click},

    {"*",              "mnuContextMenu",        "popup",               "", nullptr},
    {"mnuContextMenu", "mnuNewPopup",           "&New",                "", nullptr},
    {"mnuNewPopup",    "mnuElementPopup",       "&Element",            "", nullptr},
    {"mnuNewPopup",    "mnuTextPopup",          "&Text",               "", nullptr},
    {"mnuNewPopup",    "mnuAttributePopup",     "&Attribute...",       "", nullptr},
    {"mnuNewPopup",    "mnuCommentPopup",       "&Comment",            "", nullptr},
    {"mnuNewPopup",    "mnuCDataPopup",         "C&Data Section",      "", nullptr},
    {"mnuNewPopup",    "mnuPinstPopup",         "&Processing Instruction...", "", nullptr},
    {"mnuContextMenu", "mnuUpdatePopup",        "&Update",             "", nullptr},
    {"mnuContextMenu", "mnuSpecialUpdatePopup", "&Special Update...",  "", nullptr},
    {"mnuContextMenu", "mnuline10",             "-",                   "", nullptr},
    {"mnuContextMenu", "mnuExpandAllPopup",     "Expand &All",         "", nullptr},
    {"mnuContextMenu", "mnuLine6",              "-",                   "", nullptr},
    {"mnuContextMenu", "mnuCutPopup",           "C&ut",                "", nullptr},
    {"mnuContextMenu", "mnuCopyPopup",          "&Copy",               "", nullptr},
    {"mnuContextMenu", "mnuPastePopup",         "&Paste",              "", nullptr},
    {"mnuContextMenu", "mnuLine5",              "-",                   "", nullptr},
    {"mnuContextMenu", "mnuDelPopup",           "&Delete",             "", nullptr},

    {"*",           "mnuPopupClip",    "PopupClip",                "", nullptr},
    {"mnuPopupClip", "mnuPopCopyClip",  "Copy XML To Clipboard",    "", nullptr},
    {"mnuPopupClip", "mnuPopPasteClip", "Paste XML From Clipboard", "", nullptr},
};

const ButtonEntry kButtons[] = {
    {"Toolbar1", "New",       "", "New XML Document",                  "toolbar/new"},
    {"Toolbar1", "Open",      "", "Open a new XML file",               "toolbar/open"},
    {"Toolbar1", "Save",      "", "Save XML",                          "toolbar/save"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Cut",       "", "Cut Item",                          "toolbar/cut"},
    {"Toolbar1", "Copy",      "", "Copy Item",                         "toolbar/copy"},
    {"Toolbar1", "Paste",     "", "Paste Item",                        "toolbar/paste"},
    {"Toolbar1", "Delete",    "", "Delete Item",                       "toolbar/delete"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Print",     "", "Print XML",                         "toolbar/print"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Up",        "", "Move Item Up (CTRL+U)",             "toolbar/up"},
    {"Toolbar1", "Down",      "", "Move Item Down (CTRL+D)",           "toolbar/down"},
    {"Toolbar1", "Left",      "", "Move Item Left (CTRL+L)",           "toolbar/left"},
    {"Toolbar1", "Right",     "", "Move Item Right (CTRL+R)",          "toolbar/right"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Refresh",   "", "Refresh",                           "toolbar/refresh"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "ExpandAll", "", "Expand All Sub Items",              "toolbar/expandall"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Find",      "", "Open Find Dialog",                  "toolbar/find"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "Query",     "", "Open the Query Analyzer",           "toolbar/query"},
    {"Toolbar1", nullptr,     "", "",                                  ""},
    {"Toolbar1", "CopyClip",  "", "Copy XML to Clipboard",             "toolbar/copyclip"},
    {"Toolbar1", "PasteClip", "", "Paste XML from Clipboard (CTRL+P)", "toolbar/pasteclip"},

    {"ToolbarView", "TreeView", " Tree View ", "Switch To Tree View",    "toolbar/treeview"},
    {"ToolbarView", "TextView", " Text View ", "Switch To Text View",    "toolbar/textview"},
    {"ToolbarView", "WebView",  " Web View ",  "Switch To Browser View", "toolbar/webview"},

    {"ToolbarApply", "Apply", "Apply Changes  ", "Apply the changes you made in the XML file", "toolbar/apply"},

    {"Toolbox", "Element",       "  Element  ",      "Add Element (CTRL+E)",        "items/element"},
    {"Toolbox", "Text",          "Text",             "Add Text (CTRL+T)",           "items/text"},
    {"Toolbox", "Attribute",     "   Attribute    ", "Add Attribute (CTRL+A)",      "items/attribute"},
    {"Toolbox", "Comment",       "Comment",          "Add Comment (CTRL+M)",        "items/comment"},
    {"Toolbox", "CData",         "CData",            "Add CDATA Section",           "items/cdata"},
    {"Toolbox", "PInstructions", "PInstructions",    "Add Processing Instructions", "items/pinstructions"},
};

const KeyDispatch kToolbar1Keys[] = {
    {"New", &frmMain::mnuNewDoc_Click},  {"Open", &frmMain::mnuOpen_Click},
    {"Save", &frmMain::mnuSave_Click},   {"Cut", nullptr},
    {"Copy", nullptr},                   {"Paste", nullptr},
    {"Print", nullptr},                  {"Delete", nullptr},
    {"Up", nullptr},                     {"Down", nullptr},
    {"Left", nullptr},                   {"Right", nullptr},
    {"ExpandAll", nullptr},              {"Find", nullptr},
    {"Query", nullptr},                  {"Refresh", &frmMain::mnuRefresh_Click},
    {"PasteClip", nullptr},              {"CopyClip", nullptr},
};

const KeyDispatch kToolboxKeys[] = {
    {"Element", nullptr}, {"Attribute", nullptr}, {"Text", nullptr},
    {"Comment", nullptr}, {"CData", nullptr},     {"PInstructions", nullptr},
};
// clang-format on

} // namespace

std::span<const MenuEntry> MenuTable() {
    return kMenus;
}
std::span<const ButtonEntry> ButtonTable() {
    return kButtons;
}
std::span<const KeyDispatch> Toolbar1Keys() {
    return kToolbar1Keys;
}
std::span<const KeyDispatch> ToolboxKeys() {
    return kToolboxKeys;
}
