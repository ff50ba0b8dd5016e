// Raw sample files (geometry guessed and remembered in the settings file) and DAT frames.
#include "imagelib/core/settings.h"
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"
#include "platform/ini.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace tvx::imagelib {

namespace {

constexpr uint64_t kMaxSampleFileBytes = 1000000000;

struct RawGeometry {
    long long width = 0, height = 0, bytes = 0, swap = 0;
    bool present = false;  // the key exists
    bool valid = false;    // and holds a usable geometry

    long long product() const
    {
        return width * height * bytes;
    }
};

RawGeometry readGeometry(const std::string& ini, const std::string& key)
{
    RawGeometry g;
    const std::string text = platform::iniGetString(ini, "Settings", key, "");
    g.present = !text.empty();
    if (std::sscanf(text.c_str(), "%lld %lld %lld %lld", &g.width, &g.height, &g.bytes, &g.swap) == 4)
        g.valid = g.width > 0 && g.height > 0 && (g.bytes == 1 || g.bytes == 2) && g.width < (1LL << 31) &&
                  g.height < (1LL << 31);
    return g;
}

void writeGeometry(const std::string& ini, const std::string& key, const RawGeometry& g)
{
    char text[96];
    std::snprintf(text, sizeof text, "%lld %lld %lld %lld", g.width, g.height, g.bytes, g.swap);
    platform::iniWriteString(ini, "Settings", key, text);
}

// Adjacent 16-bit samples sampled across the file: whichever byte of a pair changes
// less is the high byte; when both change alike the samples are bytes.
void guessFormat(const std::vector<uint8_t>& d, long long* bytes, long long* swap)
{
    *bytes = 2;
    *swap = 0;
    if (d.size() < 26)
        return;
    const uint64_t samples = d.size() / 2;
    const uint64_t positions = (samples + 44) / 57;
    uint64_t a = 0, b = 0;
    for (uint64_t i = 0; i < positions; ++i) {
        const uint64_t p = 24 + 114 * i;
        if (p + 3 >= d.size())
            break;
        a += static_cast<uint64_t>(std::abs(d[p] - d[p + 2]));
        b += static_cast<uint64_t>(std::abs(d[p + 1] - d[p + 3]));
    }
    if (a < b / 3)
        *swap = 1;
    else if (a / 3 < b)
        *bytes = 1;
}

long long smallestDivisorFrom(long long count, double from)
{
    for (long long d = static_cast<long long>(std::ceil(from)); d <= count; ++d)
        if (d > 0 && count % d == 0)
            return d;
    return count;
}

// The row length whose neighbouring rows look most alike.
template <class Sample>
long long guessWidth(const Sample* s, long long count)
{
    const long long u = static_cast<long long>(std::floor(std::sqrt(static_cast<double>(count))));
    long long best = 0, previous = 0;
    double bestMean = std::numeric_limits<double>::infinity();
    double previousMean = bestMean;
    for (long long j = u / 2 + 1; j <= u * 39 / 10 && j < count; ++j) {
        if (count % j)
            continue;
        uint64_t sum = 0, n = 0;
        for (long long k = j * 3 / 2; k < count; k += 57, ++n)
            sum += static_cast<uint64_t>(
                std::abs(static_cast<long long>(s[k]) - static_cast<long long>(s[k - j])));
        if (n == 0)
            continue;
        const double mean = static_cast<double>(sum) / static_cast<double>(n);
        if (mean < bestMean) {
            previous = best;
            previousMean = bestMean;
            best = j;
            bestMean = mean;
        }
    }
    if (best && previous * 2 == best && best > 2 * u && 4 * bestMean > previousMean)
        best = previous;
    if (!best)
        best = smallestDivisorFrom(count, std::sqrt(static_cast<double>(count)));
    return best;
}

}  // namespace

int readRaw(const ByteSource& source, NewImage& image)
{
    const uint64_t length = source.size();
    if (length < 4 || length > kMaxSampleFileBytes)
        return -1;
    // The whole file is first held as 16-bit samples; that image must pass the limits.
    const long long samples16 = static_cast<long long>(length / 2);
    const long long provisionalWidth =
        smallestDivisorFrom(samples16, std::sqrt(static_cast<double>(samples16)));
    if (!sizeAllowed(provisionalWidth, samples16 / provisionalWidth, 16))
        return -2;
    std::vector<uint8_t> data(static_cast<size_t>(length));
    if (!source.read(0, data.data(), data.size()))
        return -1;

    const std::string ini = settingsFile();
    const std::string sizeKey = "RawImg" + std::to_string(length);
    const RawGeometry general = readGeometry(ini, "RawImg");
    const RawGeometry specific = readGeometry(ini, sizeKey);
    const auto fits = [&](const RawGeometry& g) { return g.valid && uint64_t(g.product()) == length; };
    RawGeometry chosen = fits(general) ? general : fits(specific) ? specific : RawGeometry{};
    const bool known = chosen.valid;
    if (!known)
        guessFormat(data, &chosen.bytes, &chosen.swap);

    const long long count = chosen.bytes == 2 ? samples16 : static_cast<long long>(length);
    std::vector<uint16_t> words;
    if (chosen.bytes == 2) {
        words.resize(static_cast<size_t>(count));
        for (long long i = 0; i < count; ++i) {
            const uint8_t lo = data[static_cast<size_t>(2 * i)];
            const uint8_t hi = data[static_cast<size_t>(2 * i + 1)];
            words[static_cast<size_t>(i)] =
                static_cast<uint16_t>(chosen.swap ? (lo << 8) | hi : (hi << 8) | lo);
        }
    }
    if (!known) {
        chosen.width = chosen.bytes == 2 ? guessWidth(words.data(), count) : guessWidth(data.data(), count);
        chosen.height = count / chosen.width;
        if (!specific.present)
            writeGeometry(ini, sizeKey, chosen);
        if (!general.present)
            writeGeometry(ini, "RawImg", chosen);
    }
    const int width = static_cast<int>(chosen.width);
    const int height = static_cast<int>(chosen.height);
    if (!image.create(width, height, 8, chosen.bytes == 2))
        return -2;
    for (int y = 0; y < height; ++y) {
        const size_t first = static_cast<size_t>(y) * static_cast<size_t>(width);
        if (chosen.bytes == 2)
            std::memcpy(image.planeRow(y), words.data() + first, static_cast<size_t>(width) * 2);
        else
            std::memcpy(image.row(y), data.data() + first, static_cast<size_t>(width));
    }
    return 0;
}

int readDat(const ByteSource& source, NewImage& image, int frame)
{
    constexpr int kWidth = 512, kHeight = 256;
    constexpr uint64_t kFrameBytes = uint64_t{kWidth} * kHeight * 2;
    const uint64_t length = source.size();
    if (length < 4 || length > kMaxSampleFileBytes)
        return -1;
    const uint64_t frames = length / kFrameBytes;
    const uint64_t n = frame > 0 && static_cast<uint64_t>(frame) < frames ? static_cast<uint64_t>(frame) : 0;
    std::vector<uint8_t> data(kFrameBytes);
    if (!source.read(n * kFrameBytes, data.data(), data.size()))
        return -1;
    // 13-bit mantissa over a 3-bit exponent; every word is brought to the largest exponent.
    int largest = 0;
    for (size_t i = 0; i < data.size(); i += 2)
        largest = std::max(largest, data[i + 1] & 7);
    if (!image.create(kWidth, kHeight, 8, true))
        return -2;
    for (int y = 0; y < kHeight; ++y) {
        uint16_t* out = image.planeRow(y);
        const uint8_t* in = data.data() + static_cast<size_t>(y) * kWidth * 2;
        for (int x = 0; x < kWidth; ++x) {
            const unsigned word = (unsigned{in[2 * x]} << 8) | in[2 * x + 1];
            out[x] = static_cast<uint16_t>((word & 0xFFF8) >> (largest - static_cast<int>(word & 7)));
        }
    }
    return 0;
}

}  // namespace tvx::imagelib
