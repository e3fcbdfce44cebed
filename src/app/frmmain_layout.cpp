// Placing the controls when the client area changes size. Positions are kept in twips (15 to a
// pixel at 96 dots per inch), as the window was designed.

#include "app/frmmain.h"
#include "platform/ui/layoutfailures.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"

#include <QToolBar>

namespace {
constexpr int kTwipsPerPixel = 15;
int px(int twips) {
    return twips / kTwipsPerPixel;
}
QRect rectTwips(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}
} // namespace

void frmMain::Form_Resize() {
    const int clientWidth = m_client->width() * kTwipsPerPixel;
    const int clientHeight = m_client->height() * kTwipsPerPixel;
    // The status bar is the window's, below the client area.
    constexpr int statusHeight = 0;
    constexpr int toolbar1Height = 360;
    constexpr int treeLeft = 1440, treeTop = 360;
    constexpr int toolBoxWidth = 1215, applyWidth = 1560, applyHeight = 360;

    // The bars that align themselves to the window's edges.
    Toolbar1->setGeometry(rectTwips(0, 0, clientWidth, toolbar1Height));
    PicView->setGeometry(rectTwips(120, 360, 1215, 3015));

    // Each step uses what the steps before it set; a size that cannot be negative stops the
    // layout there.
    bool failed = false;
    const int applyTop = clientHeight - statusHeight - toolbar1Height;
    ToolbarApply->move(ToolbarApply->x(), px(applyTop));
    const int treeHeight = applyTop - treeTop + 1;
    if (treeHeight < 0) {
        failed = true;
    } else {
        for (QWidget* view : {static_cast<QWidget*>(m_wndTree), static_cast<QWidget*>(m_txtXML),
                              static_cast<QWidget*>(m_WebBrowser)})
            view->setGeometry(view->x(), px(treeTop), view->width(), px(treeHeight));
        const int toolBoxLeft = clientWidth - toolBoxWidth - 8;
        PicToolBox->setGeometry(rectTwips(toolBoxLeft, 360, toolBoxWidth, 5535));
        const int treeWidth = toolBoxLeft - treeLeft - 8;
        if (treeWidth < 0) {
            failed = true;
        } else {
            for (QWidget* view : {static_cast<QWidget*>(m_wndTree), static_cast<QWidget*>(m_txtXML),
                                  static_cast<QWidget*>(m_WebBrowser)})
                view->setGeometry(rectTwips(treeLeft, treeTop, treeWidth, treeHeight));
            // The bar is at least as wide as its caption needs; its right edge meets the tree's.
            const int width = qMax(px(applyWidth), ToolbarApply->sizeHint().width());
            ToolbarApply->setGeometry(px(treeLeft + treeWidth) - width, px(applyTop), width,
                                      px(applyHeight));
        }
    }
    if (!failed)
        return;
    CountLayoutFailure(m_iResizeFailures);
}
