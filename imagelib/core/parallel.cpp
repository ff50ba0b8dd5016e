// Row bands on std::thread: one band per core.
#include "imagelib/core/parallel.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace tvx::imagelib {

namespace {

// Below this much work per band, starting a thread costs more than it saves.
constexpr int64_t kMinimumWorkPerBand = 1 << 18;
constexpr unsigned kMaxBands = 16;

}  // namespace

void forRowBands(int rows, int64_t workPerRow, const std::function<void(int, int)>& body)
{
    if (rows <= 0)
        return;
    const int64_t work = static_cast<int64_t>(rows) * std::max<int64_t>(workPerRow, 1);
    const auto cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxBands);
    const auto bands = static_cast<int>(
        std::clamp<int64_t>(work / kMinimumWorkPerBand, 1, std::min<int64_t>(cores, rows)));
    if (bands == 1) {
        body(0, rows);
        return;
    }
    auto bandStart = [&](int band) { return static_cast<int>(static_cast<int64_t>(rows) * band / bands); };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<size_t>(bands - 1));
    int band = 1;
    try {
        for (; band < bands; ++band)
            helpers.emplace_back(body, bandStart(band), bandStart(band + 1));
    } catch (const std::system_error&) {
        // No more threads to be had: what was not handed out runs here.
        body(bandStart(band), rows);
    }
    body(0, bandStart(1));
    for (std::thread& helper : helpers)
        helper.join();
}

}  // namespace tvx::imagelib
