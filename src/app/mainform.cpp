#include "app/mainform.h"

#include "app/statuspanels.h"
#include "platform/tree/treecontrol.h"
#include "platform/ui/layoutfailures.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "tree/itemicons.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// A toolbar; inside a side panel it goes below the panel's label.
QToolBar* makeToolBar(QWidget* parent, const char* name, Qt::ToolButtonStyle style,
                      Qt::Orientation orientation = Qt::Horizontal) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setOrientation(orientation);
    bar->setToolButtonStyle(style);
    bar->setIconSize(QSize(16, 16));
    if (parent->layout())
        parent->layout()->addWidget(bar);
    return bar;
}

// A side panel: a label above what is added to it.
QWidget* makePanel(QWidget* parent, const char* name, const QString& caption) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(caption, panel));
    return panel;
}

template <typename Widget> Widget* make(QWidget* parent, const char* name) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Positions are kept in twips, 15 to a pixel at 96 dots per inch, as the window was designed.
constexpr int kTwipsPerPixel = 15;
int px(int twips) {
    return twips / kTwipsPerPixel;
}
QRect rectTwips(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace

// The icons live in the GUI library, a static one: their resource must be registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(orvel);
}

void MainForm::setupUi(QMainWindow* window) {
    initResources();
    m_window = window;
    m_client = make<QWidget>(window, "client");
    window->setCentralWidget(m_client);
    Toolbar1 = makeToolBar(m_client, "Toolbar1", Qt::ToolButtonIconOnly);

    PicView = makePanel(m_client, "PicView", QStringLiteral("Views"));
    ToolbarView = makeToolBar(PicView, "ToolbarView", Qt::ToolButtonTextUnderIcon, Qt::Vertical);
    Image2 = make<QLabel>(PicView, "Image2");
    Image2->setPixmap(QIcon(QStringLiteral(":/icons/app/orvel.svg")).pixmap(48, 48));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setToolTip(QStringLiteral("About Orvel XML Editor"));
    PicView->layout()->addWidget(Image2);
    static_cast<QVBoxLayout*>(PicView->layout())->addStretch();

    m_wndTree = make<TreeControl>(m_client, "m_wndTree");
    m_wndTree->SetImageList(ModGeneral::ItemIcons());
    m_txtXML = make<RichTextBox>(m_client, "m_txtXML");
    m_WebBrowser = make<WebBrowser>(m_client, "m_WebBrowser");

    PicToolBox = makePanel(m_client, "PicToolBox", QStringLiteral("Toolbox"));
    Toolbox = makeToolBar(PicToolBox, "Toolbox", Qt::ToolButtonTextUnderIcon, Qt::Vertical);
    static_cast<QVBoxLayout*>(PicToolBox->layout())->addStretch();
    ToolbarApply = makeToolBar(m_client, "ToolbarApply", Qt::ToolButtonTextBesideIcon);

    // The window's own status bar, so that panels docked below the views stay above it.
    StatusBar1 = make<StatusPanels>(window, "StatusBar1");
    window->setStatusBar(StatusBar1);
}

void MainForm::fitToDesign() {
    QFont small = m_client->font();
    small.setPointSizeF(qMax(6.0, small.pointSizeF() - 1.5));
    for (QToolBar* bar : {ToolbarView, Toolbox, ToolbarApply})
        bar->setFont(small);
    ToolbarView->setMinimumSize(ToolbarView->sizeHint());
    Toolbox->setMinimumSize(Toolbox->sizeHint());
    m_client->resize(px(10410), px(6270));
    m_window->resize(px(10410), px(6270) + m_window->menuBar()->sizeHint().height());
}

QAction* MainForm::Command(const QString& name) const {
    return m_window->findChild<QAction*>(name);
}

QMenu* MainForm::Menu(const QString& name) const {
    return m_window->findChild<QMenu*>(name);
}

QAction* MainForm::Button(QToolBar* toolbar, const QString& key) const {
    return m_window->findChild<QAction*>(toolbar->objectName() + QLatin1Char('.') + key);
}

// Qt hands the keyboard on when a view holding it hides, but the text view declines to let it go
// (Tab is its own), so keys would go on editing it unseen: the shown view takes it.
void MainForm::showView(int index) {
    const QList<QWidget*> views = {m_wndTree, m_txtXML, m_WebBrowser};
    QWidget* focus = QApplication::focusWidget();
    const bool focusInView = std::any_of(views.begin(), views.end(), [focus](QWidget* view) {
        return focus && (focus == view || view->isAncestorOf(focus));
    });
    for (int i = 0; i < 3; ++i)
        views[i]->setVisible(i == index - 1);
    if (focusInView && !focus->isVisible())
        views[index - 1]->setFocus();
    if (index == 2)
        m_txtXML->setGeometry(m_wndTree->geometry());
}

// While the view's text is still being compared with the Document's (after Apply), the web view's
// file is written by the comparing worker once the text turned out to be the Document's, else when
// the other text is put in. Nothing shows the file before: showing the web view hides the text
// view, which waits for the answer.
DocumentSession::TextView MainForm::sessionView() const {
    RichTextBox* text = m_txtXML;
    return {
        [text] { return text->HasTyping(); },
        [text] { return text->Utf8Text(); },
        [text](const std::function<bool(QByteArrayView)>& read) {
            return text->isVisible() && !text->HasTextSource() && !text->HasTyping() &&
                   text->ReadHeldText(read);
        },
        [web = m_WebBrowser] { return web->isVisible(); },
    };
}

void MainForm::layOut() {
    const int clientWidth = m_client->width() * kTwipsPerPixel;
    const int clientHeight = m_client->height() * kTwipsPerPixel;
    // The status bar is the window's, below the client area.
    constexpr int statusHeight = 0;
    constexpr int toolbar1Height = 360;
    constexpr int treeLeft = 1440, treeTop = 360;
    constexpr int toolBoxWidth = 1215, applyWidth = 1560, applyHeight = 360;
    const QList<QWidget*> views = {m_wndTree, m_txtXML, m_WebBrowser};

    // The bars that align themselves to the window's edges.
    Toolbar1->setGeometry(rectTwips(0, 0, clientWidth, toolbar1Height));
    PicView->setGeometry(rectTwips(120, 360, 1215, 3015));

    // Each step uses what the steps before it set.
    const int applyTop = clientHeight - statusHeight - toolbar1Height;
    ToolbarApply->move(ToolbarApply->x(), px(applyTop));
    const int treeHeight = applyTop - treeTop + 1;
    if (treeHeight < 0)
        return CountLayoutFailure(m_iResizeFailures);
    for (QWidget* view : views)
        view->setGeometry(view->x(), px(treeTop), view->width(), px(treeHeight));
    const int toolBoxLeft = clientWidth - toolBoxWidth - 8;
    PicToolBox->setGeometry(rectTwips(toolBoxLeft, 360, toolBoxWidth, 5535));
    const int treeWidth = toolBoxLeft - treeLeft - 8;
    if (treeWidth < 0)
        return CountLayoutFailure(m_iResizeFailures);
    for (QWidget* view : views)
        view->setGeometry(rectTwips(treeLeft, treeTop, treeWidth, treeHeight));
    // The bar is at least as wide as its caption needs; its right edge meets the tree's.
    const int width = qMax(px(applyWidth), ToolbarApply->sizeHint().width());
    ToolbarApply->setGeometry(px(treeLeft + treeWidth) - width, px(applyTop), width,
                              px(applyHeight));
}
