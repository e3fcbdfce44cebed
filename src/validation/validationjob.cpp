#include "validation/validationjob.h"

#include "platform/xml/xmlheldcopy.h"
#include "platform/work/asidework.h"

#include <mutex>

namespace {
std::mutex g_hookMutex;
std::function<void(ValidationJob::Stage)> g_stageHook;

void enterStage(std::atomic<ValidationJob::Stage>& stage, ValidationJob::Stage next) {
    stage = next;
    std::function<void(ValidationJob::Stage)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_stageHook;
    }
    if (hook)
        hook(next);
}
} // namespace

void ValidationJob::SetStageHook(std::function<void(Stage)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_stageHook = std::move(hook);
}

ValidationJob::ValidationJob(const XmlDocument& document, std::function<void()> finished)
    : m_outcome(std::move(finished)), m_stamp(document) {}

std::shared_ptr<ValidationJob> ValidationJob::Start(const XmlDocument& document,
                                                    const XmlValidationRequest& request,
                                                    std::function<void()> finished) {
    auto job = std::make_shared<ValidationJob>(document, std::move(finished));
    // Held from here: the copy is the Document as it is now, whenever the worker takes it.
    auto held = std::make_shared<XmlHeldCopy>(document);
    AsideWork::Start(
        [job, held = std::move(held), request]() mutable { job->run(std::move(held), request); });
    return job;
}

void ValidationJob::run(std::shared_ptr<XmlHeldCopy> held, const XmlValidationRequest& request) {
    Result result;
    XmlDocument copy; // freed after the result is handed over: that takes a while
    bool abandoned = false;
    const std::optional<QString> failure = FailureOf([&] {
        enterStage(m_stage, Stage::Copying);
        // Dropping the held copy unused lets changes go on.
        if ((abandoned = m_outcome.Abandoned()))
            return;
        copy = held->take(XmlHeldCopy::Copy::Quick);
        held.reset();
        enterStage(m_stage, Stage::Validating);
        if ((abandoned = m_outcome.Abandoned()))
            return;
        result.validation = Validate(copy, request);
    });
    if (abandoned)
        return;
    result.failed = failure.has_value();
    result.error = failure.value_or(QString());
    m_outcome.Deliver(std::move(result));
}
