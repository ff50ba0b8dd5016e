// Rows in a caller's buffer, the way the LED exports take them: `pitch` elements apart,
// a negative pitch meaning that the rows are stored bottom-up (the last row first in
// memory), as bottom-up bitmaps are.
#pragma once

#include "platform/memprobe.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tvx::imagelib {

template <class T>
class CallerRows {
public:
    // width and rows are what the caller may get; a pitch of 0 packs the rows width apart,
    // and a pitch smaller than the width cuts the width to it, so rows never overlap.
    CallerRows(void* base, int pitch, int width, int rows)
        : base_(static_cast<T*>(base)), rows_(std::max(rows, 0))
    {
        width_ = std::max(width, 0);
        const int64_t magnitude = pitch == 0 ? width_ : std::llabs(static_cast<int64_t>(pitch));
        width_ = static_cast<int>(std::min<int64_t>(width_, magnitude));
        pitch_ = static_cast<size_t>(magnitude);
        bottomUp_ = pitch < 0;
    }

    int width() const
    {
        return width_;
    }
    int rows() const
    {
        return rows_;
    }
    bool empty() const
    {
        return width_ == 0 || rows_ == 0;
    }

    // The whole span can be written (an empty span always can; a null buffer never).
    bool writable() const
    {
        if (empty())
            return true;
        // Spans beyond any address space are refused before their size is formed.
        if (!base_ || pitch_ > (SIZE_MAX / 16) / static_cast<size_t>(rows_))
            return false;
        return platform::isWritable(base_, spanBytes());
    }

    // Row y counted from the top of the picture.
    T* row(int y) const
    {
        const size_t at = static_cast<size_t>(bottomUp_ ? rows_ - 1 - y : y);
        return base_ + at * pitch_;
    }

private:
    size_t spanBytes() const
    {
        return ((static_cast<size_t>(rows_) - 1) * pitch_ + static_cast<size_t>(width_)) * sizeof(T);
    }

    T* base_;
    int width_ = 0;
    int rows_ = 0;
    size_t pitch_ = 0;
    bool bottomUp_ = false;
};

}  // namespace tvx::imagelib
