#pragma once

#include "platform/errors.h"
#include "platform/work/asidework.h"

#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <utility>

// Runs a worker's `work`; what it failed with, described for the user, or nothing.
template <typename F> std::optional<QString> FailureOf(F&& work) {
    try {
        work();
    } catch (const DescribedError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }
    return std::nullopt;
}

// The hand-over of a worker's result to the user-interface thread, which may give up waiting for
// it at any time. The worker delivers; the one told is called on the worker once the result is
// there, never after Abandon has returned, and must only post a message. What nobody wants any
// more is released off the user-interface thread.
template <typename Result> class JobOutcome {
public:
    explicit JobOutcome(std::function<void()> finished) : m_finished(std::move(finished)) {}

    // On the worker.
    void Deliver(Result result) {
        Result dropped; // released here, after the lock, when nobody wants it any more
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned) {
            dropped = std::move(result);
            return;
        }
        m_result = std::move(result);
        // Told under the lock: once Abandon has returned, the one told is never called again.
        if (m_finished)
            m_finished();
        m_finished = nullptr;
    }
    // The result, once; nothing when abandoned or not delivered yet.
    std::optional<Result> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned || !m_result)
            return std::nullopt;
        m_abandoned = true; // taken once
        return std::exchange(m_result, std::nullopt);
    }
    // False when it had been abandoned (or taken) already.
    bool Abandon() {
        std::optional<Result> left;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_abandoned)
                return false;
            m_abandoned = true;
            left = std::exchange(m_result, std::nullopt);
            m_finished = nullptr;
        }
        if (left)
            AsideWork::Release(std::move(left));
        return true;
    }
    bool Abandoned() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_abandoned;
    }

private:
    mutable std::mutex m_mutex;
    bool m_abandoned = false;
    std::optional<Result> m_result;
    std::function<void()> m_finished;
};
