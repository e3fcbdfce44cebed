#pragma once

#include "platform/xml/xmlvalidation.h"
#include "platform/work/joboutcome.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class XmlHeldCopy;

// One validation on a worker thread. The Document is copied there, as it is when the job
// starts; changes to it wait only while the copy is made, and the window goes on meanwhile. An
// abandoned job's result is dropped on the worker: libxml2 cannot be stopped inside a
// validation, so a job abandoned then runs to its end unseen.
class ValidationJob {
public:
    struct Result {
        XmlValidationResult validation;
        bool failed = false;
        QString error; // the description of what failed
    };
    enum class Stage { Copying, Validating };

    // `finished` is called on the worker thread once the result is ready to be taken, never
    // after Abandon has returned; it must only post a message.
    static std::shared_ptr<ValidationJob> Start(const XmlDocument& document,
                                                const XmlValidationRequest& request,
                                                std::function<void()> finished);
    explicit ValidationJob(const XmlDocument& document, std::function<void()> finished);

    std::optional<Result> Take() { return m_outcome.Take(); }
    void Abandon() { m_outcome.Abandon(); }
    Stage stage() const { return m_stage.load(); }
    // The Document and revision validated.
    const XmlDocumentStamp& stamp() const { return m_stamp; }

    // For tests: called on the worker as each stage begins, so a test can hold the worker there.
    static void SetStageHook(std::function<void(Stage)> hook);

private:
    void run(std::shared_ptr<XmlHeldCopy> held, const XmlValidationRequest& request);

    JobOutcome<Result> m_outcome;
    XmlDocumentStamp m_stamp;
    std::atomic<Stage> m_stage{Stage::Copying};
};
