#pragma once

#include <QtGlobal>
#include <atomic>

// How far work running on another thread got, and the request to stop it.
struct WorkProgress {
    std::atomic<qint64> done{0}; // in the work's own unit (bytes read, written or looked at)
    std::atomic<bool> stop{false};
};
