#pragma once

#include "document/documentsession.h"

#include <QtGlobal>

class QAction;
class QLabel;
class QMenu;
class QMainWindow;
class QToolBar;
class QWidget;
class RichTextBox;
class StatusPanels;
class TreeControl;
class WebBrowser;

// The main window's controls, made and placed as the window was designed, as a form the window
// is built from: the window wires their events and says what they show.
class MainForm {
public:
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
    qint16 m_iResizeFailures = 0;

    // A menu item, context item or toolbar button by its name ("mnuSave", "Toolbar1.Save").
    QAction* Command(const QString& name) const;
    QMenu* Menu(const QString& name) const;
    QAction* Button(QToolBar* toolbar, const QString& key) const;

protected:
    // Makes the controls in `window`'s client area, and its status bar.
    void setupUi(QMainWindow* window);
    // Places the controls for the client area's size; a size that cannot be negative stops the
    // layout where it is needed, and counts as a failure.
    void layOut();
    // The side panels' bars in a small font, at their full size; the client area at its design
    // size, the window around it.
    void fitToDesign();
    // Shows the view `index` (1 tree, 2 text, 3 web) in the others' place.
    void showView(int index);
    // What the document session may know of the text and web views.
    DocumentSession::TextView sessionView() const;

    QMainWindow* m_window = nullptr;
    QWidget* m_client = nullptr;
};
