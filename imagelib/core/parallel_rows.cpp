// Row blocks on std::thread: one block per worker, the calling thread taking the first.
#include "imagelib/core/parallel_rows.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <thread>
#include <vector>

namespace tvx::imagelib {

namespace {

constexpr int64_t kMinimumParallelWork = 1 << 18;
constexpr int kMaxWorkers = 16;

}  // namespace

int workerCount()
{
    static const int count = [] {
        if (const char* text = std::getenv("PIXORY_THREADS")) {
            char* end = nullptr;
            const long wanted = std::strtol(text, &end, 10);
            if (end != text && *end == 0 && wanted >= 1 && wanted <= 64)
                return static_cast<int>(wanted);
        }
        const unsigned cores = std::thread::hardware_concurrency();
        return std::clamp(static_cast<int>(cores), 1, kMaxWorkers);
    }();
    return count;
}

void parallelRows(int rows, int64_t workPerRow, const std::function<void(int, int)>& body)
{
    if (rows <= 0)
        return;
    const int64_t work = static_cast<int64_t>(rows) * std::max<int64_t>(workPerRow, 1);
    const int workers = std::min(workerCount(), rows);
    if (workers <= 1 || work < kMinimumParallelWork) {
        body(0, rows);
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(workers));
    auto run = [&](int index) {
        const int first = static_cast<int>(static_cast<int64_t>(rows) * index / workers);
        const int last = static_cast<int>(static_cast<int64_t>(rows) * (index + 1) / workers);
        try {
            body(first, last);
        } catch (...) {
            errors[static_cast<size_t>(index)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(workers - 1));
    try {
        for (int i = 1; i < workers; ++i)
            threads.emplace_back(run, i);
    } catch (...) {
        // No thread could be started: the rest of the blocks run here.
        for (int i = static_cast<int>(threads.size()) + 1; i < workers; ++i)
            run(i);
    }
    run(0);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}

}  // namespace tvx::imagelib
