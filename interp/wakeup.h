// The wake-up event: one auto-reset event with a mask that joins the threads
// and the dialogs to a waiting macro. RpcWait makes it; from then on Pause and
// RpcWait wait on it, and a signal ends their wait early. Macro-dialog events
// whose bits meet the mask and RPC requests signal it, from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tvx::interp {

class WakeUpEvent {
public:
    bool exists() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return exists_;
    }
    void create() {
        std::lock_guard<std::mutex> lock(mutex_);
        exists_ = true;
    }
    uint32_t mask() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return mask_;
    }
    void setMask(uint32_t mask) {
        std::lock_guard<std::mutex> lock(mutex_);
        mask_ = mask;
    }
    // SetEvent: does nothing while the event does not exist.
    void signal() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!exists_) return;
            signalled_ = true;
        }
        changed_.notify_all();
    }
    // Signals when bits meet the mask (new dialog event bits).
    void signalIfMeets(uint32_t bits) {
        if (bits & mask()) signal();
    }
    // Waits at most milliseconds; true when the event was signalled (which
    // resets it). Without the event, a plain sleep that returns false.
    bool wait(double milliseconds) {
        auto until = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(static_cast<int64_t>(milliseconds > 0 ? milliseconds * 1000 : 0));
        std::unique_lock<std::mutex> lock(mutex_);
        if (!exists_) {
            lock.unlock();
            std::this_thread::sleep_until(until);
            return false;
        }
        changed_.wait_until(lock, until, [this] { return signalled_; });
        bool woken = signalled_;
        signalled_ = false;
        return woken;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool exists_ = false;
    bool signalled_ = false;
    uint32_t mask_ = 0;
};

}  // namespace tvx::interp
