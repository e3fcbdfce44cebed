#include "app/frmmain.h"

#include "app/commandtable.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "platform/views/richtextbox.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QToolBar>

using namespace DocumentRules;

frmMain::frmMain(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app/orvel.svg")));
    buildControls();
    connectSession();
    buildCommands();
    buildValidationPanel();
    buildFindResultsPanel();
    showRecentFiles();
    setUpCompletion();
    startWellFormedCheck();
    fitToDesign();
    m_validationPanel->Restore();
    m_findResultsPanel->Restore();
    restoreWindow();
    startRecovery();
    Form_Load(arguments);
}

// Closing hides the text view, which may then put in the text a check gave, and empties the tree:
// nothing of the window or its document is left to answer them.
frmMain::~frmMain() {
    disconnect(m_txtXML, nullptr, this, nullptr);
    disconnect(m_wndTree, nullptr, this, nullptr);
}

// The form's controls, and the window's answers to their events.
void frmMain::buildControls() {
    setupUi(this);
    m_client->installEventFilter(this);
    Image2->installEventFilter(this);
    connect(m_wndTree, &TreeControl::FilesDropped, this, &frmMain::DropFiles);
    connect(m_wndTree, &TreeControl::NodeClick, this, &frmMain::m_wndTree_NodeClick);
    // Keys select too: the commands follow every change of the current item.
    connect(m_wndTree, &TreeControl::CurrentItemChanged, this, &frmMain::m_wndTree_NodeClick);
    connect(m_wndTree, &TreeControl::MouseDown, this, &frmMain::m_wndTree_MouseDown);
    connect(m_wndTree, &TreeControl::KeyDown, this, &frmMain::m_wndTree_KeyDown);
    connect(m_wndTree, &TreeControl::DblClick, this, &frmMain::m_wndTree_DblClick);
    m_wndTree->BeforeLabelEdit = std::bind_front(&frmMain::m_wndTree_BeforeLabelEdit, this);
    m_wndTree->AfterLabelEdit = std::bind_front(&frmMain::m_wndTree_AfterLabelEdit, this);

    connect(m_txtXML, &RichTextBox::filesDropped, this, &frmMain::DropFiles);
    connect(m_txtXML, &RichTextBox::textReplaced, this,
            [this] { guarded([this] { webFileAfterTextReplaced(); }); });
    // Typing changes what Undo and Redo would do: their captions follow at once when the view
    // first holds typing (the next key may be Ctrl+Z), and once the change is made for a burst
    // of keys.
    connect(m_txtXML, &QsciScintilla::modificationChanged, this,
            [this] { guarded([this] { updateUndoCaptions(); }); });
    connect(m_txtXML, &RichTextBox::edited, this, [this] {
        if (std::exchange(m_undoCaptionsPending, true))
            return;
        QTimer::singleShot(0, this, [this] {
            m_undoCaptionsPending = false;
            guarded([this] { updateUndoCaptions(); });
        });
    });
    m_textGuard = std::make_unique<DeferredTextGuard>(*m_txtXML);
}

// A button without a menu item of its own goes to its toolbar's click routine.
void frmMain::buildCommands() {
    BuildCommands(
        *this, [this](CommandHandler handler) { guarded([&] { RunCommand(handler); }); },
        [this](QToolBar* bar, const QString& key) {
            guarded([&] {
                if (bar == ToolbarApply)
                    ToolbarApply_ButtonClick(key);
                else
                    bar == Toolbox ? Toolbox_ButtonClick(key) : Toolbar1_ButtonClick(key);
            });
        });
    for (const char* name : {"mnuTreeView", "mnutextView", "mnuWebView"})
        Command(QString::fromLatin1(name))->setCheckable(true);
}

void frmMain::buttonClick(QToolBar* bar, const QString& key) {
    if (const CommandHandler handler = ButtonHandler(bar->objectName(), key))
        RunCommand(handler);
}

void frmMain::Form_Load(const QStringList& arguments) {
    m_lTreeTextMaxLength = 256;
    m_lstTextToFind = QStringList();
    ToolbarView_ButtonClick(1);
    mnuNewDoc_Click();
    CommonDialog.Filter = kFileFilter;
    CommonDialog.FilterIndex = 1;
    // Work recovered from an unclean end comes before the file named on the command line. The
    // window is on the screen before a long parse starts, with its progress and Esc.
    guarded([&] {
        if (!OfferRecovery() && !arguments.isEmpty() && !arguments.constFirst().isEmpty()) {
            show();
            if (LoadFile(CommandLinePath(arguments.constFirst()))) {
                showLoaded();
                markSaved(); // as File > Open does: the document is its file
            }
        }
    });
    UpdateFormCaption();
}

void frmMain::Form_QueryUnload(bool& Cancel) {
    if (!HandleSaving()) {
        Cancel = true;
        return;
    }
    m_objDocument = XmlDocument();
    m_lstTextToFind.reset();
}

void frmMain::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_QueryUnload(cancel);
    event->setAccepted(!cancel);
    if (!cancel)
        keepWindow();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Asked once the activation has settled, not in the middle of it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QTimer::singleShot(0, this, [this] { guarded([this] { Form_Activate(); }); });
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    if (watched != Image2 || event->type() != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    guarded([this] { Image2_Click(); });
    return true;
}
