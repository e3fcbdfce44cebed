#pragma once

// Real XML files of this machine, a few of each kind, found where Debian puts them: a corpus
// of documents written by others for the tests that walk every node.

#include "platform/xml/xmldocument.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

// Real files of this machine, a few of each kind, found where Debian puts them.
inline QStringList machineFiles() {
    const struct Kind {
        const char* folder;
        const char* pattern;
        int most;
    } kinds[] = {
        {"/usr/share/fontconfig", "*.conf", 6},
        {"/usr/share/icons/hicolor", "*.svg", 4},
        {"/usr/share/icons", "*.svg", 4},
        {"/usr/share/polkit-1/actions", "*.policy", 4},
        {"/usr/share/metainfo", "*.xml", 4},
        {"/usr/share/glib-2.0/schemas", "*.gschema.xml", 4},
        {"/usr/share/mime/packages", "*.xml", 2},
        {"/usr/share/dbus-1", "*.conf", 3},
        {"/usr/share/X11/xkb/rules", "*.xml", 2},
        {"/usr/share/maven-repo", "*.pom", 3},
        {"/usr/share/xml", "*.xml", 4},
        {"/usr/share/doc", "*.xml", 3},
        {"/usr/share/qt6", "*.xml", 3},
        {"/usr/share", "*.svg", 4},
    };
    QStringList found;
    for (const Kind& kind : kinds) {
        QDirIterator it(QString::fromLatin1(kind.folder), {QString::fromLatin1(kind.pattern)},
                        QDir::Files, QDirIterator::Subdirectories);
        int taken = 0;
        while (it.hasNext() && taken < kind.most) {
            const QString path = it.next();
            const qint64 size = QFileInfo(path).size();
            if (found.contains(path) || size > 2'000'000 || size == 0)
                continue;
            XmlDocument doc = XmlDocument::create();
            if (!doc.load(path))
                continue; // not XML as this editor reads it (an external entity, say)
            found << path;
            ++taken;
        }
    }
    return found;
}
