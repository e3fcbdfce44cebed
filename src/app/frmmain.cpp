#include "app/frmmain.h"

#include "app/commandtable.h"
#include "app/frmabout.h"
#include "app/statuspanels.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "tree/treebuilder.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

using namespace DocumentRules;

// The icons live in the GUI library, a static one: their resource must be registered by hand.
static void initResources() { Q_INIT_RESOURCE(orvel); }

frmMain::frmMain(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    initResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app/orvel.svg")));
    buildControls();
    buildCommands();
    // The client area opens at its design size.
    m_client->resize(10410 / 15, 6270 / 15);
    resize(10410 / 15, 6270 / 15 + menuBar()->sizeHint().height());
    Form_Load(arguments);
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    Toolbar1 = new QToolBar(m_client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Toolbar1->setIconSize(QSize(16, 16));

    PicView = new QWidget(m_client);
    PicView->setObjectName(QStringLiteral("PicView"));
    auto* viewLayout = new QVBoxLayout(PicView);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    m_viewsLabel = new QLabel(QStringLiteral("Views"), PicView);
    viewLayout->addWidget(m_viewsLabel);
    ToolbarView = new QToolBar(PicView);
    ToolbarView->setObjectName(QStringLiteral("ToolbarView"));
    ToolbarView->setOrientation(Qt::Vertical);
    ToolbarView->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolbarView->setIconSize(QSize(16, 16));
    viewLayout->addWidget(ToolbarView);
    Image2 = new QLabel(PicView);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(QIcon(QStringLiteral(":/icons/app/orvel.svg")).pixmap(48, 48));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setToolTip(QStringLiteral("About Orvel XML Editor"));
    Image2->installEventFilter(this);
    viewLayout->addWidget(Image2);
    viewLayout->addStretch();

    m_wndTree = new TreeControl(m_client);
    m_wndTree->setObjectName(QStringLiteral("m_wndTree"));
    QHash<QString, QIcon> images;
    for (const char* key : {"Element", "Text", "Attribute", "Comment", "CData", "PInstructions"}) {
        images.insert(QString::fromLatin1(key),
                      QIcon(QStringLiteral(":/icons/items/%1.svg").arg(QString::fromLatin1(key).toLower())));
    }
    m_wndTree->SetImageList(images);
    connect(m_wndTree, &TreeControl::FilesDropped, this, &frmMain::DropFiles);

    m_txtXML = new RichTextBox(m_client);
    m_txtXML->setObjectName(QStringLiteral("m_txtXML"));
    connect(m_txtXML, &RichTextBox::filesDropped, this, &frmMain::DropFiles);
    m_textGuard = std::make_unique<DeferredTextGuard>(*m_txtXML);

    m_WebBrowser = new WebBrowser(m_client);
    m_WebBrowser->setObjectName(QStringLiteral("m_WebBrowser"));

    PicToolBox = new QWidget(m_client);
    PicToolBox->setObjectName(QStringLiteral("PicToolBox"));
    auto* boxLayout = new QVBoxLayout(PicToolBox);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    m_toolboxLabel = new QLabel(QStringLiteral("Toolbox"), PicToolBox);
    boxLayout->addWidget(m_toolboxLabel);
    Toolbox = new QToolBar(PicToolBox);
    Toolbox->setObjectName(QStringLiteral("Toolbox"));
    Toolbox->setOrientation(Qt::Vertical);
    Toolbox->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbox->setIconSize(QSize(16, 16));
    boxLayout->addWidget(Toolbox);
    boxLayout->addStretch();

    ToolbarApply = new QToolBar(m_client);
    ToolbarApply->setObjectName(QStringLiteral("ToolbarApply"));
    ToolbarApply->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolbarApply->setIconSize(QSize(16, 16));

    StatusBar1 = new StatusPanels(m_client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
}

void frmMain::buildCommands() {
    QHash<QString, QMenu*> menus;
    auto isMenu = [](const char* name) {
        for (const MenuEntry& e : MenuTable()) {
            if (qstrcmp(e.menu, name) == 0)
                return true;
        }
        return false;
    };
    for (const MenuEntry& e : MenuTable()) {
        const QString name = QString::fromLatin1(e.name);
        const QString caption = QString::fromUtf8(e.caption);
        if (isMenu(e.name)) {
            QMenu* menu = nullptr;
            if (qstrcmp(e.menu, "") == 0)
                menu = menuBar()->addMenu(caption);
            else if (qstrcmp(e.menu, "*") == 0)
                menu = new QMenu(caption, this);
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
        auto* action = new QAction(caption, this);
        action->setObjectName(name);
        if (qstrlen(e.shortcut) > 0) {
            action->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
            addAction(action); // shortcuts work whether or not the menu bar is shown
        }
        owner->addAction(action);
        if (e.handler) {
            const CommandHandler handler = e.handler;
            connect(action, &QAction::triggered, this, [this, handler] {
                try {
                    (this->*handler)();
                } catch (...) {
                    HandleError();
                }
            });
        } else {
            action->setEnabled(false);
        }
    }
    for (const char* name : {"mnuTreeView", "mnutextView", "mnuWebView"})
        Command(QString::fromLatin1(name))->setCheckable(true);

    int viewIndex = 0;
    for (const ButtonEntry& b : ButtonTable()) {
        QToolBar* bar = findChild<QToolBar*>(QString::fromLatin1(b.toolbar));
        if (!b.key) {
            bar->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(b.key);
        const QString caption = QString::fromLatin1(b.caption);
        auto* action = bar->addAction(QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(b.icon))),
                                      caption.isEmpty() ? key : caption);
        action->setObjectName(QString::fromLatin1(b.toolbar) + QLatin1Char('.') + key);
        action->setProperty("key", key);
        action->setToolTip(QString::fromLatin1(b.tooltip));
        if (bar == ToolbarView) {
            action->setCheckable(true);
            const int index = ++viewIndex;
            connect(action, &QAction::triggered, this, [this, index] { ToolbarView_ButtonClick(index); });
            continue;
        }
        std::span<const KeyDispatch> keys = bar == Toolbar1 ? Toolbar1Keys() : ToolboxKeys();
        bool wired = bar == ToolbarApply;
        for (const KeyDispatch& k : keys) {
            if (key == QLatin1String(k.key))
                wired = k.handler != nullptr;
        }
        action->setEnabled(wired);
        connect(action, &QAction::triggered, this, [this, bar, key] {
            try {
                if (bar == Toolbar1)
                    Toolbar1_ButtonClick(key);
                else if (bar == Toolbox)
                    Toolbox_ButtonClick(key);
                else
                    ToolbarApply_ButtonClick(key);
            } catch (...) {
                HandleError();
            }
        });
    }
    // The side panels are narrow by design: their bars use a small font and never fold away.
    QFont small = font();
    small.setPointSizeF(qMax(6.0, small.pointSizeF() - 1.5));
    for (QToolBar* bar : {ToolbarView, Toolbox, ToolbarApply})
        bar->setFont(small);
    ToolbarView->setMinimumSize(ToolbarView->sizeHint());
    Toolbox->setMinimumSize(Toolbox->sizeHint());
}

QAction* frmMain::Command(const QString& name) const { return findChild<QAction*>(name); }

QMenu* frmMain::Menu(const QString& name) const { return findChild<QMenu*>(name); }

QAction* frmMain::Button(QToolBar* toolbar, const QString& key) const {
    return findChild<QAction*>(toolbar->objectName() + QLatin1Char('.') + key);
}

namespace {
void dispatch(frmMain* window, std::span<const KeyDispatch> keys, const QString& key) {
    for (const KeyDispatch& k : keys) {
        if (key == QLatin1String(k.key)) {
            if (k.handler)
                (window->*k.handler)();
            return;
        }
    }
}
} // namespace

void frmMain::Toolbar1_ButtonClick(const QString& key) { dispatch(this, Toolbar1Keys(), key); }

void frmMain::Toolbox_ButtonClick(const QString& key) { dispatch(this, ToolboxKeys(), key); }

// ---- start-up and closing --------------------------------------------------------------------

void frmMain::Form_Load(const QStringList& arguments) {
    m_lTreeTextMaxLength = 256;
    m_objDocument = XmlDocument::create();
    m_lstTextToFind = QStringList();
    ToolbarView_ButtonClick(1);
    mnuNewDoc_Click();
    CommonDialog.Filter = kFileFilter;
    CommonDialog.FilterIndex = 1;
    if (!arguments.isEmpty() && !arguments.constFirst().isEmpty()) {
        try {
            m_strFileName = CommandLinePath(arguments.constFirst());
            m_bFileNotLoaded = true;
            if (Document().load(m_strFileName)) {
                m_bFileNotLoaded = false;
                NoteLoadedFile();
            }
            RefreshViews(true);
        } catch (...) {
            HandleError();
        }
    }
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
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void frmMain::mnuExit_Click() { close(); }

void frmMain::mnuAbout_Click() {
    frmAbout about;
    ShowModal(about);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    if (watched == Image2 && event->type() == QEvent::MouseButtonRelease) {
        try {
            Image2_Click();
        } catch (...) {
            HandleError();
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
