#include "platform/ui/windowlink.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <memory>
#include <vector>

namespace {
const QByteArray kShow = "show ";
const QByteArray kYes = "yes\n";
const QByteArray kNo = "no\n";
// A request is one line: a path, which is never this long.
constexpr qint64 kLongestRequest = 64 * 1024;

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

// Unique among the live windows: this process's id, and a count for a process with several.
QString ownName() {
    static int made = 0;
    return QStringLiteral("window-%1-%2").arg(QCoreApplication::applicationPid()).arg(++made);
}
} // namespace

QString WindowLink::Folder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime.isEmpty() ? QDir::tempPath() : runtime)
        .filePath(QStringLiteral("orvel-xml-editor-windows"));
}

WindowLink::WindowLink(std::function<bool(const QString&)> showIfOpen, QObject* parent)
    : QObject(parent), m_showIfOpen(std::move(showIfOpen)) {
    const QString folder = Folder();
    if (!QDir().mkpath(folder))
        return;
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = QDir(folder).filePath(ownName());
    QLocalServer::removeServer(name);
    // Without its socket the window still works; only the others cannot find it.
    if (!m_server->listen(name)) {
        delete m_server;
        m_server = nullptr;
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

WindowLink::~WindowLink() {
    if (m_server)
        m_server->close(); // removes the socket's file
}

void WindowLink::answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLongestRequest)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(kLongestRequest).chopped(1);
    const bool shown = line.startsWith(kShow) &&
                       m_showIfOpen(QString::fromUtf8(line.mid(kShow.size())));
    socket->write(shown ? kYes : kNo);
    socket->disconnectFromServer();
}

bool WindowLink::ShowInOtherWindow(const QString& path, int wait) const {
    return ask(path, m_server ? m_server->fullServerName() : QString(), wait);
}

bool WindowLink::ShowInAnyWindow(const QString& path, int wait) {
    return ask(path, {}, wait);
}

// Every other window is asked at once. The answers are awaited in an event loop of their own, so
// that windows of this very process answer too; the user's input waits meanwhile.
bool WindowLink::ask(const QString& path, const QString& except, int wait) {
    const QString file = canonical(path);
    if (file.isEmpty())
        return false;
    struct Asked {
        std::unique_ptr<QLocalSocket> socket = std::make_unique<QLocalSocket>();
        bool over = false;
    };
    const QDir folder(Folder());
    const QStringList names = folder.entryList({QStringLiteral("window-*")}, QDir::System);
    std::vector<Asked> asked(names.size());
    QEventLoop loop;
    bool shown = false;
    int pending = 0;
    const auto over = [&](Asked& one) {
        if (!std::exchange(one.over, true) && --pending == 0)
            loop.quit();
    };
    for (int i = 0; i < names.size(); ++i) {
        const QString server = folder.filePath(names[i]);
        if (server == except)
            continue;
        Asked& one = asked[i];
        QLocalSocket* socket = one.socket.get();
        ++pending;
        QObject::connect(socket, &QLocalSocket::readyRead, &loop, [&, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kYes) {
                shown = true;
                loop.quit();
            }
            over(one);
        });
        QObject::connect(socket, &QLocalSocket::disconnected, &loop, [&] { over(one); });
        QObject::connect(socket, &QLocalSocket::errorOccurred, &loop,
                         [&, server](QLocalSocket::LocalSocketError error) {
                             // Nobody listens there: a window that ended without tidying up.
                             if (error == QLocalSocket::ConnectionRefusedError ||
                                 error == QLocalSocket::ServerNotFoundError)
                                 QLocalServer::removeServer(server);
                             over(one);
                         });
        socket->connectToServer(server);
        if (socket->state() != QLocalSocket::UnconnectedState)
            socket->write(kShow + file.toUtf8() + '\n');
        else
            over(one);
    }
    if (pending > 0 && !shown) {
        QTimer::singleShot(wait, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    for (Asked& one : asked) {
        one.socket->disconnect(&loop);
        one.socket->abort();
    }
    return shown;
}
