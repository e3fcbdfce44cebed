#pragma once

// Small helpers the XML layer's tests share: text conversions, a parse that must succeed, and
// whole-file reads and writes.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"

#include <QFile>
#include <gtest/gtest.h>

namespace xmltesting {

inline std::string str(const QString& s) {
    return s.toStdString();
}
inline QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline XmlDocument parsed(const QString& text) {
    XmlDocument doc = XmlDocument::create();
    EXPECT_TRUE(doc.loadXML(text)) << str(text) << ": " << str(doc.parseError().reason);
    return doc;
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << str(path);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The document must be unchanged after `change` throws `message`.
template <typename Change>
void expectRefused(XmlDocument& doc, const char* message, Change change) {
    const QString before = doc.xml();
    try {
        change();
        ADD_FAILURE() << "not refused: " << message;
    } catch (const XmlError& e) {
        EXPECT_EQ(str(e.description()), message);
    }
    EXPECT_EQ(str(doc.xml()), str(before));
}

} // namespace xmltesting
