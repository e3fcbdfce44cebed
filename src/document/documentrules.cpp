#include "document/documentrules.h"

#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DocumentRules {

QString LastPathPart(const QString& fileName) {
    const qsizetype cut =
        qMax(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    return fileName.mid(cut + 1);
}

QString CaptionFor(const QString& fileName) {
    return kAppTitle + QStringLiteral(" - ") +
           (fileName.isEmpty() ? QStringLiteral("Unknown") : LastPathPart(fileName));
}

bool IsBackupFileName(const QString& chosenName) {
    return LastPathPart(chosenName) == kTempFileName;
}

QString TempFileIn(const QString& directory) {
    QString path = directory + QLatin1Char('/') + kTempFileName;
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

QString TempFileDirectory(const QString& programDirectory) {
    const QFileInfo info(programDirectory);
    if (info.isDir() && info.isWritable())
        return programDirectory;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(cache);
    return cache;
}

QString CommandLinePath(const QString& argument) {
    if (argument.size() >= 2 && argument.startsWith(QLatin1Char('"')) &&
        argument.endsWith(QLatin1Char('"')))
        return argument.mid(1, argument.size() - 2);
    return argument;
}

QString SaveQuestion(const QString& fileName) {
    return QStringLiteral("Do you want to save the changes you made to ") +
           (fileName.isEmpty() ? QStringLiteral("Unknown") : fileName) + QLatin1Char('?');
}

QString ParseErrorReport(const XmlParseError& error) {
    return error.reason + QStringLiteral("\r\n") + QStringLiteral("Source Text:") + error.srcText +
           QStringLiteral("\r\n") + QStringLiteral("Line: ") + QString::number(error.line) +
           QStringLiteral(" Position: ") + QString::number(error.linepos);
}

ErrorReport ReportFor(std::exception_ptr error, const XmlDocument& document) {
    ErrorReport report;
    if (!error)
        return report;
    report.show = true;
    if (!document.isNull() && !document.parseError().reason.isEmpty()) {
        report.parseError = true;
        report.text = ParseErrorReport(document.parseError());
        return report;
    }
    try {
        std::rethrow_exception(error);
    } catch (const MissingObjectError&) {
        report.text =
            QStringLiteral("Unexpected error, it is recommended to refresh the application.");
    } catch (const DescribedError& e) {
        report.text = e.description();
    } catch (const std::bad_alloc&) {
        report.text = QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        report.text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        report.text = QStringLiteral("An unexpected error occurred.");
    }
    return report;
}

} // namespace DocumentRules
