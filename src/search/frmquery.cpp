// The Query Analyzer window: its controls, keys, layout and closing. Positions are in twips
// (15 to a pixel at 96 dots per inch), as the window was designed.

#include "search/frmquery.h"

#include "platform/ui/layoutfailures.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"
#include "platform/work/asidework.h"
#include "search/queryjob.h"
#include "tree/itemicons.h"
#include "tree/treebuilder.h"
#include "platform/ui/themedicon.h"
#include "platform/ui/themedicon.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <QWindow>

namespace {
constexpr int kTwipsPerPixel = 15;
int px(int twips) {
    return twips / kTwipsPerPixel;
}
int twips(int pixels) {
    return pixels * kTwipsPerPixel;
}
void placeTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}
const QString kGoCaption = QStringLiteral("Go !   ");
const QString kGoTip = QStringLiteral("Execute Query ! (F5)");
} // namespace

const QString frmQuery::kResultsImage = QStringLiteral("QueryResults");

frmQuery::frmQuery(QWidget* owner, int maxTextLength)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_maxTextLength(maxTextLength) {
    setObjectName(QStringLiteral("frmQuery"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Query Analyzer"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/toolbar/query.svg")));
    buildControls();
    resize(px(4665), px(4605));
    if (owner) {
        move(owner->geometry().center() - rect().center());
        // Owned by the main window, which the window manager then keeps behind it: Qt says so to
        // the window system for a window of the dialog type only (modeless all the same).
        create();
        if (QWindow* ownerWindow = owner->window()->windowHandle())
            windowHandle()->setTransientParent(ownerWindow);
    }
    m_objSource = XmlDocument::create();
}

frmQuery::~frmQuery() {
    if (m_job)
        m_job->Abandon();
    releaseResults();
    AsideWork::Release(std::move(m_objSource));
}

void frmQuery::buildControls() {
    Label2 = new QLabel(QStringLiteral("Query Text:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    placeTwips(Label2, 120, 120, 1695, 240);

    txtQuery = new QLineEdit(this);
    txtQuery->setObjectName(QStringLiteral("txtQuery"));
    placeTwips(txtQuery, 120, 360, 4455, 285);
    txtQuery->installEventFilter(this);

    Frame2 = new QGroupBox(QStringLiteral("Query Type: "), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    placeTwips(Frame2, 120, 720, 2175, 1095);
    optSingle = new QRadioButton(QStringLiteral("Select Single Node"), Frame2);
    optSingle->setObjectName(QStringLiteral("optSingle"));
    placeTwips(optSingle, 240, 240, 1815, 375);
    optSingle->setChecked(true);
    optList = new QRadioButton(QStringLiteral("Select Nodes (List)"), Frame2);
    optList->setObjectName(QStringLiteral("optList"));
    placeTwips(optList, 240, 600, 1815, 375);
    // The captions keep their whole text where the font is wider than the design's.
    const int optionWidth = qMax(optSingle->sizeHint().width(), optList->sizeHint().width());
    for (QRadioButton* option : {optSingle, optList})
        option->resize(qMax(option->width(), optionWidth), option->height());
    Frame2->resize(qMax(Frame2->width(), optSingle->x() + optSingle->width() + 8),
                   Frame2->height());

    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Toolbar1->setIconSize(QSize(16, 16));
    QAction* play =
        Toolbar1->addAction(ThemedIcon(QStringLiteral(":/icons/toolbar/play.svg")), kGoCaption);
    play->setObjectName(QStringLiteral("Toolbar1.Play"));
    play->setProperty("key", QStringLiteral("Play"));
    play->setToolTip(kGoTip);
    connect(play, &QAction::triggered, this,
            [this] { Toolbar1_ButtonClick(QStringLiteral("Play")); });
    Toolbar1->setGeometry(px(3720), px(840), qMax(px(855), Toolbar1->sizeHint().width()), px(360));

    m_wndTree = new TreeControl(this);
    m_wndTree->setObjectName(QStringLiteral("m_wndTree"));
    QHash<QString, QIcon> images = ModGeneral::ItemIcons();
    images.insert(kResultsImage, ThemedIcon(QStringLiteral(":/icons/items/queryresults.svg")));
    m_wndTree->SetImageList(images);
    placeTwips(m_wndTree, 120, 1920, 4455, 1935);
    connect(m_wndTree, &TreeControl::DblClick, this, [this] { chooseResult(); });
    connect(m_wndTree, &TreeControl::KeyDown, this, [this](int key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            chooseResult();
    });
    connect(m_wndTree, &TreeControl::MouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint& point) {
                m_wndTree_MouseDown(button, point);
            });

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::HLine);
    Frame1->setFrameShadow(QFrame::Sunken);
    placeTwips(Frame1, 120, 3960, 4455, 135);

    lblRunning = new QLabel(QStringLiteral("Running the query..."), this);
    lblRunning->setObjectName(QStringLiteral("lblRunning"));
    placeTwips(lblRunning, 120, 4200, 3240, 350);
    lblRunning->hide();

    cmdCancel = new QPushButton(QStringLiteral("&Close"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    placeTwips(cmdCancel, 3480, 4200, 1095, 350);
    connect(cmdCancel, &QPushButton::clicked, this, &frmQuery::cmdCancel_Click);

    mnuPopup = new QMenu(QStringLiteral("popup"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    QAction* expandAll = mnuPopup->addAction(QStringLiteral("Expand &All"));
    expandAll->setObjectName(QStringLiteral("mnuExpandAll"));
    connect(expandAll, &QAction::triggered, this, &frmQuery::mnuExpandAll_Click);
}

// ---- keys and mouse --------------------------------------------------------------------------

bool frmQuery::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtQuery && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F5) {
            runQuery();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmQuery::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F5) {
        runQuery();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        cmdCancel_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmQuery::m_wndTree_MouseDown(Qt::MouseButton button, const QPoint& point) {
    if (button != Qt::RightButton)
        return;
    const TreeModel::ItemId item = m_wndTree->HitTest(point);
    if (item == TreeModel::NoItem)
        return;
    if (m_wndTree->SelectedItem() != item)
        m_wndTree->SetSelectedItem(item);
    mnuPopup->popup(m_wndTree->viewport()->mapToGlobal(point));
}

void frmQuery::mnuExpandAll_Click() {
    try {
        TreeModel& nodes = m_wndTree->Nodes();
        std::vector<TreeModel::ItemId> stack;
        if (m_wndTree->SelectedItem() != TreeModel::NoItem)
            stack.push_back(m_wndTree->SelectedItem());
        while (!stack.empty()) {
            const TreeModel::ItemId current = stack.back();
            stack.pop_back();
            m_wndTree->SetExpanded(current, true);
            for (auto c = nodes.LastChild(current); c != TreeModel::NoItem; c = nodes.Previous(c))
                stack.push_back(c);
        }
    } catch (const std::exception& e) {
        MsgBox(QString::fromLocal8Bit(e.what()), MsgButtons::OKOnly, MsgIcon::Critical,
               DocumentRules::kAppTitle);
    }
}

// ---- closing ---------------------------------------------------------------------------------

void frmQuery::cmdCancel_Click() {
    close();
}

void frmQuery::closeEvent(QCloseEvent* event) {
    StopQuery();
    event->accept();
}

void frmQuery::releaseResults() {
    // The items and the list behind them hold the snapshot's nodes: they go first, so that the
    // snapshot itself is freed by the background thread.
    m_wndTree->Nodes().Clear();
    m_wndTree->Nodes().SetChildLoader(nullptr);
    AsideWork::Release(std::move(m_shownSource));
}

// ---- layout ----------------------------------------------------------------------------------

void frmQuery::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmQuery::Form_Resize() {
    const int w = twips(width());
    const int h = twips(height());
    // Each step uses what the steps before it set; a width or height that would be negative
    // stops the layout there.
    const bool failed = [&] {
        const int wide = w - 180;
        if (wide < 0)
            return true;
        m_wndTree->resize(px(wide), m_wndTree->height());
        txtQuery->resize(px(wide), txtQuery->height());
        Frame1->resize(px(wide), Frame1->height());
        const int right = twips(Frame1->x()) + wide;
        cmdCancel->move(px(right - twips(cmdCancel->width())), cmdCancel->y());
        Toolbar1->move(px(right - twips(Toolbar1->width())), Toolbar1->y());
        Frame1->move(Frame1->x(), px(h - 600));
        cmdCancel->move(cmdCancel->x(), px(h - 400));
        lblRunning->move(lblRunning->x(), px(h - 400));
        const int treeHeight = h - 600 - 10 - twips(m_wndTree->y());
        if (treeHeight < 0)
            return true;
        m_wndTree->resize(m_wndTree->width(), px(treeHeight));
        return false;
    }();
    if (!failed)
        return;
    CountLayoutFailure(m_iResizeFailures);
}
