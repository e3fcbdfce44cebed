// Switching between the tree, text and web views.

#include "app/frmmain.h"

#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"

#include <QAction>
#include <QToolBar>

void frmMain::ToolbarView_ButtonClick(int index) {
    const QList<QAction*> buttons = {Button(ToolbarView, QStringLiteral("TreeView")),
                                     Button(ToolbarView, QStringLiteral("TextView")),
                                     Button(ToolbarView, QStringLiteral("WebView"))};
    const QList<QAction*> items = {Command(QStringLiteral("mnuTreeView")),
                                   Command(QStringLiteral("mnutextView")),
                                   Command(QStringLiteral("mnuWebView"))};
    for (QAction* a : buttons)
        a->setChecked(false);
    for (QAction* a : items)
        a->setChecked(false);
    if (index < 1 || index > 3)
        return;
    if (index == 3)
        finishWebFileCopy();
    const QList<QWidget*> views = {m_wndTree, m_txtXML, m_WebBrowser};
    for (int i = 0; i < 3; ++i)
        views[i]->setVisible(i == index - 1);
    buttons[index - 1]->setChecked(true);
    if (index == 2)
        m_txtXML->setGeometry(m_wndTree->geometry());
    Button(ToolbarApply, QStringLiteral("Apply"))->setEnabled(index != 3);
    items[index - 1]->setChecked(true);
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
