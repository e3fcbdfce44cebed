#include "benchdesktop.h"

#include <QStringList>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A window's property as bytes; empty when it has none.
QByteArray property(Display* display, Window window, Atom name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QByteArray bytes;
    if (XGetWindowProperty(display, window, name, 0, 1 << 16, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data) {
        // 32-bit items come as longs.
        const int item = format == 32 ? int(sizeof(long)) : format / 8;
        bytes = QByteArray(reinterpret_cast<const char*>(data), int(count) * item);
        XFree(data);
    }
    return bytes;
}

// Any X error (a window gone between the listing and the look) is left for the caller to notice
// as a window without properties.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

KeySym keySym(const QString& name) {
    const QString lower = name.toLower();
    if (lower == QLatin1String("alt"))
        return XK_Alt_L;
    if (lower == QLatin1String("ctrl"))
        return XK_Control_L;
    if (lower == QLatin1String("shift"))
        return XK_Shift_L;
    return XStringToKeysym(name.toLatin1().constData());
}

} // namespace

Desktop::Desktop() {
    m_display = XOpenDisplay(nullptr);
    XSetErrorHandler(ignoreErrors);
}

Desktop::~Desktop() {
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long Desktop::atom(const char* name) {
    return XInternAtom(m_display, name, False);
}

void Desktop::collect(unsigned long window, qint64 pid, std::vector<unsigned long>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        const Window child = children[i];
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(m_display, child, &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        const QByteArray owner = property(m_display, child, atom("_NET_WM_PID"), XA_CARDINAL);
        if (owner.size() >= int(sizeof(long)) &&
            *reinterpret_cast<const long*>(owner.constData()) == pid)
            out.push_back(child);
        collect(child, pid, out); // a window manager's frames hold the program's windows
    }
    if (children)
        XFree(children);
}

std::vector<unsigned long> Desktop::shownWindows(qint64 pid) {
    std::vector<unsigned long> out;
    collect(DefaultRootWindow(m_display), pid, out);
    return out;
}

QString Desktop::caption(unsigned long window) {
    const QByteArray name = property(m_display, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
    return name.isEmpty() ? QString::fromLatin1(property(m_display, window, XA_WM_NAME, XA_STRING))
                          : QString::fromUtf8(name);
}

void Desktop::activate(unsigned long window) {
    const Window root = DefaultRootWindow(m_display);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // asked for by the user's own tool, as a pager asks
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_display);
    for (int i = 0; i < 2000; ++i) {
        const QByteArray active = property(m_display, root, atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
        if (active.size() >= int(sizeof(long)) &&
            *reinterpret_cast<const unsigned long*>(active.constData()) == window)
            return;
        QThread::msleep(1);
    }
}

void Desktop::key(const QString& keys) {
    std::vector<KeyCode> codes;
    for (const QString& name : keys.split(u'+'))
        codes.push_back(XKeysymToKeycode(m_display, keySym(name)));
    for (KeyCode code : codes)
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        XTestFakeKeyEvent(m_display, *it, False, CurrentTime);
    XSync(m_display, False);
}

void Desktop::clickFromBottomRight(unsigned long window, int x, int y) {
    XWindowAttributes attributes;
    Window child = 0;
    int left = 0, top = 0;
    if (!XGetWindowAttributes(m_display, window, &attributes) ||
        !XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &left, &top,
                               &child))
        return;
    XTestFakeMotionEvent(m_display, -1, left + attributes.width - x, top + attributes.height - y,
                         CurrentTime);
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    XSync(m_display, False);
}
