// The Fractal worker pool: every element computed exactly once, by eight
// parts on up to seven workers and the caller, with the results of the single
// thread; the pool ends with the macro run and comes back on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/fractal.h"
#include "builtins/algorithms/workerpool.h"
#include "tests/unit/builtins/support/MacroRun.h"

namespace tvx::builtins::algorithms {
namespace {

TEST(FractalTest, EveryElementOnceWhateverTheCount) {
    WorkerPool pool;
    for (int64_t count : {0, 1, 999, 1000, 1001, 1007, 8000, 12345}) {
        std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
        std::atomic<int> parts{0};
        runInParts(pool, count, [&](int64_t begin, int64_t end) {
            ++parts;
            for (int64_t i = begin; i < end; ++i) ++hits[static_cast<size_t>(i)];
        });
        for (int64_t i = 0; i < count; ++i)
            ASSERT_EQ(hits[static_cast<size_t>(i)].load(), 1) << count << " " << i;
        EXPECT_EQ(parts.load(), count < 1000 ? 1 : 8) << count;
    }
    EXPECT_LE(pool.workerCount(), 7);
}

TEST(FractalTest, PartsRunOnOtherThreads) {
    WorkerPool pool;
    std::vector<std::thread::id> ids(8);
    runInParts(pool, 8000, [&](int64_t begin, int64_t) {
        ids[static_cast<size_t>(begin / 1000)] = std::this_thread::get_id();
    });
    int others = 0;
    for (const std::thread::id& id : ids) others += id != std::this_thread::get_id();
    EXPECT_GE(others, 1);
}

TEST(FractalTest, ParallelResultsAreTheSingleThreadedOnes) {
    WorkerPool pool;
    FractalParameters p;
    p.pointIsConstant = true;
    p.limit = 200;
    const int64_t nx = 300, ny = 200;
    std::vector<Complex> points;
    for (int64_t y = 0; y < ny; ++y)
        for (int64_t x = 0; x < nx; ++x) points.push_back({-2.2 + 3.0 * x / nx, -1.2 + 2.4 * y / ny});
    for (int power : {2, 3, 0}) {
        p.integerPower = power;
        p.exponent = power ? Complex{static_cast<double>(power), 0} : Complex{2.5, 0.5};
        std::vector<double> parallel(points.size()), single(points.size());
        runInParts(pool, static_cast<int64_t>(points.size()), [&](int64_t begin, int64_t end) {
            for (int64_t i = begin; i < end; ++i) {
                double modulus;
                parallel[static_cast<size_t>(i)] =
                    static_cast<double>(escapeCount(p, points[static_cast<size_t>(i)], modulus));
            }
        });
        for (size_t i = 0; i < points.size(); ++i) {
            double modulus;
            single[i] = static_cast<double>(escapeCount(p, points[i], modulus));
        }
        EXPECT_EQ(parallel, single) << "power " << power;
    }
}

using FractalRun = testing::MacroRun;

TEST_F(FractalRun, TheWorkersEndWithTheRunAndComeBack) {
    EXPECT_EQ(shown("g = Matrix(50, 50, Complex(0.05, 0.05), 0x12)\n?Sum(Fractal(g, 0, 0, 30, 0, 1)) > 0\n"),
              "1");
    EXPECT_EQ(fractalWorkerCount(ip), 0);  // stopped at the end of the run
    EXPECT_EQ(shown("g = Matrix(50, 50, Complex(0.05, 0.05), 0x12)\n?Len(Fractal(g, 0))\n"), "2500");
    EXPECT_EQ(fractalWorkerCount(ip), 0);
}

}  // namespace
}  // namespace tvx::builtins::algorithms
