// The stop event: auto-reset, initially not signalled. The control handler signals it,
// serviceMain waits for it; the only hand-over between the two threads.
#pragma once

#include <condition_variable>
#include <mutex>

namespace kavrin {

class StopEvent {
public:
    void signal() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }
    // Whether a stop arrived and is not yet consumed; does not consume it.
    bool signalled() {
        std::lock_guard lock(mutex_);
        return signalled_;
    }
    // Waits without a time limit; consumes the signal (auto-reset).
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace kavrin
