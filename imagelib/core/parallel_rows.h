// Splitting row loops over the processor's cores. Each output row of the resampling
// and pattern loops depends on nothing but its inputs, so blocks of rows can run side
// by side and give the same bytes as one thread.
#pragma once

#include <cstdint>
#include <functional>

namespace tvx::imagelib {

// Threads a row loop may use: the environment variable PIXORY_THREADS when it holds a
// number from 1 to 64, else the processor count (at most 16).
int workerCount();

// Runs body(first, last) over the rows [0, rows) in contiguous blocks, one block per
// worker, on the calling thread alone when the work is small (rows x workPerRow below
// about a quarter million units) or only one worker is allowed. An exception thrown
// by a block is rethrown on the calling thread after every block has ended.
void parallelRows(int rows, int64_t workPerRow, const std::function<void(int first, int last)>& body);

}  // namespace tvx::imagelib
