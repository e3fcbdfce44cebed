#include "support/recoverychild.h"

#include "document/recovery.h"
#include "platform/xml/xmldocument.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstring>

bool IsRecoveryChild(int argc, char** argv) {
    return argc == 4 && std::strcmp(argv[1], "--recovery-child") == 0;
}

int RunRecoveryChild(int, char** argv) {
    Recovery recovery;
    XmlDocument document = XmlDocument::create();
    document.loadXML(QString::fromUtf8(argv[3]));
    recovery.writeDocument(document, QString::fromUtf8(argv[2]), {});
    recovery.waitForCopy();
    std::puts(recovery.hasCopy() ? "ready" : "failed");
    std::fflush(stdout);
    QThread::sleep(120);
    return 0;
}

qint64 StartRecoveryChild(const QString& fileName, const QString& text, bool killed) {
    // Owned by the application object: a child left running dies with the test at the latest.
    auto* child = new QProcess(QCoreApplication::instance());
    child->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--recovery-child"), fileName, text});
    if (!child->waitForReadyRead(30000) || !child->readAll().startsWith("ready"))
        return 0;
    const qint64 pid = child->processId();
    if (killed) {
        child->kill();
        child->waitForFinished();
    }
    return pid;
}
