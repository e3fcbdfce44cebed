#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The program's windows are processes of their own. Each listens on a socket of its own in the
// user's runtime folder (no one else can reach it), so that a window about to open a file can
// first ask the others whether one of them has it open: that one comes to the front instead.
class WindowLink : public QObject {
    Q_OBJECT
public:
    // How long the others have, all together, to answer; a window that is busy longer than that
    // (a long parse) is taken not to have the file.
    static constexpr int kAnswerWait = 1000;

    // `showIfOpen` is asked with a file's canonical path when another window is about to open
    // it: it brings its window to the front and answers true when its document is that file.
    explicit WindowLink(std::function<bool(const QString&)> showIfOpen, QObject* parent = nullptr);
    ~WindowLink() override;

    // True when another window of the program has `path` open and came to the front.
    bool ShowInOtherWindow(const QString& path, int wait = kAnswerWait) const;
    // The same, asked before this process has a window of its own.
    static bool ShowInAnyWindow(const QString& path, int wait = kAnswerWait);
    // Where the windows' sockets are.
    static QString Folder();

private:
    static bool ask(const QString& path, const QString& except, int wait);
    void answer(QLocalSocket* socket);

    std::function<bool(const QString&)> m_showIfOpen;
    QLocalServer* m_server = nullptr;
};
