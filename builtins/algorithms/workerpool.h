// The seven worker threads that compute a large Fractal in parts. Each
// interpreter has its own pool, started by the first large matrix and stopped
// when its top-level macro ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "interp/api.h"

namespace tvx::builtins::algorithms {

// Each worker waits on its own event for a part, runs it, clears its busy
// flag and waits again; it ends when its run flag is cleared.
class WorkerPool {
public:
    static constexpr int kWorkers = 7;
    static constexpr int kParts = 8;

    ~WorkerPool() { stop(); }

    void run(int64_t count, const std::function<void(int64_t, int64_t)>& part) {
        std::unique_lock<std::mutex> dispatch(dispatch_, std::try_to_lock);
        if (!dispatch.owns_lock()) {
            part(0, count);  // another thread uses the pool: compute here
            return;
        }
        startWorkers();
        const int64_t g = count / kParts;
        for (int k = 0; k < kParts; ++k) {
            int64_t begin = k * g, end = k == kParts - 1 ? count : begin + g;
            if (!handOut(part, begin, end)) part(begin, end);
        }
        std::unique_lock<std::mutex> lock(doneMutex_);
        done_.wait(lock, [&] {
            for (const auto& w : workers_)
                if (w->busy.load(std::memory_order_acquire)) return false;
            return true;
        });
    }

    void stop() {
        std::lock_guard<std::mutex> dispatch(dispatch_);
        for (auto& w : workers_) {
            {
                std::lock_guard<std::mutex> lock(w->mutex);
                w->running = false;
                w->signalled = true;
            }
            w->event.notify_one();
        }
        for (auto& w : workers_)
            if (w->thread.joinable()) w->thread.join();
        workers_.clear();
    }

    int workerCount() {
        std::lock_guard<std::mutex> dispatch(dispatch_);
        return static_cast<int>(workers_.size());
    }

private:
    struct Worker {
        std::thread thread;
        std::mutex mutex;
        std::condition_variable event;
        bool signalled = false;
        bool running = true;
        std::atomic<bool> busy{false};
        // The part handed over (guarded by mutex).
        const std::function<void(int64_t, int64_t)>* part = nullptr;
        int64_t begin = 0, end = 0;
    };

    void startWorkers() {
        while (workers_.size() < kWorkers) {
            auto w = std::make_unique<Worker>();
            try {
                Worker* self = w.get();
                w->thread = std::thread([this, self] { loop(*self); });
            } catch (const std::exception&) {
                return;  // fewer workers: the caller computes the rest
            }
            workers_.push_back(std::move(w));
        }
    }

    bool handOut(const std::function<void(int64_t, int64_t)>& part, int64_t begin, int64_t end) {
        for (auto& w : workers_) {
            if (w->busy.load(std::memory_order_acquire)) continue;
            {
                std::lock_guard<std::mutex> lock(w->mutex);
                w->part = &part;
                w->begin = begin;
                w->end = end;
                w->signalled = true;
                w->busy.store(true, std::memory_order_release);
            }
            w->event.notify_one();
            return true;
        }
        return false;
    }

    void loop(Worker& w) {
        for (;;) {
            const std::function<void(int64_t, int64_t)>* part;
            int64_t begin, end;
            {
                std::unique_lock<std::mutex> lock(w.mutex);
                w.event.wait(lock, [&] { return w.signalled; });
                w.signalled = false;
                if (!w.running) return;
                part = w.part;
                begin = w.begin;
                end = w.end;
            }
            if (part) (*part)(begin, end);
            {
                std::lock_guard<std::mutex> lock(doneMutex_);
                w.busy.store(false, std::memory_order_release);
            }
            done_.notify_all();
        }
    }

    std::mutex dispatch_;  // one call at a time uses the pool
    std::vector<std::unique_ptr<Worker>> workers_;
    std::mutex doneMutex_;
    std::condition_variable done_;
};

// The pool of one interpreter.
struct FractalState : interp::FamilyState {
    WorkerPool pool;
    void endOfRun(interp::Interpreter&) override { pool.stop(); }
};

}  // namespace tvx::builtins::algorithms
