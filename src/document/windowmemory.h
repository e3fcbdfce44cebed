#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSettings>
#include <QString>

// What the window keeps of itself between runs in the user's settings: its place and size,
// whether it was maximised, its panels' sizes, the folder of the last Open or Save As and the
// text view's zoom. The view last shown is not among them: the program starts in the tree.
class WindowMemory {
public:
    explicit WindowMemory(QSettings& settings) : m_settings(settings) {}

    struct Placement {
        QRect geometry; // the window's frame when not maximised; empty when never kept
        bool maximised = false;
    };
    Placement Place() const;
    void KeepPlace(const Placement& place);
    QByteArray Panels() const;
    void KeepPanels(const QByteArray& state);
    QString LastFolder() const;
    // The folder of `file`, a file chosen in the Open or Save As dialog.
    void KeepFolderOf(const QString& file);
    int Zoom() const;
    // Within what the text view allows (-10 to 20 points more or less).
    void KeepZoom(int zoom);
    static int LimitZoom(int zoom) { return qBound(-10, zoom, 20); }

    // `kept` moved, and shrunk when it must, so that it lies on one of `screens` (their free
    // areas): on the screen it overlaps most, else the first. A window kept on a screen that is
    // gone, or larger than the screen now, would otherwise open out of reach.
    static QRect KeptOnScreen(const QRect& kept, const QList<QRect>& screens);

private:
    QSettings& m_settings;
};
