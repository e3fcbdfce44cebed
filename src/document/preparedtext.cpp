#include "document/preparedtext.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlheldcopy.h"
#include "platform/work/asidework.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {
std::function<void(PreparedText::Stage)> s_stageHook;
} // namespace

struct PreparedText::State {
    std::mutex mutex;
    std::condition_variable done;
    bool ready = false;
    // Past telling that it is ready: the worker touches nothing of the caller's any more.
    bool finished = false;
    Pieces pieces;
    std::exception_ptr error;
    bool matched = false;
    // Readers of the shown text, run on the worker once the text matched it; once `readersTaken`,
    // a reader runs where it is given.
    QByteArrayView shown;
    std::vector<ShownReader> readers;
    bool readersTaken = false;
    // Nobody waits for the text any more: the worker stops at its next piece.
    std::atomic<bool> abandoned{false};
};

namespace {

// Gathers the text in pieces; against a shown text, only from the first difference on (the shown
// text up to there becomes the first piece).
class PieceCollector {
public:
    explicit PieceCollector(QByteArrayView shown, bool comparing)
        : m_shown(shown), m_differs(!comparing) {}
    void add(const char* data, int len) {
        if (!m_differs) {
            if (len <= m_shown.size() - m_at &&
                std::memcmp(m_shown.data() + m_at, data, size_t(len)) == 0) {
                m_at += len;
                return;
            }
            differ();
        }
        m_pieces.append(QByteArray(data, len));
    }
    // After the whole text: a shown text longer than it differs too.
    void finish() {
        if (!m_differs && m_at != m_shown.size())
            differ();
    }
    bool matched() const { return !m_differs; }
    PreparedText::Pieces take() { return std::move(m_pieces); }

private:
    void differ() {
        m_differs = true;
        if (m_at > 0)
            m_pieces.append(QByteArray(m_shown.data(), m_at));
    }
    QByteArrayView m_shown;
    qsizetype m_at = 0;
    bool m_differs;
    PreparedText::Pieces m_pieces;
};

} // namespace

std::shared_ptr<PreparedText> PreparedText::Start(const XmlDocument& document) {
    return start(document, {}, false, {});
}

std::shared_ptr<PreparedText> PreparedText::StartUnlessShown(const XmlDocument& document,
                                                             QByteArrayView shown,
                                                             std::function<void()> onReady) {
    return start(document, shown, true, std::move(onReady));
}

std::shared_ptr<PreparedText> PreparedText::start(const XmlDocument& document, QByteArrayView shown,
                                                  bool comparing, std::function<void()> onReady) {
    auto state = std::make_shared<State>();
    state->shown = shown;
    auto held = std::make_shared<XmlHeldCopy>(document);
    AsideWork::Start([state, held, shown, comparing, onReady = std::move(onReady),
                           hook = s_stageHook]() mutable {
        PieceCollector collector(shown, comparing);
        std::exception_ptr error;
        try {
            if (hook)
                hook(Stage::Copying);
            // The text exactly as Save writes it (line ends and all), in UTF-8.
            const auto sink = [&](const char* data, int len) {
                if (state->abandoned.load())
                    return false;
                collector.add(data, len);
                return true;
            };
            // Most documents are written straight from the Document, changes waiting meanwhile;
            // the others from a copy, so that the Document is not changed for the time of writing
            // while the window reads it.
            if (!held->writeInPlace(sink)) {
                const XmlDocument copy = held->take();
                held.reset();
                if (hook)
                    hook(Stage::Writing);
                copy.writeXml(sink);
            }
            held.reset();
            if (state->abandoned.load())
                throw XmlError(QStringLiteral("The text was not needed any more."));
            collector.finish();
        } catch (...) {
            error = std::current_exception();
        }
        std::vector<ShownReader> readers;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            readers = std::move(state->readers);
            state->readersTaken = true;
        }
        if (!error && collector.matched() && !state->abandoned.load()) {
            for (const ShownReader& read : readers)
                read(shown);
        }
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (!error)
                state->pieces = collector.take();
            state->matched = !error && collector.matched();
            state->error = error;
            state->ready = true;
            state->done.notify_all();
        }
        if (onReady)
            onReady();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->finished = true;
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

bool PreparedText::Matched() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->matched;
}

void PreparedText::ThenReadShown(ShownReader read) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    if (!m_state->readersTaken) {
        m_state->readers.push_back(std::move(read));
        return;
    }
    m_state->done.wait(lock, [this] { return m_state->ready; });
    if (m_state->matched && !m_state->abandoned.load()) {
        lock.unlock();
        read(m_state->shown);
    }
}

void PreparedText::Abandon() {
    m_state->abandoned.store(true);
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->done.wait(lock, [this] { return m_state->finished; });
}

void PreparedText::SetStageHook(std::function<void(Stage)> hook) {
    s_stageHook = std::move(hook);
}
