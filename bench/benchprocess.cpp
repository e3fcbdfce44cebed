#include "benchprocess.h"

#include "documentgenerator.h"

#include <QElapsedTimer>
#include <QFile>

#include <libxml/parser.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

long StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long value = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0)
            value = std::atol(line + n + 1);
    }
    std::fclose(f);
    return value;
}

BenchResult InChild(BenchResult (*body)(void*), void* context) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFd[0]);
        const BenchResult r = body(context);
        (void)!write(pipeFd[1], &r, sizeof r);
        _exit(0);
    }
    close(pipeFd[1]);
    BenchResult r;
    (void)!read(pipeFd[0], &r, sizeof r);
    close(pipeFd[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

BenchResult ParseAlone(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const long before = StatusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    xmlDocPtr doc = xmlReadFile(name.constData(), nullptr, XML_PARSE_NOBLANKS | XML_PARSE_NONET);
    BenchResult r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.peakKb = StatusKb("VmHWM:") - before;
    xmlFreeDoc(doc);
    return r;
}

QString BenchDocument(int argc, char** argv, const QString& dir) {
    if (argc > 2)
        return QString::fromLocal8Bit(argv[2]);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 100;
    const QString path = dir + QStringLiteral("/large.xml");
    std::printf("generating %d MB document...\n", megabytes);
    std::fflush(stdout);
    const qint64 nodes = GenerateDocument(path, megabytes);
    std::printf("  %lld nodes, %.1f MB\n", static_cast<long long>(nodes),
                QFile(path).size() / 1048576.0);
    std::fflush(stdout);
    return path;
}

BenchBaseline StartBench(int argc, char** argv, const QString& dir) {
    BenchBaseline b;
    b.path = BenchDocument(argc, argv, dir);
    b.parse = InChild([&] { return ParseAlone(b.path); });
    std::printf("libxml2 parse alone : %7.3f s  peak +%7.1f MB\n", b.parse.seconds,
                b.parse.peakKb / 1024.0);
    std::fflush(stdout);
    return b;
}
