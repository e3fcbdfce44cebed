#include "validation/validationrun.h"

#include "platform/ui/longoperation.h"
#include "validation/validationjob.h"
#include "validation/validationpanel.h"

#include <QPointer>

namespace {
QString outcomeText(const XmlValidationResult& result) {
    if (result.against == XmlValidationResult::Against::Nothing)
        return QStringLiteral("No schema or document type declaration to validate against.");
    if (!result.schemaLoaded)
        return QStringLiteral("The schema could not be loaded.");
    if (result.errors == 0)
        return QStringLiteral("The document is valid.");
    return result.errors == 1 ? QStringLiteral("1 validation error")
                              : QStringLiteral("%1 validation errors").arg(result.errors);
}
} // namespace

ValidationRun::ValidationRun(const XmlDocument& document, ValidationPanel& panel,
                             ProgressDisplay& status, QObject* parent)
    : QObject(parent), m_document(document), m_panel(panel), m_status(status) {}

ValidationRun::~ValidationRun() {
    if (m_job)
        m_job->Abandon();
}

void ValidationRun::Start(const QString& schema, const QString& documentFile) {
    abandon();
    if (m_document.isNull()) {
        m_panel.ShowNote(
            QStringLiteral(
                "The text is not well-formed XML: apply text that parses to validate it."),
            true);
        m_status.ShowStatus(QStringLiteral("The document is not well-formed."));
        return;
    }
    XmlValidationRequest request;
    request.schemaFile = schema;
    request.documentFile = documentFile;
    m_panel.ShowRunning();
    m_status.ShowProgress(QStringLiteral("Validating"), -1);
    QPointer<ValidationRun> self(this);
    m_job = ValidationJob::Start(m_document, request, [self] {
        QMetaObject::invokeMethod(
            self.data(), [self] { self->take(); }, Qt::QueuedConnection);
    });
    emit runningChanged(true);
}

void ValidationRun::take() {
    const std::shared_ptr<ValidationJob> job = m_job;
    std::optional<ValidationJob::Result> result = job ? job->Take() : std::nullopt;
    if (!result)
        return;
    m_job.reset();
    emit runningChanged(false);
    if (result->failed) {
        m_panel.ShowNote(
            QStringLiteral("The validation could not be completed: %1").arg(result->error), true);
        m_status.ShowStatus(QStringLiteral("The validation could not be completed."));
        return;
    }
    XmlValidationResult& validation = result->validation;
    // The rows follow their nodes in the Document, as long as it is the one validated; it knows
    // the lines past 65535 that the copy does not.
    if (job->stamp().isCurrentFor(m_document))
        TieToDocument(m_document, validation.issues);
    if (validation.against == XmlValidationResult::Against::Nothing)
        m_panel.ShowNote(outcomeText(validation), false);
    else
        m_panel.ShowResult(validation, job->stamp());
    m_outcome = outcomeText(validation);
    m_status.ShowStatus(m_outcome);
    UpdateStale();
}

void ValidationRun::Cancel() {
    if (!m_job)
        return;
    abandon();
    m_panel.ShowNote(QStringLiteral("Validation cancelled."), false);
    m_status.ShowStatus(QStringLiteral("Validation cancelled."));
}

void ValidationRun::abandon() {
    if (!m_job)
        return;
    m_job->Abandon();
    m_job.reset();
    m_status.HideProgress();
    emit runningChanged(false);
}

void ValidationRun::Forget() {
    abandon();
    m_panel.Clear();
}

void ValidationRun::UpdateStale() {
    const bool wasStale = m_panel.IsStale();
    m_panel.UpdateStale(m_document);
    // The outcome said in the status bar is no longer the document's.
    if (!wasStale && m_panel.IsStale() && m_status.Status() == m_outcome)
        m_status.HideProgress();
}
