// The program's windows: New Window, a file already open in another window, the window's place,
// panels and zoom kept between runs.

#include "app/frmmain.h"

#include "platform/ui/windowlink.h"
#include "platform/views/richtextbox.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

void frmMain::StartWindow(const QStringList& arguments) {
    if (!Ui().startWindow(arguments))
        tell(QStringLiteral("A new window could not be started."), MsgIcon::Exclamation);
}

bool frmMain::ShownInOtherWindow(const QString& path) {
    return m_windowLink && m_windowLink->ShowInOtherWindow(path);
}

bool frmMain::BringToFrontIfOpen(const QString& canonicalPath) {
    if (m_strFileName.isEmpty() || QFileInfo(m_strFileName).canonicalFilePath() != canonicalPath)
        return false;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    return true;
}

// Kept on a screen there is now: the one it was left on may be gone or smaller.
void frmMain::restoreWindow() {
    m_windowLink = new WindowLink(
        [this](const QString& path) {
            bool shown = false;
            guarded([&] { shown = BringToFrontIfOpen(path); });
            return shown;
        },
        this);
    const WindowMemory::Placement place = m_windowMemory.Place();
    if (place.geometry.isValid()) {
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens << screen->availableGeometry();
        setGeometry(WindowMemory::KeptOnScreen(place.geometry, screens));
    }
    restoreState(m_windowMemory.Panels());
    if (place.maximised)
        setWindowState(windowState() | Qt::WindowMaximized);
    m_txtXML->zoomTo(m_windowMemory.Zoom());
    connect(m_txtXML, &QsciScintillaBase::SCN_ZOOM, this, [this] {
        m_windowMemory.KeepZoom(int(m_txtXML->SendScintilla(QsciScintillaBase::SCI_GETZOOM)));
    });
}

void frmMain::keepWindow() {
    m_windowMemory.KeepPlace({isMaximized() || isFullScreen() ? normalGeometry() : geometry(),
                              isMaximized()});
    m_windowMemory.KeepPanels(saveState());
}

void frmMain::mnuZoomIn_Click() {
    m_txtXML->zoomIn();
}

void frmMain::mnuZoomOut_Click() {
    m_txtXML->zoomOut();
}

void frmMain::mnuZoomReset_Click() {
    m_txtXML->zoomTo(0);
}
