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
    const QList<QAction*> items = {Command(QStringLiteral("mnuTreeView")), Command(QStringLiteral("mnutextView")),
                                   Command(QStringLiteral("mnuWebView"))};
    for (QAction* a : buttons)
        a->setChecked(false);
    for (QAction* a : items)
        a->setChecked(false);
    QAction* apply = Button(ToolbarApply, QStringLiteral("Apply"));
    switch (index) {
    case 1:
        m_wndTree->setVisible(true);
        m_txtXML->setVisible(false);
        m_WebBrowser->setVisible(false);
        buttons[0]->setChecked(true);
        apply->setEnabled(true);
        items[0]->setChecked(true);
        break;
    case 2:
        m_wndTree->setVisible(false);
        m_txtXML->setVisible(true);
        m_WebBrowser->setVisible(false);
        buttons[1]->setChecked(true);
        m_txtXML->setGeometry(m_wndTree->geometry());
        apply->setEnabled(true);
        items[1]->setChecked(true);
        break;
    case 3:
        m_wndTree->setVisible(false);
        m_txtXML->setVisible(false);
        m_WebBrowser->setVisible(true);
        buttons[2]->setChecked(true);
        apply->setEnabled(false);
        items[2]->setChecked(true);
        break;
    default:
        break;
    }
}

void frmMain::mnuTreeView_Click() { ToolbarView_ButtonClick(1); }
void frmMain::mnutextView_Click() { ToolbarView_ButtonClick(2); }
void frmMain::mnuWebView_Click() { ToolbarView_ButtonClick(3); }
