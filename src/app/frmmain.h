#pragma once

#include "app/mainform.h"
#include "document/documentsession.h"
#include "platform/tree/treecontrol.h"
#include "platform/ui/commondialog.h"
#include "platform/xml/xmldocument.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class RichTextBox;
class StatusPanels;
class WebBrowser;
class frmQuery;
class ValidationRun;
class ValidationPanel;
class DeferredTextGuard;
class QTimer;
namespace ItemEdits {
enum class Move;
}

// The main window: its views, its commands and every question to the user, over the document
// session. Its routines are in app/, one file per subject.
class frmMain : public QMainWindow, public MainForm {
    Q_OBJECT
public:
    // `arguments` are the program's arguments after its name; the first one names a file to open.
    explicit frmMain(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---- document state: the session's, under the names the window knows it by ----
    DocumentSession m_session;
    XmlDocument& m_objDocument = m_session.m_objDocument;
    QString& m_strFileName = m_session.m_strFileName;
    QString& m_strXMLText = m_session.m_strXMLText;
    bool& m_bNeedToSave = m_session.m_bNeedToSave;
    bool& m_bFileNotLoaded = m_session.m_bFileNotLoaded;
    qint32 m_lTreeTextMaxLength = 256;
    std::optional<QStringList> m_lstTextToFind;
    bool m_bMatchCase = false;
    bool m_bMatchAllWord = false;
    XmlNode m_objCopiedNode;
    ::CommonDialog CommonDialog;

    // A menu item, context item or toolbar button by its name ("mnuSave", "Toolbar1.Save").
    QAction* Command(const QString& name) const;
    QMenu* Menu(const QString& name) const;
    // A toolbar's button by key.
    QAction* Button(QToolBar* toolbar, const QString& key) const;

    // ---- document and files ----
    void mnuNewDoc_Click();
    void OpenFile(QString& strFileName);
    void OpenFile() {
        QString none;
        OpenFile(none);
    }
    // Each answers whether the document is now in its file.
    bool SaveFile();
    bool SaveFileAs();
    // Asks to save unsaved changes; false when the asking command must not go on.
    bool HandleSaving();
    bool HasUnsavedChanges() const { return m_session.HasUnsavedChanges(); }
    void MarkChanged() { m_session.MarkChanged(); }
    void markSaved() { m_session.markSaved(); }
    // Loads a file into the Document under its name; false (after saying why) for something
    // that is no file, such as a device or a pipe, or when the user stopped it.
    bool LoadFile(const QString& path);
    // The window became active: offers to reload a file another program changed.
    void Form_Activate();
    // Copies unsaved work for recovery after an unclean end (every kRecoveryInterval ms).
    void WriteRecoveryCopy();
    // Offers the work left by a program that ended without saving; true when it was taken.
    bool OfferRecovery();
    Recovery& RecoveryCopies() { return m_session.RecoveryCopies(); }
    void UpdateFormCaption();
    void SetTextToXML(const QString& NewText) { m_session.ApplyText(NewText.toUtf8()); }
    QString GetTextFromXML() const { return m_session.GetTextFromXML(); }
    void HandleError();
    void ToolbarApply_ButtonClick(const QString& key);
    // `readFrom`, when given, is the text the Document was just read from: the web view's file
    // can be that instead of the Document written out again.
    void RefreshViews(bool bRebuildTree, QByteArrayView readFrom = {});
    void mnuRefresh_Click();
    void mnuOpen_Click() { OpenFile(); }
    void mnuSave_Click() { SaveFile(); }
    void mnuSaveAs_Click() { SaveFileAs(); }
    void DropFiles(const QStringList& paths);
    // Where the web view's file is written: a file of this window's own.
    QString WebFilePath() const { return m_session.WebFilePath(); }

    // ---- main window ----
    void Form_Load(const QStringList& arguments);
    void Form_Resize();
    void Form_QueryUnload(bool& Cancel);
    void mnuExit_Click();
    void mnuAbout_Click();
    void Image2_Click() { mnuAbout_Click(); }
    void Toolbar1_ButtonClick(const QString& key);
    void Toolbox_ButtonClick(const QString& key);

    // ---- tree events and command state ----
    qint16 m_iElementCounter = 0;
    // The item an insert just made and opened for naming: the name typed is part of the insert's
    // undo step. Any other command ends that.
    TreeModel::ItemId m_labelOfInsert = TreeModel::NoItem;
    void UpdateCommandState(TreeModel::ItemId item);
    // The item commands act on the tree's selection, which the text and web views do not show:
    // there they are off; back in the tree they are as the selection has them.
    void ItemCommandsFollowView();
    void m_wndTree_NodeClick(TreeModel::ItemId item);
    void m_wndTree_MouseDown(Qt::MouseButton button, const QPoint& point);
    void m_wndTree_KeyDown(int key);
    bool m_wndTree_BeforeLabelEdit(TreeModel::ItemId item);
    bool m_wndTree_AfterLabelEdit(TreeModel::ItemId item, QString& newText);
    void m_wndTree_DblClick();
    void ExpandSubTree(TreeModel::ItemId item);
    void mnuExpandAll_Click();

    // ---- item editing ----
    void mnuUpdate_Click();
    void mnuSpecialUpdate_Click();
    void mnuNewElement_Click();
    void mnuNewText_Click();
    void mnuNewComment_Click();
    void mnuNewCDATA_Click();
    void mnuNewAttribute_Click();
    void mnuNewPI_Click();
    void mnuDeleteItem_Click();
    void DeleteSelectedItem(TreeModel::ItemId item);
    void mnuMoveUp_Click();
    void mnuMoveDown_Click();
    void mnuMoveLeft_Click();
    void mnuMoveRight_Click();
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();

    // ---- undo and redo ----
    // Runs a command of the menus or toolbars; one that changes the Document does so in one
    // undo step.
    void RunCommand(void (frmMain::*handler)());
    // In the text view these act on the typing there, as the view's own keys do.
    void mnuUndo_Click();
    void mnuRedo_Click();
    // Captions and state of Undo and Redo, and whether the validation results are stale, after
    // anything that may have changed the Document or its history.
    void UpdateUndoCommands();

    // ---- find ----
    void mnuFind_Click();
    void mnuFindNext_Click();
    // Puts a text last in the find history, once.
    void AddNewTextToFindCol(const QString& strNew);
    // Searches the labels after the selected item and selects the first that matches, or says
    // that the search came round without one.
    void FindText(const QString& strFind, bool bMatchCase, bool bMatchAllWord);
    void SelectFirstItemIfNone();
    // ---- query analyzer ----
    // Shows the Query Analyzer on a fresh snapshot of the Document.
    void mnuQuery_Click();
    QPointer<frmQuery> m_frmQuery;

    // ---- validation ----
    // Validates the Document against the schema chosen for it, else its own schema hints or
    // document type declaration, on a worker; the panel lists the faults.
    void mnuValidate_Click();
    // Chooses the schema (remembered until New or Open) and validates against it.
    void mnuValidateAgainst_Click();
    void mnuCancelValidation_Click();
    void mnuValidationPanel_Click();
    // The current row's node selected in the tree view, or its line in the text view.
    void mnuGoToValidationItem_Click();
    QString m_strValidationSchema;
    ValidationPanel* m_validationPanel = nullptr;
    ValidationRun* m_validation = nullptr;

    // ---- views ----
    void ToolbarView_ButtonClick(int index);
    void mnuTreeView_Click();
    void mnutextView_Click();
    void mnuWebView_Click();

    // ---- indenter, clipboard transfer, printing ----
    void IndentXML();
    void CopyClipboardText();
    void PasteClipboardText();
    void PrintXML();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildCommands();
    void connectSession();
    void setTextViewFromDocument();
    void showParseError(const XmlParseError& error);
    // The tree built anew from the Document.
    void showWholeTree();
    XmlDocument& Document() { return m_session.Document(); }
    // Runs an event handler so that no failure escapes it.
    template <typename F> void guarded(F&& handler) {
        try {
            handler();
        } catch (...) {
            HandleError();
        }
    }
    void inUndoStep(const QString& caption, const std::function<void()>& change) {
        m_session.InUndoStep(caption, change);
    }
    bool textViewUndoes(bool undo) const;
    void undoOrRedo(bool undo);
    void updateUndoCaptions();
    // Set while an update of the captions after a change of the text view's is waiting.
    bool m_undoCaptionsPending = false;
    // The item commands' states while the tree is not shown.
    QHash<QAction*, bool> m_itemCommandsAway;
    void editFlow(bool fromDoubleClick);
    void insertEditableLeaf(XmlNode (XmlDocument::*create)(const QString&), const QString& image);
    void moveItem(ItemEdits::Move move);
    // Selects the item, with the commands as it has them.
    void selectItem(TreeModel::ItemId item);

    std::unique_ptr<DeferredTextGuard> m_textGuard;
    bool saveDocumentTo(const QString& path);
    void startRecovery();
    bool recover(const RecoveryOrphan& orphan);
    QTimer* m_recoveryTimer = nullptr;
    bool m_bCheckingDiskFile = false;
    void buildValidationPanel();
    void forgetValidation();
    // The text view's text replaced the one the web view's file was written from.
    void webFileAfterTextReplaced();
};
