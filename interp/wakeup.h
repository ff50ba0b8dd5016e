// The wake-up event: one auto-reset event with a mask that joins the threads
// and the dialogs to a waiting macro. RpcWait makes it; from then on Pause and
// RpcWait wait on it, and a signal ends their wait early. Macro-dialog events
// whose bits meet the mask and RPC requests signal it, from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
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
        auto until =
            std::chrono::steady_clock::now() +
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

// The pending-text slot: one macro line that another thread (an RPC execute
// request) hands to the interpreter thread. The interpreter's message pump
// executes it between statements and leaves its result code for the thread
// that waits. A new text may be offered as soon as the previous one is taken.
class PendingLine {
public:
    enum class State { Waiting, Running, Done, Gone };

    // Puts text into the slot; returns its ticket, or 0 while another text
    // still waits to be taken.
    uint64_t offer(std::string text) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_) return 0;
        text_ = std::move(text);
        ticket_ = ++lastTicket_;
        waiting_ = true;
        return ticket_;
    }
    // A cheap look from the interpreter thread: is a text waiting?
    bool waiting() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }
    // The interpreter thread takes the waiting text (false: none).
    bool take(std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!waiting_) return false;
        text = std::move(text_);
        text_.clear();
        waiting_ = false;
        running_ = ticket_;
        return true;
    }
    // The interpreter thread has executed the text it took.
    void finish(int result) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        done_[running_] = result;
        running_ = 0;
        // Results nobody came for (a requester that gave up) do not pile up.
        while (done_.size() > 64) done_.erase(done_.begin());
    }
    // Where the ticket's text is; Done hands out (and forgets) its result.
    State poll(uint64_t ticket, int& result) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_ && ticket_ == ticket) return State::Waiting;
        if (running_ == ticket) return State::Running;
        auto it = done_.find(ticket);
        if (it == done_.end()) return State::Gone;
        result = it->second;
        done_.erase(it);
        return State::Done;
    }
    // Takes the ticket's text back if it has not been taken yet.
    bool withdraw(uint64_t ticket) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!waiting_ || ticket_ != ticket) return false;
        waiting_ = false;
        text_.clear();
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
    bool waiting_ = false;
    uint64_t ticket_ = 0;
    uint64_t lastTicket_ = 0;
    uint64_t running_ = 0;
    std::map<uint64_t, int> done_;
};

}  // namespace tvx::interp
