#pragma once

#include "app/frmabout.h"
#include "app/mainform.h"
#include "document/completiongrammar.h"
#include "document/documentsession.h"
#include "document/recentfiles.h"
#include "document/windowmemory.h"
#include "editing/itemedits.h"
#include "platform/apptitle.h"
#include "platform/tree/treecontrol.h"
#include "platform/ui/commondialog.h"
#include "platform/ui/uiservices.h"
#include "search/findresultspanel.h"
#include "search/frmreplace.h"
#include "tree/treebuilder.h"
#include "validation/validationpanel.h"
#include "validation/validationrun.h"

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <optional>

class QAction;
class QMenu;
class QTimer;
class QToolBar;
class DeferredTextGuard;
class WellFormedCheck;
class frmQuery;
class frmTransformResult;
class WindowLink;

// The main window: its views, its commands and every question to the user, over the document
// session. Its routines are in app/, one file per subject.
class frmAttributeEditor;
class frmMain : public QMainWindow, public MainForm {
    Q_OBJECT
public:
    // `arguments` are the program's arguments after its name; the first one names a file to open.
    explicit frmMain(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // The document's state is the session's, reached under the names the window knows it by.
    DocumentSession m_session;
    XmlDocument& m_objDocument = m_session.m_objDocument;
    QString& m_strFileName = m_session.m_strFileName;
    QByteArray& m_strXMLText = m_session.m_strXMLText;
    bool& m_bNeedToSave = m_session.m_bNeedToSave;
    qint32 m_lTreeTextMaxLength = 256;
    std::optional<QStringList> m_lstTextToFind;
    bool m_bMatchCase = false;
    bool m_bMatchAllWord = false;
    // Replace's own history and options; the text to find shares Find's.
    QStringList m_lstReplaceWith;
    bool m_bRegularExpression = false;
    ReplaceScope m_replaceScope;
    XmlNode m_objCopiedNode;
    qint16 m_iElementCounter = 0;
    // The item an insert just made and opened for naming: the name typed is part of the insert's
    // undo step. Any other command ends that.
    TreeModel::ItemId m_labelOfInsert = TreeModel::NoItem;
    ::CommonDialog CommonDialog;
    QPointer<frmQuery> m_frmQuery;
    QString m_strValidationSchema;
    // The stylesheet and parameters of the last transform, kept until New or Open.
    QString m_strStylesheet;
    QList<XmlTransform::Parameter> m_lstTransformParameters;
    QPointer<frmTransformResult> m_frmTransformResult;
    ValidationPanel* m_validationPanel = nullptr;
    ValidationRun* m_validation = nullptr;
    FindResultsPanel* m_findResultsPanel = nullptr;
    // The user's settings, and the files opened and saved lately in them.
    QSettings m_settings{QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor")};
    RecentFiles m_recentFiles{m_settings};
    WindowMemory m_windowMemory{m_settings};
    // Finds the program's other windows, and lets them find this one.
    WindowLink* m_windowLink = nullptr;
    // Checks the text view's typing once it pauses.
    WellFormedCheck* m_wellFormedCheck = nullptr;

    void mnuNewDoc_Click();
    // Another window of the program, a process of its own, with a new document.
    void mnuNewWindow_Click() { StartWindow({}); }
    // A window of its own for `arguments` (a file, or nothing for a new document).
    void StartWindow(const QStringList& arguments);
    // True when another window has `path` open: that one came to the front instead.
    bool ShownInOtherWindow(const QString& path);
    // Answers another window that is about to open `canonicalPath`: true, with this window
    // brought to the front, when this document is that file.
    bool BringToFrontIfOpen(const QString& canonicalPath);
    // Without a name, the one chosen in the Open dialog.
    void OpenFile(QString strFileName = {});
    void mnuOpen_Click() { OpenFile(); }
    // A file of the recent files list; one that no longer exists leaves the list.
    void OpenRecentFile(const QString& path);
    void mnuClearRecent_Click();
    // The File menu's list as the settings have it now.
    void showRecentFiles();
    void DropFiles(const QStringList& paths);
    // False, after saying why, for something that is no file (a device, a pipe), or when the
    // user stopped it.
    bool LoadFile(const QString& path);
    // Each answers whether the document is now in its file.
    bool SaveFile();
    bool SaveFileAs();
    void mnuSave_Click() { SaveFile(); }
    void mnuSaveAs_Click() { SaveFileAs(); }
    // Asks to save unsaved changes; false when the asking command must not go on.
    bool HandleSaving();
    bool HasUnsavedChanges() const { return m_session.HasUnsavedChanges(); }
    void MarkChanged() { m_session.MarkChanged(); }
    void markSaved() { m_session.markSaved(); }
    // Offers to reload a file another program changed.
    void Form_Activate();
    void WriteRecoveryCopy();
    // Offers the work left by a program that ended without saving; true when it was taken.
    bool OfferRecovery();
    Recovery& RecoveryCopies() { return m_session.RecoveryCopies(); }
    QString WebFilePath() const { return m_session.WebFilePath(); }
    void UpdateFormCaption();

    void SetTextToXML(const QString& NewText) { m_session.ApplyText(NewText.toUtf8()); }
    QString GetTextFromXML() const { return m_session.GetTextFromXML(); }
    // `readFrom`, when given, is the text the Document was just read from: the web view's file
    // can be that instead of the Document written out again.
    void RefreshViews(bool bRebuildTree, const QByteArray& readFrom = {});
    void mnuRefresh_Click() { RefreshViews(true); }
    void ToolbarApply_ButtonClick(const QString& key);
    void ToolbarView_ButtonClick(int index);
    void mnuTreeView_Click() { ToolbarView_ButtonClick(1); }
    void mnutextView_Click() { ToolbarView_ButtonClick(2); }
    void mnuWebView_Click() { ToolbarView_ButtonClick(3); }
    void HandleError();

    void Form_Load(const QStringList& arguments);
    void Form_Resize() { layOut(); }
    void Form_QueryUnload(bool& Cancel);
    void mnuExit_Click() { close(); }
    void mnuAbout_Click() {
        frmAbout about;
        ShowModal(about);
    }
    void Image2_Click() { mnuAbout_Click(); }
    void Toolbar1_ButtonClick(const QString& key) { buttonClick(Toolbar1, key); }
    void Toolbox_ButtonClick(const QString& key) { buttonClick(Toolbox, key); }

    void UpdateCommandState(TreeModel::ItemId item);
    // Off where the tree is not shown; back in the tree as the selection has them.
    void ItemCommandsFollowView();
    void m_wndTree_NodeClick(TreeModel::ItemId item);
    void m_wndTree_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                             const QPoint& point);
    void m_wndTree_KeyDown(int key, Qt::KeyboardModifiers shift);
    bool m_wndTree_BeforeLabelEdit(TreeModel::ItemId item);
    bool m_wndTree_AfterLabelEdit(TreeModel::ItemId item, QString& newText);
    void m_wndTree_DblClick();
    void ExpandSubTree(TreeModel::ItemId item);
    void mnuExpandAll_Click() { ExpandSubTree(m_wndTree->SelectedItem()); }

    void mnuUpdate_Click();
    void mnuSpecialUpdate_Click();
    void mnuNewElement_Click();
    void mnuNewText_Click() { insertEditableLeaf(&XmlDocument::createTextNode, ModGeneral::kText); }
    void mnuNewComment_Click() {
        insertEditableLeaf(&XmlDocument::createComment, ModGeneral::kComment);
    }
    void mnuNewCDATA_Click() {
        insertEditableLeaf(&XmlDocument::createCDATASection, ModGeneral::kCData);
    }
    void mnuNewAttribute_Click() { insertNamed(true); }
    void mnuNewPI_Click() { insertNamed(false); }
    void mnuDeleteItem_Click();
    void DeleteSelectedItem(TreeModel::ItemId item);
    void mnuMoveUp_Click() { moveItem(ItemEdits::Move::Up); }
    void mnuMoveDown_Click() { moveItem(ItemEdits::Move::Down); }
    void mnuMoveLeft_Click() { moveItem(ItemEdits::Move::Left); }
    void mnuMoveRight_Click() { moveItem(ItemEdits::Move::Right); }
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();

    // Runs a command of the menus or toolbars; one that changes the Document does so in one
    // undo step.
    void RunCommand(void (frmMain::*handler)());
    void mnuUndo_Click() { undoOrRedo(true); }
    void mnuRedo_Click() { undoOrRedo(false); }
    // After anything that may have changed the Document or its history.
    void UpdateUndoCommands() { m_session.CommandEnded(); }

    void mnuFind_Click();
    void mnuFindNext_Click();
    // Puts a text last in the find history, once.
    void AddNewTextToFindCol(const QString& strNew) {
        m_lstTextToFind->removeAll(strNew), m_lstTextToFind->append(strNew);
    }
    void FindText(const QString& strFind, bool bMatchCase, bool bMatchAllWord);
    // Lists every item whose label matches in the Find Results panel.
    void FindAllText(const QString& strFind, bool bMatchCase, bool bMatchAllWord);
    void mnuFindResultsPanel_Click() { m_findResultsPanel->Toggle(); }
    // The text view's zoom, kept for the next run.
    void mnuZoomIn_Click();
    void mnuZoomOut_Click();
    void mnuZoomReset_Click();
    // Replace in the text view's text when it is shown, else in the Document's items.
    void mnuReplace_Click();
    void mnuGoToFindResult_Click();
    void SelectFirstItemIfNone() {
        if (m_wndTree->SelectedItem() == TreeModel::NoItem)
            m_wndTree->SetSelectedItem(m_wndTree->Nodes().FirstTopLevel());
    }
    void mnuQuery_Click();
    void mnuTransform_Click();
    // A transform's output as the document, after the save question.
    void openTransformOutput(const QString& text);
    void mnuValidate_Click();
    void mnuValidateAgainst_Click();
    void mnuCancelValidation_Click() { m_validation->Cancel(); }
    void mnuValidationPanel_Click() { m_validationPanel->Toggle(); }
    void mnuGoToValidationItem_Click();

    void IndentXML();
    void mnuToggleComment_Click();
    void mnuCopyXPath_Click();
    // The node at `place` in the Document selected in the tree, when `taken` is still current.
    void showQueryResult(const XmlNodePlace& place, const XmlDocumentStamp& taken);
    void mnuCloseTags_Click();
    void CopyClipboardText();
    void PasteClipboardText();
    void PrintXML();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void tell(const QString& text, MsgIcon icon) {
        MsgBox(text, MsgButtons::OKOnly, icon, kAppTitle);
    }
    static bool askYes(const QString& text, MsgIcon icon) {
        return MsgBox(text, MsgButtons::YesNo, icon, kAppTitle) == MsgResult::Yes;
    }
    // Runs an event handler so that no failure escapes it.
    template <typename F> void guarded(F&& handler) {
        try {
            handler();
        } catch (...) {
            HandleError();
        }
    }
    XmlDocument& Document() { return m_session.Document(); }
    void buildControls();
    void buildCommands();
    // Where the window was left, with its panels; the text view's zoom.
    void restoreWindow();
    void keepWindow();
    void buttonClick(QToolBar* bar, const QString& key);
    void connectSession();
    void buildValidationPanel();
    void buildFindResultsPanel();
    void startRecovery();
    bool recover(const RecoveryOrphan& orphan);
    bool saveDocumentTo(const QString& path);
    void applyBeforeSave();
    // The text view's text as the Document, its error marked when it does not parse.
    bool applyTextView();
    bool saveTextTo(const QString& path);
    // After Open and from the command line: the Document, or the file's text for repair.
    void showLoaded();
    void showTextForRepair();
    void startWellFormedCheck();
    // Where the text view's text stops being well-formed (`error`), or that it is well-formed
    // (nullptr), in the view, the status bar and the problems list.
    void showWellFormedness(const XmlParseError* error);
    // Nothing said either way (New, a file that loaded).
    void forgetWellFormedness();
    void showTreeAndWebInstead();
    void setTextViewFromDocument();
    void showWholeTree();
    // The selected item's path in the status bar, as it is now.
    void showSelectedPath();
    void webFileAfterTextReplaced();
    // New and Open: no schema chosen, no results, nothing running.
    void forgetResults() {
        m_strValidationSchema.clear(), m_validation->Forget(), m_findResultsPanel->Clear();
        m_strStylesheet.clear(), m_lstTransformParameters.clear();
    }
    bool textViewUndoes(bool undo) const;
    void undoOrRedo(bool undo);
    void updateUndoCaptions();
    void selectItem(TreeModel::ItemId item);
    void editFlow(bool fromDoubleClick);
    void showInTree(const XmlNode& node);
    // The Replace dialog's actions; each answers nothing and tells the user what it did.
    void replaceFindNext(const frmReplace& dialog);
    void replaceSelection(const frmReplace& dialog);
    void replaceAllInText(const frmReplace& dialog);
    void replaceAllInTree(const frmReplace& dialog);
    // The dialog's texts and options kept for the next time.
    void keepReplaceOptions(const frmReplace& dialog);
    void insertEditableLeaf(XmlNode (XmlDocument::*create)(const QString&), const QString& image);
    void insertNamed(bool attribute);
    void moveItem(ItemEdits::Move move);
    // Completion from the grammar validation would use, else from the Document itself.
    void setUpCompletion();
    GrammarPtr grammarNow();
    void prefetchGrammar();
    TreeControl::LabelOffer labelChoices(TreeModel::ItemId item);
    // The attribute editor offers names for `element` (inserting) and the values of the name typed.
    void offerAttributeChoices(frmAttributeEditor& editor, const XmlNode& element, bool inserting);

    CompletionGrammar m_completionGrammar;

    std::unique_ptr<DeferredTextGuard> m_textGuard;
    QTimer* m_recoveryTimer = nullptr;
    bool m_bCheckingDiskFile = false;
    // Set while an update of the captions after a change of the text view's is waiting.
    bool m_undoCaptionsPending = false;
    // Set while a save applies the text view's text: text that does not parse is then asked
    // about, not reported.
    bool m_parseReportsQuiet = false;
    // The item commands' states while the tree is not shown.
    QHash<QAction*, bool> m_itemCommandsAway;
};
