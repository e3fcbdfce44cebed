#pragma once

#include "document/diskfile.h"
#include "document/webfile.h"
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
class ValidationJob;
class ValidationPanel;
class DeferredTextGuard;
class QTimer;
class Recovery;
class XmlFileLoad;
struct RecoveryOrphan;

// The main window: it holds the one document and everything else for the whole run. Its
// routines are defined in the folder of their subsystem (document/, tree/, editing/, ...).
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` are the program's arguments after its name; the first one names a file to open.
    explicit frmMain(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---- document state ----
    XmlDocument m_objDocument;
    QString m_strFileName;
    QString m_strXMLText;
    // Marked changed on purpose where the Document itself did not change (an Update or a label
    // edit that was cancelled or refused, recovered work): it counts until the history moves on.
    // Whether the document has unsaved changes is HasUnsavedChanges(), never a flag set by each
    // command.
    bool m_bNeedToSave = false;
    qint32 m_lTreeTextMaxLength = 256;
    std::optional<QStringList> m_lstTextToFind;
    bool m_bMatchCase = false;
    bool m_bMatchAllWord = false;
    XmlNode m_objCopiedNode;
    qint16 m_iResizeFailures = 0;
    // Set while the window shows a file that did not load: Save must not overwrite it.
    bool m_bFileNotLoaded = false;

    // ---- controls ----
    TreeControl* m_wndTree = nullptr;
    RichTextBox* m_txtXML = nullptr;
    WebBrowser* m_WebBrowser = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QToolBar* ToolbarView = nullptr;
    QToolBar* ToolbarApply = nullptr;
    QToolBar* Toolbox = nullptr;
    QWidget* PicView = nullptr;
    QWidget* PicToolBox = nullptr;
    QLabel* Image2 = nullptr;
    StatusPanels* StatusBar1 = nullptr;
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
    // Changes not in the file yet: the history away from the position last saved or loaded,
    // typing in the text view not applied yet, or a mark made on purpose (m_bNeedToSave).
    bool HasUnsavedChanges() const;
    void MarkChanged();
    // The document is what its file holds now (saved, loaded or new).
    void markSaved();
    // Loads a file into the Document under its name; false (after saying why) for something
    // that is no file, such as a device or a pipe.
    bool LoadFile(const QString& path);
    // The window became active: offers to reload a file another program changed.
    void Form_Activate();
    // Copies unsaved work for recovery after an unclean end (every kRecoveryInterval ms).
    void WriteRecoveryCopy();
    // Offers the work left by a program that ended without saving; true when it was taken.
    bool OfferRecovery();
    static constexpr int kRecoveryInterval = 30000;
    Recovery& RecoveryCopies() { return *m_recovery; }
    void UpdateFormCaption();
    void SetTextToXML(QString NewText);
    // Parsed into a new Document in an undo step named `undoCaption`; without one, the text is
    // the Document's own and the step is silent.
    void SetUtf8ToXML(QByteArrayView text, const QString& undoCaption = QString());
    void takeParsed(const XmlDocument& parsed, bool loaded, QByteArrayView text,
                    const QString& undoCaption);
    QString GetTextFromXML();
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
    QString WebFilePath() const { return m_webFile.path(); }

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
    // Marks the panel's results stale when the Document changed since they were made.
    void UpdateValidationState();
    QString m_strValidationSchema;
    ValidationPanel* m_validationPanel = nullptr;

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
    void setTextViewFromDocument();
    void showParseError(const XmlParseError& error);
    XmlDocument& Document();
    // Runs an event handler so that no failure escapes it.
    template <typename F> void guarded(F&& handler) {
        try {
            handler();
        } catch (...) {
            HandleError();
        }
    }
    // Runs `change` as one undo step named `caption` (nothing is kept when it changed nothing).
    void inUndoStep(const QString& caption, const std::function<void()>& change);
    // The Document becomes `replacement`, in a step named `caption` that brings the old one back.
    // A Document read again from its own text (`reread`) gets a step only when there are steps to
    // reach behind it, a silent one unless it is named.
    void replaceDocument(const XmlDocument& replacement, const QString& caption,
                         bool reread = false);
    // Shows a Document that undo or redo brought back.
    void showDocument(const XmlDocument& document);
    void runAside(const QString& caption, const std::function<void()>& work);
    bool textViewUndoes(bool undo) const;
    void undoOrRedo(bool undo);
    void updateUndoCaptions();
    // Set while an update of the captions after a change of the text view's is waiting.
    bool m_undoCaptionsPending = false;
    // The item commands' states while the tree is not shown.
    QHash<QAction*, bool> m_itemCommandsAway;
    void editFlow(bool fromDoubleClick);
    void insertLeaf(XmlNode node, const QString& image);
    void insertEditableLeaf(XmlNode (XmlDocument::*create)(const QString&), const QString& image);
    enum class Move { Up, Down, Left, Right };
    void moveItem(Move move);

    QWidget* m_client = nullptr;
    std::unique_ptr<DeferredTextGuard> m_textGuard;
    // While the window holds text that did not parse instead of a Document: the Document before
    // it, which the next Apply's undo step brings back.
    XmlDocument m_undoBase;
    // Stamp of the Document content as last parsed; equal to its revision while unchanged.
    quint64 m_parsedRevision = 0;
    // The file the unchanged Document was loaded from, as it was then.
    struct LoadedFile {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        quint64 revision = 0;
    } m_loadedFile;
    void NoteLoadedFile();
    bool saveDocumentTo(const QString& path);
    // Waits for a parse with progress in the status bar; false when the user stopped it.
    bool waitForParse(XmlFileLoad& load, const QString& path);
    bool mayOverwrite(const QString& path);
    // The history's position m_bNeedToSave was set at; none while the command that set it runs.
    std::optional<size_t> m_markedAt;
    // The document whose history HasUnsavedChanges looks at: the one held aside while the window
    // shows text that did not parse.
    const XmlDocument& documentForHistory() const;
    DiskFile m_diskFile;
    void startRecovery();
    bool recover(const RecoveryOrphan& orphan);
    std::unique_ptr<Recovery> m_recovery;
    QTimer* m_recoveryTimer = nullptr;
    quint64 m_copiedRevision = 0;
    bool m_bTypedSinceCopy = false;
    std::optional<FileStamp> m_declinedReload;
    bool m_bCheckingDiskFile = false;
    WebFile m_webFile;
    // `serialised`, when given, is the Document's own text in UTF-8.
    void writeWebFile(const QString& path, QByteArrayView serialised = {});
    // The web view's file as the loaded file's copy, while a worker makes it.
    struct WebFileCopy;
    std::shared_ptr<WebFileCopy> m_webFileCopy;
    void finishWebFileCopy();
    void stopWebFileCopy();
    void buildValidationPanel();
    void showValidationPanel();
    void restoreValidationPanel();
    void startValidation();
    void takeValidationResult();
    void abandonValidation();
    // New and Open: no schema chosen, no results, nothing running.
    void forgetValidation();
    std::shared_ptr<ValidationJob> m_validationJob;
    QString m_validationStatus; // what the status bar said of the last result
    // The text view's text replaced the one the web view's file was written from.
    void webFileAfterTextReplaced();
    // The web view's file was written from the text view's text.
    bool m_webFileFromView = false;
};
