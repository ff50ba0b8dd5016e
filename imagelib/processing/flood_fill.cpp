// Export: scan-line flood fill of a 4-connected region.
#include "imagelib/core/export.h"
#include "imagelib/core/pixel_access.h"
#include "imagelib/core/slot.h"

#include <vector>

using namespace tvx::imagelib;

namespace {

struct Seed {
    int x, y;
};

// A fixed-size ring of pending seeds; when it is full the fill stops where it is.
class SeedQueue {
public:
    explicit SeedQueue(size_t capacity) : ring_(capacity) {}
    bool push(Seed s)
    {
        if (count_ == ring_.size())
            return false;
        ring_[(head_ + count_) % ring_.size()] = s;
        ++count_;
        return true;
    }
    bool pop(Seed* s)
    {
        if (count_ == 0)
            return false;
        *s = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        --count_;
        return true;
    }

private:
    std::vector<Seed> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
};

int floodFill(int number, int x, int y, int value)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const int w = slot->width(), h = slot->height();
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(w) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(h))
        return 0;
    const int bits = slot->bits();
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    const uint32_t fillValue = static_cast<uint32_t>(value) & mask;
    const uint32_t target = readPixel(*slot, x, y);
    if (target == fillValue)
        return 0;
    SeedQueue queue((static_cast<size_t>(w) + h) * 4 + 65536);
    queue.push({x, y});
    Seed s;
    while (queue.pop(&s)) {
        if (readPixel(*slot, s.x, s.y) != target)
            continue;
        int left = s.x, right = s.x;
        while (left > 0 && readPixel(*slot, left - 1, s.y) == target)
            --left;
        while (right + 1 < w && readPixel(*slot, right + 1, s.y) == target)
            ++right;
        for (int i = left; i <= right; ++i)
            writePixel(*slot, i, s.y, fillValue);
        for (int ny : {s.y - 1, s.y + 1}) {
            if (ny < 0 || ny >= h)
                continue;
            bool inRun = false;
            for (int i = left; i <= right; ++i) {
                const bool match = readPixel(*slot, i, ny) == target;
                if (match && !inRun && !queue.push({i, ny}))
                    return 0;
                inRun = match;
            }
        }
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxFloodFill(int number, int x, int y, int value)
{
    return guarded(-1, [&] { return floodFill(number, x, y, value); });
}
