// Switching between the tree, text and web views.

#include "app/frmmain.h"

#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"

#include <QAction>
#include <QApplication>

#include <QToolBar>
#include <algorithm>

void frmMain::ToolbarView_ButtonClick(int index) {
    // Typing goes into the Document when the text view is left, so that no change is made through
    // the tree, nor the web view shown, while typing waits in a view that does not show it. Text
    // that does not parse keeps the text view, after the report.
    if (index >= 1 && index <= 3 && index != 2 && !m_txtXML->isHidden() && m_txtXML->HasTyping()) {
        ToolbarApply_ButtonClick(QStringLiteral("Apply"));
        if (m_objDocument.isNull())
            index = 2;
    }
    const QList<QAction*> items = {Command(QStringLiteral("mnuTreeView")),
                                   Command(QStringLiteral("mnutextView")),
                                   Command(QStringLiteral("mnuWebView"))};
    for (QAction* a : items)
        a->setChecked(false);
    if (index < 1 || index > 3)
        return;
    if (index == 3)
        m_session.FinishWebFileCopy();
    const QList<QWidget*> views = {m_wndTree, m_txtXML, m_WebBrowser};
    // Qt hands the keyboard on when a view holding it hides, but the text view declines to let it
    // go (Tab is its own), so keys would go on editing it unseen: the shown view takes it.
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
    Button(ToolbarApply, QStringLiteral("Apply"))->setEnabled(index != 3);
    items[index - 1]->setChecked(true);
    ItemCommandsFollowView();
    updateUndoCaptions();
}

void frmMain::mnuTreeView_Click() {
    ToolbarView_ButtonClick(1);
}
void frmMain::mnutextView_Click() {
    ToolbarView_ButtonClick(2);
}
void frmMain::mnuWebView_Click() {
    ToolbarView_ButtonClick(3);
}
