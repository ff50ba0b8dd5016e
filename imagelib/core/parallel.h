// Row loops spread over the processor's cores.
#pragma once

#include <cstdint>
#include <functional>

namespace tvx::imagelib {

// Calls body(firstRow, endRow) for consecutive bands that cover [0, rows), one band per
// core, the calling thread taking the first; returns when all bands are done. Small jobs
// (rows x workPerRow below a few hundred thousand operations) run on the calling thread
// alone. body must not throw and must touch only what belongs to its rows. When no
// thread can be started, the calling thread runs every band itself.
void forRowBands(int rows, int64_t workPerRow, const std::function<void(int, int)>& body);

}  // namespace tvx::imagelib
