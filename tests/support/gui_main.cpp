#include "support/recoverychild.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // The web view's browser engine refuses to start its sandbox as root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Per-user data and cache of this run only: no recovery copy of another run is offered.
    // A child started by a test shares its parent's.
    QTemporaryDir home;
    if (!IsRecoveryChild(argc, argv)) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        // The windows' sockets too: a program running beside the tests is not asked.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    }
    QApplication app(argc, argv);
    if (IsRecoveryChild(argc, argv))
        return RunRecoveryChild(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
