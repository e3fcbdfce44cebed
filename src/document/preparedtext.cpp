#include "document/preparedtext.h"

#include "document/crlfsink.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlheldcopy.h"
#include "search/backgroundrelease.h"

#include <condition_variable>
#include <mutex>

namespace {
std::function<void(PreparedText::Stage)> s_stageHook;
} // namespace

struct PreparedText::State {
    std::mutex mutex;
    std::condition_variable done;
    bool ready = false;
    Pieces pieces;
    std::exception_ptr error;
    // Nobody waits for the text any more: the worker stops at its next piece.
    std::atomic<bool> abandoned{false};
};

std::shared_ptr<PreparedText> PreparedText::Start(const XmlDocument& document) {
    auto state = std::make_shared<State>();
    auto held = std::make_shared<XmlHeldCopy>(document);
    BackgroundWork::Start([state, held, hook = s_stageHook]() mutable {
        Pieces pieces;
        std::exception_ptr error;
        try {
            if (hook)
                hook(Stage::Copying);
            CrLfSink crlf([&](const char* data, int len) {
                if (state->abandoned.load())
                    return false;
                pieces.append(QByteArray(data, len));
                return true;
            });
            // Most documents are written straight from the Document, changes waiting meanwhile;
            // the others from a copy, so that the Document is not changed for the time of writing
            // while the window reads it.
            if (!held->writeInPlace(crlf.asSink())) {
                const XmlDocument copy = held->take();
                held.reset();
                if (hook)
                    hook(Stage::Writing);
                copy.writeXml(crlf.asSink());
            }
            held.reset();
            if (!crlf.finish())
                throw XmlError(QStringLiteral("The text was not needed any more."));
        } catch (...) {
            pieces.clear();
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        state->pieces = std::move(pieces);
        state->error = error;
        state->ready = true;
        state->done.notify_all();
    });
    return std::shared_ptr<PreparedText>(new PreparedText(std::move(state)));
}

PreparedText::~PreparedText() {
    m_state->abandoned.store(true);
}

bool PreparedText::IsReady() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->ready;
}

PreparedText::Pieces PreparedText::Take() {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->done.wait(lock, [this] { return m_state->ready; });
    if (m_state->error)
        std::rethrow_exception(m_state->error);
    return std::move(m_state->pieces);
}

void PreparedText::SetStageHook(std::function<void(Stage)> hook) {
    s_stageHook = std::move(hook);
}
