#include "app/commandtable.h"

#include "app/frmmain.h"

#include <algorithm>

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
    {"mnuEdit", "mnuUndo",            "&Undo",               "Ctrl+Z",     &frmMain::mnuUndo_Click},
    {"mnuEdit", "mnuRedo",            "&Redo",               "Ctrl+Y; Ctrl+Shift+Z", &frmMain::mnuRedo_Click},
    {"mnuEdit", "mnuLineUndo",        "-",                   "",           nullptr},
    {"mnuEdit", "mnuCut",             "C&ut",                "Ctrl+X",     &frmMain::mnuCut_Click},
    {"mnuEdit", "mnuCopy",            "&Copy",               "Ctrl+C",     &frmMain::mnuCopy_Click},
    {"mnuEdit", "mnuPaste",           "&Paste",              "Ctrl+V",     &frmMain::mnuPaste_Click},
    {"mnuEdit", "mnuLine2",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuDeleteItem",      "&Delete",             "Del",        &frmMain::mnuDeleteItem_Click},
    {"mnuEdit", "mnuUpdate",          "&Update",             "F2",         &frmMain::mnuUpdate_Click},
    {"mnuEdit", "mnuSpecialUpdate",   "&Special Update...",  "Shift+F2",   &frmMain::mnuSpecialUpdate_Click},
    {"mnuEdit", "mnuLine8",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuFind",            "&Find...",            "Ctrl+F",     &frmMain::mnuFind_Click},
    {"mnuEdit", "mnuFindNext",        "Find &Next",          "F3",         &frmMain::mnuFindNext_Click},
    {"mnuEdit", "mnuLine9",           "-",                   "",           nullptr},
    {"mnuEdit", "mnuExpandAll",       "Expand &All",         "",           &frmMain::mnuExpandAll_Click},
    {"mnuEdit", "mnusep",             "-",                   "",           nullptr},
    {"mnuEdit", "mnuCopyClip",        "Copy XML to Clipboard",    "",      &frmMain::CopyClipboardText},
    {"mnuEdit", "mnuPasteClip",       "Paste XML from Clipboard", "Ctrl+P", &frmMain::PasteClipboardText},
    {"mnuEdit", "mnuline",            "-",                   "",           nullptr},
    {"mnuEdit", "mnuIndent",          "Indent",              "",           &frmMain::IndentXML},

    {"",        "mnuView",            "&View",               "",           nullptr},
    {"mnuView", "mnuTreeView",        "&Tree View",          "",           &frmMain::mnuTreeView_Click},
    {"mnuView", "mnutextView",        "T&ext View",          "",           &frmMain::mnutextView_Click},
    {"mnuView", "mnuWebView",         "&Web View",           "",           &frmMain::mnuWebView_Click},
    {"mnuView", "mnuline11",          "-",                   "",           nullptr},
    {"mnuView", "mnuRefresh",         "&Refresh",            "F5",         &frmMain::mnuRefresh_Click},
    {"mnuView", "mnuline12",          "-",                   "",           nullptr},
    {"mnuView", "mnuValidationPanel", "&Validation Panel",   "",           &frmMain::mnuValidationPanel_Click},

    {"",           "mnuNewItem",      "Insert",              "",           nullptr},
    {"mnuNewItem", "mnuNewElement",   "&Element",            "Ctrl+E",     &frmMain::mnuNewElement_Click},
    {"mnuNewItem", "mnuNewText",      "&Text",               "Ctrl+T",     &frmMain::mnuNewText_Click},
    {"mnuNewItem", "mnuNewAttribute", "&Attribute...",       "",           &frmMain::mnuNewAttribute_Click},
    {"mnuNewItem", "mnuNewComment",   "&Comment",            "Ctrl+M",     &frmMain::mnuNewComment_Click},
    {"mnuNewItem", "mnuNewCDATA",     "C&Data Section",      "",           &frmMain::mnuNewCDATA_Click},
    {"mnuNewItem", "mnuNewPI",        "&Processing Instruction...", "",    &frmMain::mnuNewPI_Click},

    {"",            "mnuMoveItem",    "Move",                "",           nullptr},
    {"mnuMoveItem", "mnuMoveUp",      "Up",                  "Ctrl+U",     &frmMain::mnuMoveUp_Click},
    {"mnuMoveItem", "mnuMoveDown",    "Down",                "Ctrl+D",     &frmMain::mnuMoveDown_Click},
    {"mnuMoveItem", "mnuMoveLeft",    "Left",                "Ctrl+L",     &frmMain::mnuMoveLeft_Click},
    {"mnuMoveItem", "mnuMoveRight",   "Right",               "Ctrl+R",     &frmMain::mnuMoveRight_Click},

    {"",         "mnuTools",          "&Tools",              "",           nullptr},
    {"mnuTools", "mnuQuery",          "&Query Analyzer...",  "",           &frmMain::mnuQuery_Click},
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
    {"Toolbar1", "New",       "", "New XML Document",                  "toolbar/new"},
    {"Toolbar1", "Open",      "", "Open a new XML file",               "toolbar/open"},
    {"Toolbar1", "Save",      "", "Save XML",                          "toolbar/save"},
    {"Toolbar1", "Undo",      "", "Undo (Ctrl+Z)",                     "toolbar/undo"},
    {"Toolbar1", "Redo",      "", "Redo (Ctrl+Y)",                     "toolbar/redo"},
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
    {"Save", &frmMain::mnuSave_Click},   {"Undo", &frmMain::mnuUndo_Click},
    {"Redo", &frmMain::mnuRedo_Click},   {"Cut", &frmMain::mnuCut_Click},
    {"Copy", &frmMain::mnuCopy_Click},                   {"Paste", &frmMain::mnuPaste_Click},
    {"Print", &frmMain::PrintXML},                  {"Delete", &frmMain::mnuDeleteItem_Click},
    {"Up", &frmMain::mnuMoveUp_Click},                     {"Down", &frmMain::mnuMoveDown_Click},
    {"Left", &frmMain::mnuMoveLeft_Click},                   {"Right", &frmMain::mnuMoveRight_Click},
    {"ExpandAll", &frmMain::mnuExpandAll_Click},              {"Find", &frmMain::mnuFind_Click},
    {"Query", &frmMain::mnuQuery_Click},                {"Refresh", &frmMain::mnuRefresh_Click},
    {"PasteClip", &frmMain::PasteClipboardText},
    {"CopyClip", &frmMain::CopyClipboardText},
};

const KeyDispatch kToolboxKeys[] = {
    {"Element", &frmMain::mnuNewElement_Click}, {"Attribute", &frmMain::mnuNewAttribute_Click}, {"Text", &frmMain::mnuNewText_Click},
    {"Comment", &frmMain::mnuNewComment_Click}, {"CData", &frmMain::mnuNewCDATA_Click},     {"PInstructions", &frmMain::mnuNewPI_Click},
};
// The commands that change the Document, each one undo step named by its caption. Apply and
// Paste XML replace the whole Document and make their own steps.
const UndoStep kUndoSteps[] = {
    {&frmMain::mnuNewElement_Click,    "Insert Element"},
    {&frmMain::mnuNewText_Click,       "Insert Text"},
    {&frmMain::mnuNewAttribute_Click,  "Insert Attribute"},
    {&frmMain::mnuNewComment_Click,    "Insert Comment"},
    {&frmMain::mnuNewCDATA_Click,      "Insert CDATA Section"},
    {&frmMain::mnuNewPI_Click,         "Insert Processing Instruction"},
    {&frmMain::mnuUpdate_Click,        "Update"},
    {&frmMain::mnuSpecialUpdate_Click, "Special Update"},
    {&frmMain::mnuDeleteItem_Click,    "Delete"},
    {&frmMain::mnuMoveUp_Click,        "Move Up"},
    {&frmMain::mnuMoveDown_Click,      "Move Down"},
    {&frmMain::mnuMoveLeft_Click,      "Move Left"},
    {&frmMain::mnuMoveRight_Click,     "Move Right"},
    {&frmMain::mnuCut_Click,           "Cut"},
    {&frmMain::mnuPaste_Click,         "Paste"},
};
// The commands that act on the tree's selected item: those that change the Document (above),
// and these.
const CommandHandler kOtherItemCommands[] = {&frmMain::mnuCopy_Click, &frmMain::mnuExpandAll_Click};
// clang-format on

} // namespace

bool IsItemCommand(CommandHandler handler) {
    return UndoCaption(handler) ||
           std::find(std::begin(kOtherItemCommands), std::end(kOtherItemCommands), handler) !=
               std::end(kOtherItemCommands);
}

const char* UndoCaption(CommandHandler handler) {
    for (const UndoStep& step : kUndoSteps) {
        if (step.handler == handler)
            return step.caption;
    }
    return nullptr;
}

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
