#pragma once

// What the benchmarks share: resident memory from /proc, a measurement run in a child process
// of its own (so that memory peaks do not mix), and libxml2 parsing a file alone as the baseline.

#include <QString>

struct BenchResult {
    double seconds = 0;
    long peakKb = 0; // peak resident size above the size before the measurement
    long builtItems = 0;
    double extra[4] = {0, 0, 0, 0}; // figures of the benchmark's own
};

long StatusKb(const char* field);
BenchResult InChild(BenchResult (*body)(void*), void* context);
template <typename Body> BenchResult InChild(Body body) {
    return InChild([](void* c) { return (*static_cast<Body*>(c))(); }, &body);
}
BenchResult ParseAlone(const QString& path);
// The file named by argv[2], or a generated document of argv[1] (100) megabytes in `dir`.
QString BenchDocument(int argc, char** argv, const QString& dir);
// The document and the baseline every benchmark compares with: libxml2 parsing it alone, in a
// child process, printed as the first line of the results.
struct BenchBaseline {
    QString path;
    BenchResult parse;
};
BenchBaseline StartBench(int argc, char** argv, const QString& dir);
