// The n x n box filter behind the low-pass and high-pass operations.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::imagelib {

// Filters width x height pixels of bytesPerPixel bytes (rows pitch bytes apart, each
// byte of a pixel on its own) in place, passes times. Each stage rounds to bytes:
// (65536 / n x window sum + 0x8000) >> 16, rows first, then columns. The result is
// centred; the frame of (n / 2) x passes pixels around it becomes 0 with fillBorder,
// else keeps the values it had before.
void boxFilter(uint8_t* data, ptrdiff_t pitch, int width, int height, int bytesPerPixel, int n, int passes,
               bool fillBorder);

// A span of caller memory (rows of rowBytes, pitch apart, pitch possibly negative) that
// can be read, or read and written.
bool callerSpanOk(const void* first, long long pitch, long long rowBytes, long long rows, bool write);

}  // namespace tvx::imagelib
