#pragma once

#include <QString>

// A program that keeps a recovery copy of unsaved work and is then killed: the test binary
// started again with `--recovery-child FILE TEXT`. It writes the copy of a document holding TEXT
// under the name FILE, prints "ready" and waits to be killed.
bool IsRecoveryChild(int argc, char** argv);
int RunRecoveryChild(int argc, char** argv);
// Starts the child and waits until its copy is written; returns its process id (0 on failure).
// `killed`: kill it with SIGKILL before returning, as a crash would end it.
qint64 StartRecoveryChild(const QString& fileName, const QString& text, bool killed);
