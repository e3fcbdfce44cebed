#include "document/documentrules.h"

#include <unistd.h>

#include <algorithm>

#include "platform/errors.h"

#include <QDir>
#include <QFile>
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

QString NotAnOpenableFile(const QString& path) {
    const QFileInfo info(path);
    // Reading a pipe, a device or a socket would wait for a writer or never end; a folder has no
    // text to show.
    if (info.exists() && !info.isFile())
        return QStringLiteral("The file %1 cannot be opened: it is not a regular file.").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The system cannot open the file %1: %2")
            .arg(path, file.errorString());
    return {};
}

bool IsReadOnlyFile(const QString& path) {
    const QFileInfo info(path);
    // By its mode, not by access(): the administrator may write any file, but a file marked
    // read-only was marked so for a reason.
    constexpr QFile::Permissions kWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isFile() && !(info.permissions() & kWrite);
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

QString NotWellFormed(const XmlParseError& error) {
    return QStringLiteral("Not well-formed: line %1, column %2: %3")
        .arg(error.line)
        .arg(error.linepos)
        .arg(error.reason.simplified());
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

bool FitsBeside(qint64 textBytes, qint64 heldTextBytes, qint64 resident, qint64 available) {
    // The program with an empty document, its libraries and its window.
    constexpr qint64 kProgramBytes = qint64(300) << 20;
    if (resident < 0 || available < 0)
        return true;
    const double document = double(std::max<qint64>(resident - kProgramBytes, 0));
    const qint64 held = heldTextBytes > 0 ? heldTextBytes : textBytes;
    const double perByte = held > 0 ? document / double(held) : 0;
    // The new document's nodes and the copy of its text it keeps, with a margin for the system.
    const double needed = perByte * double(textBytes) + double(textBytes);
    return needed < 0.85 * double(available);
}

size_t UndoMemoryLimit() {
    static const size_t limit = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGE_SIZE);
        const size_t twoGigabytes = size_t(2) << 30;
        if (pages <= 0 || pageSize <= 0)
            return twoGigabytes;
        return std::min(twoGigabytes, size_t(pages) * size_t(pageSize) / 4);
    }();
    return limit;
}

} // namespace DocumentRules
