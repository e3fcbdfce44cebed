// XSLT on the Document, and a transform's output as a new document.

#include "document/documentsession.h"

#include "platform/xml/xmlerror.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

// The stylesheet reads the bytes a save would write now (for a Document unchanged since it was
// read, its file's own bytes), as xsltproc reads a file, with the document's file as the base of
// its relative references. The bytes are written aside to a scratch file, read and transformed
// there, with the progress shown and Esc.
std::optional<XmlTransform::Result>
DocumentSession::Transform(const QString& stylesheet,
                           const QList<XmlTransform::Parameter>& parameters) {
    XmlDocument& document = Document();
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw XmlError(QStringLiteral("No scratch folder can be made for the transform."));
    const QString copy = scratch.filePath(QStringLiteral("document.xml"));
    const QString base = m_strFileName.isEmpty() ? copy : QFileInfo(m_strFileName).absoluteFilePath();
    std::optional<XmlTransform::Result> result;
    const bool ran = runAside(
        QStringLiteral("Transforming with %1").arg(QFileInfo(stylesheet).fileName()), 0, true,
        [&](WorkProgress& progress) {
            document.save(copy, XmlDocument::SaveMode::Scratch, &progress);
            QFile file(copy);
            if (!file.open(QIODevice::ReadOnly))
                throw XmlError(QStringLiteral("The document's copy cannot be read: %1")
                                   .arg(file.errorString()));
            const QByteArray bytes = file.readAll();
            file.close();
            QFile::remove(copy);
            result = XmlTransform::Transform(bytes, base, stylesheet, parameters, &progress);
        });
    if (!ran || !result || result->stopped)
        return std::nullopt;
    return result;
}

// The output is a document of its own, in no file yet: the old one's history goes with it.
bool DocumentSession::OpenOutput(const QString& text) {
    New();
    const bool parsed = ApplyText(text.toUtf8());
    MarkChanged();
    return parsed;
}
