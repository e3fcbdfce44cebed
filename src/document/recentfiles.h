#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

// The files opened or saved lately, most recent first, at most ten, kept in the user's settings
// so that they outlive the run.
class RecentFiles {
public:
    static constexpr int kMost = 10;
    // Reads and writes `settings` (the program's own, or a test's).
    explicit RecentFiles(QSettings& settings) : m_settings(settings) {}

    QStringList Files() const;
    // `path` (made absolute) goes first; the oldest beyond ten go.
    void Add(const QString& path);
    void Remove(const QString& path);
    void Clear();

    // The menu's caption for the file at `index` (from 0): "&1 name" to "1&0 name", the access
    // keys 1 to 9 and 0.
    static QString Caption(int index, const QString& path);

private:
    void store(const QStringList& files);

    QSettings& m_settings;
};
