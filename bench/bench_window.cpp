// The real program as the user waits on it: the built executable started as a user starts it, on a
// real X server under a window manager (the one $DISPLAY names, else an Xvfb with openbox started
// here), driven with real key presses and clicks (XTest; text is typed by xdotool). Each time runs
// from the action (the launch, the click) until the window answers input again: the probe presses
// Alt+H once and waits for the Help menu to be on the screen, then closes it. A window that
// dropped the key would never answer: the probe gives up after ten minutes and says so.
//
// Printed against libxml2 parsing the same file in this run (and `xmllint --noout` beside it):
//   start-up on a tiny file, until the window takes input;
//   open from the command line, until the caption names the file and until the window takes input;
//   Apply of 23 characters typed at the end of the text view's text, until it takes input again;
//   then, back in the tree: Save, Undo and Redo of the Apply, Find All, Replace All (until its
//   report shows) and Refresh, each until the window takes input again. A copy of the document
//   is opened, as it is saved over.
//
// Each is the best of TIMES runs (3), printed with all of them.
//
// Usage: bench_window [MEGABYTES=100] [FILE] [TIMES=3]
//   FILE "" generates one. Needs xdotool, and Xvfb and openbox when $DISPLAY is not set.

#include "benchdesktop.h"
#include "benchprocess.h"
#include "documentgenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr int kGiveUpMs = 600'000;

// The screen, once the server is known.
Desktop& desktop() {
    static Desktop d;
    return d;
}

// The windows of `pid` on the screen now.
std::vector<unsigned long> shownWindows(qint64 pid) {
    return desktop().shownWindows(pid);
}

// An X server with a window manager for the program: $DISPLAY's, or one started here.
class Screen {
public:
    bool start() {
        if (qEnvironmentVariableIsSet("DISPLAY"))
            return true;
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return false;
        // The server picks a free display itself and names it: a lock left by a server that died
        // would make a fixed one fail.
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1280x1024x24")});
        if (!m_server.waitForReadyRead(10000))
            return false;
        const QString display = u':' + QString::fromLatin1(m_server.readLine()).trimmed();
        qputenv("DISPLAY", display.toLatin1());
        if (!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
            m_manager.start(QStringLiteral("openbox"), {});
            QThread::msleep(500);
        }
        return m_server.state() == QProcess::Running;
    }
    ~Screen() {
        for (QProcess* p : {&m_manager, &m_server}) {
            p->terminate();
            p->waitForFinished(3000);
        }
    }

private:
    QProcess m_server, m_manager;
};

// The program, started with fresh per-user folders so that no setting of another run applies.
class Program {
public:
    explicit Program(const QString& file) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(name), m_home.filePath(QString::fromLatin1(name)));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_timer.start();
        m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvel-xml-editor"),
                        {file});
        m_process.waitForStarted();
    }
    ~Program() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    qint64 pid() const { return m_process.processId(); }
    double sinceStart() const { return m_timer.nsecsElapsed() / 1e9; }
    // Asked of the system: without an event loop, the process object learns of an end only when
    // it waits for it.
    bool running() { return !m_process.waitForFinished(0) && m_process.state() == QProcess::Running; }

    // Seconds since the launch until a shown window of the program has `caption`.
    double waitForCaption(const QString& caption) {
        while (running() && m_timer.elapsed() < kGiveUpMs) {
            for (unsigned long window : shownWindows(pid())) {
                if (!desktop().caption(window).contains(caption))
                    continue;
                const double seconds = sinceStart();
                m_window = window;
                m_base = windows();
                // Keys go where a user's go, to the window that has the focus.
                desktop().activate(m_window);
                return seconds;
            }
            QThread::msleep(2);
        }
        return -1;
    }
    // The probe: Alt+H until the Help menu shows; then it is closed again. Seconds from `from`,
    // else from the launch.
    double answered() { return answered(m_timer); }
    double answered(const QElapsedTimer& from) {
        // A menu of the command still open (the window has not yet taken the key that closes it)
        // would hide the Help menu's coming: the probe starts once only the window is shown.
        gone(m_base);
        const int before = m_base;
        key(QStringLiteral("alt+h"));
        while (running() && from.elapsed() < kGiveUpMs) {
            if (int(shownWindows(pid()).size()) > before) {
                const double seconds = from.nsecsElapsed() / 1e9;
                key(QStringLiteral("Escape"));
                while (int(shownWindows(pid()).size()) > before)
                    QThread::msleep(5);
                // The menu bar keeps the keyboard after its menu closes: a second Esc leaves it.
                key(QStringLiteral("Escape"));
                QThread::msleep(50);
                return seconds;
            }
            QThread::msleep(2);
        }
        return -1;
    }
    // Seconds from `from` until the program shows more windows than `before` (a message, say).
    double shown(int before, const QElapsedTimer& from) {
        while (running() && from.elapsed() < kGiveUpMs) {
            if (int(shownWindows(pid()).size()) > before)
                return from.nsecsElapsed() / 1e9;
            QThread::msleep(2);
        }
        return -1;
    }
    int windows() const { return int(shownWindows(pid()).size()); }
    // Waits until no more than `count` windows of the program are shown.
    void gone(int count) {
        QElapsedTimer waited;
        waited.start();
        while (running() && windows() > count && waited.elapsed() < kGiveUpMs)
            QThread::msleep(2);
    }
    void key(const QString& keys) { desktop().key(keys); }
    // Typed by xdotool, which knows the keyboard's map for every character; never timed.
    void type(const QString& text) {
        QProcess p;
        p.start(QStringLiteral("xdotool"), {QStringLiteral("type"), text});
        p.waitForFinished(30000);
    }
    // A click at (x, y) from the window's bottom-right corner.
    void clickFromBottomRight(int x, int y) { desktop().clickFromBottomRight(m_window, x, y); }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QElapsedTimer m_timer;
    unsigned long m_window = 0;
    int m_base = 1; // the windows shown while nothing else is open
};

QString captionFor(const QString& file) {
    return QStringLiteral("Orvel XML Editor - ") + QFileInfo(file).fileName();
}

double seconds(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e9;
}

double xmllintNoout(const QString& path) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--huge"), path});
    p.waitForFinished(-1);
    return p.exitCode() == 0 ? seconds(t) : -1;
}

// The best of several runs, and all of them: on a virtual machine the first write to fresh memory
// costs from one to several times as much from one minute to the next, for libxml2 as for the
// editor, so a single run of either says little.
struct Runs {
    QList<double> all;
    void add(double s) {
        all.append(s);
        std::fprintf(stderr, "  %.3f s\n", s); // as it goes, for a run watched
    }
    double best() const {
        double b = -1;
        for (double s : all)
            b = s < 0 ? b : (b < 0 ? s : std::min(b, s));
        return b;
    }
    QString list() const {
        QStringList l;
        for (double s : all)
            l << (s < 0 ? QStringLiteral("-") : QString::number(s, 'f', 2));
        return l.join(QStringLiteral(", "));
    }
};

void print(const char* what, const Runs& runs, double base) {
    const double s = runs.best();
    if (s < 0)
        std::printf("%-44s: did not answer\n", what);
    else if (base > 0)
        std::printf("%-44s: %7.3f s  %5.2fx parse   (runs: %s)\n", what, s, s / base,
                    qPrintable(runs.list()));
    else
        std::printf("%-44s: %7.3f s   (runs: %s)\n", what, s, qPrintable(runs.list()));
    std::fflush(stdout);
}

// What is timed on the large document, in this order, in one window.
enum Step { Caption, Open, ToText, Apply, Save, Undo, Redo, FindAll, ReplaceAll, Refresh, kSteps };
const char* const kStepNames[kSteps] = {
    "open from the command line, caption shown",
    "open from the command line, takes input",
    "first switch to the text view, takes input",
    "Apply of 23 characters typed, takes input",
    "Save (Ctrl+S) after Apply, takes input",
    "Undo of Apply (Ctrl+Z), takes input",
    "Redo (Ctrl+Y), takes input",
    "Find All of a record's name, takes input",
    "Replace All in the tree, its report shown",
    "Refresh (F5) after Replace All, takes input",
};
using LargeRun = std::array<Runs, kSteps>;

// Opens `path` from the command line, switches to the text view, types 23 characters at the end
// and applies them; back in the tree saves, undoes and redoes that, finds all of a name, replaces
// a word of every comment and refreshes.
void runLarge(const QString& path, LargeRun& runs) {
    Program program(path);
    runs[Caption].add(program.waitForCaption(captionFor(path)));
    runs[Open].add(program.answered());
    QElapsedTimer timer;
    const auto menu = [&](const char* keys, const char* item) {
        program.key(QString::fromLatin1(keys));
        QThread::msleep(300);
        program.key(QString::fromLatin1(item));
        timer.start();
    };
    const auto press = [&](const char* keys) {
        program.key(QString::fromLatin1(keys));
        timer.start();
    };
    menu("alt+v", "e"); // View > Text View
    runs[ToText].add(program.answered(timer));
    program.key(QStringLiteral("ctrl+End"));
    program.type(QStringLiteral("<!--abcdefghijklmnop-->"));
    QThread::msleep(500);
    timer.start();
    // The Apply Changes button, below the views' right edge, in the window's first-run layout.
    program.clickFromBottomRight(141, 40);
    runs[Apply].add(program.answered(timer));
    menu("alt+v", "t"); // View > Tree View
    program.answered(timer);
    press("ctrl+s");
    runs[Save].add(program.answered(timer));
    // A click or key gone astray would time a command that did nothing.
    QFile saved(path);
    if (!saved.open(QIODevice::ReadOnly) ||
        !saved.readAll().trimmed().endsWith("<!--abcdefghijklmnop-->")) {
        std::fputs("The saved file does not end with the text applied: the run is not counted.\n",
                   stderr);
        for (int step = 0; step < kSteps; ++step) {
            if (step <= Save)
                runs[step].all.last() = -1;
            else
                runs[step].all.append(-1);
        }
        return;
    }
    press("ctrl+z");
    runs[Undo].add(program.answered(timer));
    press("ctrl+y");
    runs[Redo].add(program.answered(timer));
    // A dialog takes the keys typed once it is on the screen.
    const auto dialog = [&](const char* keys) {
        const int before = program.windows();
        press(keys);
        program.shown(before, timer);
        QThread::msleep(200);
        return before;
    };
    // Edit > Find: the name of a record near the end, Find All.
    const int withoutFind = dialog("ctrl+f");
    program.type(QStringLiteral("Record number 99999"));
    press("alt+a");
    // The dialog closes before the search starts; the probe's key is for the window.
    program.gone(withoutFind);
    runs[FindAll].add(program.answered(timer));
    // Edit > Replace in the tree: a word of every comment, Replace All; the report closed, then
    // the dialog.
    const int before = program.windows();
    dialog("ctrl+h");
    program.type(QStringLiteral("checked"));
    program.key(QStringLiteral("Tab"));
    program.type(QStringLiteral("seen"));
    press("alt+a");
    runs[ReplaceAll].add(program.shown(before + 1, timer));
    program.key(QStringLiteral("Return"));
    QThread::msleep(300);
    program.key(QStringLiteral("Escape"));
    QThread::msleep(300);
    press("F5");
    runs[Refresh].add(program.answered(timer));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        std::fputs("bench_window needs xdotool (apt-get install xdotool)\n", stderr);
        return 1;
    }
    Screen screen;
    if (!screen.start() || !desktop().isOpen()) {
        std::fputs("bench_window needs an X server: set DISPLAY, or install xvfb\n", stderr);
        return 1;
    }
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const int times = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    // Saved over and changed: a copy, never the file given.
    const QString work = dir.filePath(QStringLiteral("work.xml"));
    Runs parse, xmllint;
    for (int i = 0; i < times; ++i) {
        parse.add(InChild<ParseTiming>([&] { return ParseAlone(path); }).seconds);
        xmllint.add(xmllintNoout(path));
    }
    print("libxml2 parse alone", parse, 0);
    print("xmllint --noout", xmllint, 0);
    const double base = parse.best();

    const QString tiny = dir.filePath(QStringLiteral("tiny.xml"));
    {
        QFile f(tiny);
        f.open(QIODevice::WriteOnly);
        f.write("<tiny/>");
    }
    Runs startUp;
    for (int i = 0; i < times; ++i) {
        Program program(tiny);
        if (program.waitForCaption(captionFor(tiny)) < 0)
            break;
        startUp.add(program.answered());
    }
    print("start-up on a tiny file, takes input", startUp, 0);

    LargeRun large;
    for (int i = 0; i < times; ++i) {
        QFile::remove(work);
        QFile::copy(path, work);
        runLarge(work, large);
    }
    for (int step = 0; step < kSteps; ++step)
        print(kStepNames[step], large[step], base);
    return 0;
}
