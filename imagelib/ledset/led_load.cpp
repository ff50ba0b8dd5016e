// Reading the numbered images of an LED set and turning them around into per-pixel blocks.
#include "imagelib/ledset/led_load.h"

#include "imagelib/core/parallel_rows.h"
#include "imagelib/core/pixel_access.h"
#include "imagelib/core/settings.h"
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"
#include "imagelib/files/loader.h"
#include "imagelib/ledset/led_set.h"
#include "imagelib/pixory.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <strings.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace tvx::imagelib {

namespace {

// LED images go through this slot, as they always have; what it held is replaced.
constexpr int kLoadSlot = 31;
// Images are stored 64 at a time: every pixel's block then gets a cache line's worth of
// neighbouring bytes at once instead of single bytes a whole block apart, which would
// make the memory move a line for every byte.
constexpr int kGroup = 64;

bool isNumberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '#';
}

// One byte per pixel of a camera row: the value of 8-bit and smaller images, the grey
// level of colour images.
void takeRow(const Slot& slot, int y, int count, uint8_t* out)
{
    const uint8_t* row = slot.row(y);
    switch (slot.bits()) {
    case 8: std::memcpy(out, row, static_cast<size_t>(count)); return;
    case 24:
    case 32: {
        const size_t step = static_cast<size_t>(slot.bits() / 8);
        for (int x = 0; x < count; ++x)
            out[x] = greyOf(row + static_cast<size_t>(x) * step);
        return;
    }
    case 16:
        for (int x = 0; x < count; ++x) {
            const uint32_t v = readPixel(slot, x, y);
            const uint8_t bgr[3] = {static_cast<uint8_t>((v & 31) << 3),
                                    static_cast<uint8_t>(((v >> 5) & 31) << 3),
                                    static_cast<uint8_t>(((v >> 10) & 31) << 3)};
            out[x] = greyOf(bgr);
        }
        return;
    default:
        for (int x = 0; x < count; ++x)
            out[x] = static_cast<uint8_t>(readPixel(slot, x, y));
        return;
    }
}

// Up to eight consecutive LED images of one group, as source-region planes.
class ImageGroup {
public:
    // Throws std::bad_alloc when the planes cannot be had.
    explicit ImageGroup(const LedLayout& layout)
        : width_(layout.sourceX),
          height_(layout.sourceY),
          planes_(kGroup * static_cast<size_t>(width_) * static_cast<size_t>(height_))
    {
    }

    void start(int first)
    {
        first_ = first;
        present_ = 0;
    }
    bool anyPresent() const
    {
        return present_ != 0;
    }

    // Takes LED led's image from the slot; pixels outside a smaller image stay 0.
    void take(int led, const Slot& slot)
    {
        const int k = led - first_;
        uint8_t* p = plane(k);
        const int w = std::min(width_, slot.width());
        const int h = std::min(height_, slot.height());
        if (w < width_ || h < height_)
            std::memset(p, 0, planeBytes());
        for (int y = 0; y < h; ++y)
            takeRow(slot, y, w, p + static_cast<size_t>(y) * width_);
        present_ |= uint64_t{1} << k;
        zeroed_ &= ~(uint64_t{1} << k);
    }

    // Writes LEDs lo .. hi - 1 of the group into every pixel's block; absent ones as 0.
    void store(const LedSet& set, int lo, int hi)
    {
        for (int led = lo; led < hi; ++led) {
            const uint64_t bit = uint64_t{1} << (led - first_);
            if (!(present_ & bit) && !(zeroed_ & bit)) {
                std::memset(plane(led - first_), 0, planeBytes());
                zeroed_ |= bit;
            }
        }
        const size_t leds = set.layout().leds();
        parallelRows(height_, static_cast<int64_t>(width_) * (hi - lo), [&](int firstRow, int endRow) {
            for (int y = firstRow; y < endRow; ++y)
                storeRow(set.row(y), leds, y, lo, hi);
        });
    }

private:
    size_t planeBytes() const
    {
        return static_cast<size_t>(width_) * static_cast<size_t>(height_);
    }
    uint8_t* plane(int k)
    {
        return planes_.data() + static_cast<size_t>(k) * planeBytes();
    }

    // Row y of LEDs lo .. hi - 1 into the blocks: a transposition, 16 LEDs by 16 pixels
    // at a time where the vector unit can do it, byte by byte for the rest.
    void storeRow(uint8_t* blocks, size_t leds, int y, int lo, int hi) const
    {
        const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width_);
        int led = lo;
#ifdef __SSE2__
        for (; led + 16 <= hi; led += 16) {
            const uint8_t* from[16];
            for (int k = 0; k < 16; ++k)
                from[k] = planes_.data() + static_cast<size_t>(led + k - first_) * planeBytes() + at;
            int x = 0;
            for (; x + 16 <= width_; x += 16)
                transpose16(from, x, blocks + static_cast<size_t>(x) * leds + led, leds);
            storeBytes(blocks, leds, at, led, led + 16, x);
        }
#endif
        storeBytes(blocks, leds, at, led, hi, 0);
    }

    void storeBytes(uint8_t* blocks, size_t leds, size_t at, int lo, int hi, int fromX) const
    {
        for (int led = lo; led < hi; ++led) {
            const uint8_t* from = planes_.data() + static_cast<size_t>(led - first_) * planeBytes() + at;
            uint8_t* out = blocks + static_cast<size_t>(fromX) * leds + led;
            for (int x = fromX; x < width_; ++x, out += leds)
                *out = from[x];
        }
    }

#ifdef __SSE2__
    // Bytes x .. x + 15 of 16 rows into 16 runs of 16 bytes, stride apart. Four rounds of
    // interleaving (bytes, pairs, quads, eights) with rows i and i + 8; the rows are
    // taken in bit-reversed order so that the bytes come out in LED order.
    static void transpose16(const uint8_t* const from[16], int x, uint8_t* out, size_t stride)
    {
        static constexpr int kBitReversed[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        __m128i a[16], b[16];
        for (int i = 0; i < 16; ++i)
            a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[kBitReversed[i]] + x));
        for (int i = 0; i < 8; ++i) {
            b[2 * i] = _mm_unpacklo_epi8(a[i], a[i + 8]);
            b[2 * i + 1] = _mm_unpackhi_epi8(a[i], a[i + 8]);
        }
        for (int i = 0; i < 8; ++i) {
            a[2 * i] = _mm_unpacklo_epi16(b[i], b[i + 8]);
            a[2 * i + 1] = _mm_unpackhi_epi16(b[i], b[i + 8]);
        }
        for (int i = 0; i < 8; ++i) {
            b[2 * i] = _mm_unpacklo_epi32(a[i], a[i + 8]);
            b[2 * i + 1] = _mm_unpackhi_epi32(a[i], a[i + 8]);
        }
        for (int i = 0; i < 8; ++i) {
            a[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 8]);
            a[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 8]);
        }
        for (int p = 0; p < 16; ++p)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<size_t>(p) * stride), a[p]);
    }
#endif

    int width_, height_;
    std::vector<uint8_t> planes_;
    int first_ = 0;
    uint64_t present_ = 0;            // planes holding this group's images
    uint64_t zeroed_ = ~uint64_t{0};  // planes known to be all 0
};

int regionSide(int wanted, int imageSide)
{
    return wanted <= 0 || wanted > imageSide ? imageSide : wanted;
}

}  // namespace

LedFileNames::LedFileNames(std::string_view name)
{
    const size_t nameStart = [&] {
        const size_t slash = name.find_last_of("/\\");
        return slash == std::string_view::npos ? 0 : slash + 1;
    }();
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) {
        dot = name.size();
        extension_ = ".tif";
    } else {
        extension_ = std::string(name.substr(dot));
    }
    size_t numberStart = dot;
    while (numberStart > nameStart && isNumberChar(name[numberStart - 1]))
        --numberStart;
    head_ = std::string(name.substr(0, numberStart));
}

std::string LedFileNames::operator()(int number) const
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d", number);
    return head_ + digits + extension_;
}

std::vector<int> numbersWithFiles(const LedFileNames& names, const LedRange& range)
{
    std::vector<int> numbers;
    if (range.empty())
        return numbers;
    // The folder and the name around the number, as the loader resolves them.
    const std::filesystem::path first(loadPath(names(0)));
    const std::string fileName = first.filename().string();
    const size_t fixed = 5 + names.extension().size();
    if (fileName.size() < fixed)
        return numbers;
    const std::string head = fileName.substr(0, fileName.size() - fixed);
    const std::string& extension = names.extension();
    const std::filesystem::path folder = first.parent_path().empty() ? "." : first.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return numbers;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        for (int n = range.first; n < range.end; ++n)
            numbers.push_back(n);
        return numbers;
    }
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.size() < head.size() + 5 + extension.size() ||
            strncasecmp(name.c_str(), head.c_str(), head.size()) != 0 ||
            strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) != 0)
            continue;
        // The digits as "%05d" writes them: at least five, no zeros in front beyond those.
        const std::string digits = name.substr(head.size(), name.size() - head.size() - extension.size());
        const bool canonical = digits.size() == 5 || (digits.size() <= 10 && digits[0] != '0');
        if (!canonical || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long long n = std::stoll(digits);
        if (n >= range.first && n < range.end)
            numbers.push_back(static_cast<int>(n));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

LedRange::LedRange(int firstLed, int number, size_t leds)
{
    first = std::max(firstLed, 0);
    const int64_t count = number < 1 ? static_cast<int64_t>(leds) : number;
    end =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(first) + count, static_cast<int64_t>(leds)));
}

int loadLedImages(const std::string& name, int countX, int countY, int first, int number, int sourceX,
                  int sourceY)
{
    if (countX <= 0 || countY <= 0 || static_cast<int64_t>(countX) * countY > INT32_MAX)
        return 0;
    const LedFileNames fileName(name);
    const LedRange range(first, number, static_cast<size_t>(countX) * static_cast<size_t>(countY));
    const std::vector<int> numbers = numbersWithFiles(fileName, range);
    LedSet& set = ledSet();
    LedSet::Storage storage = LedSet::Storage::Refused;
    std::unique_ptr<ImageGroup> group;
    int stored = 0;
    size_t next = 0;  // the next number with a file
    const auto groupOf = [](int64_t led) { return led - led % kGroup; };
    for (int64_t groupFirst = groupOf(range.first); groupFirst < range.end; groupFirst += kGroup) {
        // Groups without a file need no visit unless a kept set has LEDs in them to clear.
        if (storage != LedSet::Storage::Kept) {
            if (next == numbers.size())
                break;
            groupFirst = std::max(groupFirst, groupOf(numbers[next]));
        }
        const int lo = static_cast<int>(std::max<int64_t>(groupFirst, range.first));
        const int hi = static_cast<int>(std::min<int64_t>(groupFirst + kGroup, range.end));
        if (group)
            group->start(static_cast<int>(groupFirst));
        for (; next < numbers.size() && numbers[next] < hi; ++next) {
            const int led = numbers[next];
            if (!loadImageFile(kLoadSlot, fileName(led)))
                continue;
            const Slot& slot = *slotFor(kLoadSlot);
            if (!group) {
                // The first image that loads fixes the region and the storage.
                const LedLayout layout{countX, countY, regionSide(sourceX, slot.width()),
                                       regionSide(sourceY, slot.height())};
                const uint64_t groupBytes = uint64_t{kGroup} * static_cast<uint64_t>(layout.sourceX) *
                                            static_cast<uint64_t>(layout.sourceY);
                storage = set.prepare(layout, groupBytes);
                if (storage == LedSet::Storage::Refused)
                    return 0;
                group = std::make_unique<ImageGroup>(layout);
                // Requested LEDs before this one have no image: a kept set must lose them.
                if (storage == LedSet::Storage::Kept) {
                    for (int64_t earlier = groupOf(range.first); earlier < groupFirst; earlier += kGroup) {
                        group->start(static_cast<int>(earlier));
                        group->store(set, static_cast<int>(std::max<int64_t>(earlier, range.first)),
                                     static_cast<int>(earlier + kGroup));
                    }
                }
                group->start(static_cast<int>(groupFirst));
            }
            group->take(led, slot);
            ++stored;
        }
        if (group && (group->anyPresent() || storage == LedSet::Storage::Kept))
            group->store(set, lo, hi);
    }
    return stored;
}

int writeLedPositions(const std::string& name, int countX, int countY, int first, int number,
                      const std::string& listName, int threshold)
{
    if (countX <= 0 || countY <= 0)
        return 0;
    if (listName.empty())
        return -1;
    FileWriter list(fileSystemPath(listName, false));
    if (!list.isOpen())
        return -1;
    const LedFileNames fileName(name);
    const LedRange range(first, number, static_cast<size_t>(countX) * static_cast<size_t>(countY));
    const int spotThreshold = threshold <= 0 ? 50 : threshold;
    int lines = 0;
    for (const int led : numbersWithFiles(fileName, range)) {
        double x = 0, y = 0;
        if (!loadImageFile(kLoadSlot, fileName(led)) || pxFindSpot(kLoadSlot, spotThreshold, &x, &y) < 0)
            continue;
        char line[64];
        const int n =
            std::snprintf(line, sizeof line, "%d\t%ld\t%ld\r\n", led, std::lround(x), std::lround(y));
        list.write(line, static_cast<size_t>(n));
        ++lines;
    }
    return list.finish() ? lines : -1;
}

}  // namespace tvx::imagelib
