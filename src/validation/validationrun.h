#pragma once

#include "platform/xml/xmldocument.h"

#include <QObject>
#include <QString>
#include <memory>

class ProgressDisplay;
class ValidationJob;
class ValidationPanel;

// The validation of the Document on a worker, shown in the panel and said in the status bar: one
// run at a time, a new one abandoning the last. The rows follow their nodes in the Document as long
// as it is the one validated, and are marked stale once it changed.
class ValidationRun : public QObject {
    Q_OBJECT
public:
    // `document` is the Document as the window has it, followed as it is replaced.
    ValidationRun(const XmlDocument& document, ValidationPanel& panel, ProgressDisplay& status,
                  QObject* parent = nullptr);
    ~ValidationRun() override;

    // Validates the Document against `schema`, else its own schema hints or document type
    // declaration; `documentFile` places relative hints.
    void Start(const QString& schema, const QString& documentFile);
    // The user called the running validation off.
    void Cancel();
    // New and Open: no results, nothing running.
    void Forget();
    // Marks the results stale when the Document changed since they were made.
    void UpdateStale();
    bool Running() const { return m_job != nullptr; }

signals:
    void runningChanged(bool running);

private:
    void take();
    void abandon();

    const XmlDocument& m_document;
    ValidationPanel& m_panel;
    ProgressDisplay& m_status;
    std::shared_ptr<ValidationJob> m_job;
    QString m_outcome; // what the status bar said of the last result
};
