#include "app/frmmain.h"
#include "document/documentrules.h"
#include "platform/ui/windowlink.h"
#include "platform/work/asidework.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

namespace {
const char* kUsage =
    "Usage: orvel-xml-editor [FILE]\n"
    "Opens FILE (an XML document) in Orvel XML Editor; without FILE, a new document.\n"
    "\n"
    "When another window of the program has FILE open, that window comes to the front instead.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

bool hasDisplay() {
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("Orvel XML Editor %s\n", ORVEL_VERSION);
            return 0;
        }
    }
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "orvel-xml-editor: no display found (DISPLAY is not set).\n"
                     "Run it on a desktop, or in a virtual display:\n"
                     "  xvfb-run -a %s [FILE]\n",
                     argv[0]);
        return 1;
    }
    // The web view's browser engine refuses to start its sandbox as root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvel-xml-editor"));
    QApplication::setApplicationVersion(QStringLiteral(ORVEL_VERSION));
    // Lets a Wayland desktop match the windows to the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvel.xmleditor"));

    QStringList files = QApplication::arguments().mid(1);
    // A file another window has open is shown there; this process has nothing more to do.
    if (!files.isEmpty() && !files.constFirst().isEmpty() &&
        WindowLink::ShowInAnyWindow(DocumentRules::CommandLinePath(files.constFirst())))
        return 0;
    frmMain window(files);
    window.show();
    const int code = QApplication::exec();
    // A query the Query Analyzer abandoned may still be ending, or a snapshot being freed.
    AsideWork::WaitForAll();
    return code;
}
