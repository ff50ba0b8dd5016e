// Benchmark driver for the image library: each workload runs its operation on
// a 4096 x 4096 image a few times.
//
//   pixory_bench WORKLOAD DIR      (smooth3, add, subtract, jpeg, bmp, tiff, paint,
//                                   ledmatmul, ledmatmulint, sprites, resize, rotate,
//                                   resize-cubic, rotate-cubic, gratings, fractal)
//
// Files go to DIR. The image is a deterministic pattern, so every contender
// works on comparable data.
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/pixory.h"

namespace {

constexpr int kSize = 4096;
constexpr int kRounds = 5;

// Rows are padded to a multiple of 4 bytes (4096 needs none).
void fillPattern(int number, int bytesPerPixel) {
    auto* pixels = static_cast<uint8_t*>(pxGetBitmapData(number));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize * bytesPerPixel; ++x)
            pixels[static_cast<size_t>(y) * kSize * bytesPerPixel + x] =
                static_cast<uint8_t>((x * 7 + y * 13 + (x * y >> 5)) & 0xFF);
}

bool newImage(int number, int bits) {
    if (!pxImageNew(number, nullptr, kSize, kSize, bits, 0x10)) return false;
    fillPattern(number, bits / 8);
    return true;
}

// LED sets: 16 x 16 LEDs, 1024 x 1024 pixels; LED j's response at (x, y) as in
// ledbench.py. The files are written once and kept in DIR/ledset.
constexpr int kLedCount = 16, kLedSize = 1024;

uint8_t ledResponse(int j, int x, int y) {
    return static_cast<uint8_t>((j * 37 + x * 11 + y * 7 + (j * x * y) % 13) & 0xFF);
}

double ledWeight(int j) { return (j * 7919 % 1000) / 1000.0 - 0.5; }

bool loadLedSet(const std::string& dir) {
    const std::string folder = dir + "/ledset";
    mkdir(folder.c_str(), 0755);
    const int leds = kLedCount * kLedCount;
    for (int j = 0; j < leds; ++j) {
        char name[64];
        std::snprintf(name, sizeof name, "/led%05d.bmp", j);
        const std::string path = folder + name;
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && info.st_size > kLedSize * kLedSize) continue;
        auto* rows = static_cast<uint8_t*>(pxImageNew(0, nullptr, kLedSize, kLedSize, 8, 0x10));
        if (!rows) return false;
        for (int y = 0; y < kLedSize; ++y)  // bottom-up rows
            for (int x = 0; x < kLedSize; ++x)
                rows[static_cast<size_t>(kLedSize - 1 - y) * kLedSize + x] = ledResponse(j, x, y);
        if (pxSaveImage(0, path.c_str(), 0) != 1) return false;
    }
    return pxLoadLedImagesA((folder + "/led#.bmp").c_str(), kLedCount, kLedCount) == leds;
}

// 1000 sprites of 64 x 64 (a ring, transparent outside) drawn into a 1920 x 1080
// picture, 100 frames; 8-bit and 24-bit alike.
double drawSprites(int bits) {
    pxSpritesInit(1000, bits, 0);
    if (!pxImageNew(1, nullptr, 64 * 8, 64, bits, 0x10)) return -1;
    if (!pxImageNew(2, nullptr, 1920, 1080, bits, 0x10)) return -1;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64 * 8; ++x) {
            const int dx = x % 64 - 32, dy = y - 32, r2 = dx * dx + dy * dy;
            pxSetPixelValue(1, x, y, r2 < 30 * 30 && r2 > 10 * 10 ? (x * 3 + y) % 250 + 1 : 0);
        }
    for (int i = 0; i < 1000; ++i) {
        pxSetSpriteImg(1, i, 64, 64, (i % 8) * 64, 0, 0);
        pxSetSpritePos(i, (i * 7919) % (1920 + 64) - 32, (i * 104729) % (1080 + 64) - 32,
                       i % 4 == 0 ? 0x402 : 1);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < 100; ++frame) pxPutSprites(2);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pixory_bench WORKLOAD DIR\n");
        return 2;
    }
    std::string workload = argv[1];
    std::string dir = argv[2];
    using Clock = std::chrono::steady_clock;
    Clock::time_point start;
    if (workload == "smooth3") {
        if (!newImage(0, 8)) return 1;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) pxImgLowPass(0, 3);
    } else if (workload == "add" || workload == "subtract") {
        if (!newImage(0, 8) || !newImage(1, 8) || !pxImageNew(2, nullptr, kSize, kSize, 8, 0x10)) return 1;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            if (workload == "add")
                pxImgAdd(0, 1, 2, 1, 1, 0);
            else
                pxImgSubtract(0, 1, 2, 0);
        }
    } else if (workload == "jpeg" || workload == "bmp" || workload == "tiff") {
        int bits = workload == "jpeg" ? 24 : 8;
        if (!newImage(0, bits)) return 1;
        std::string path = dir + "/pixory." +
                           (workload == "jpeg"  ? "jpg"
                            : workload == "bmp" ? "bmp"
                                                : "tif");
        int flags = workload == "jpeg" ? (4 | 90 << 8) : workload == "bmp" ? 1 : 2;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            if (pxSaveImage(0, path.c_str(), flags) != 1) return 1;
            if (!pxLoadImage(1, path.c_str())) return 1;
        }
    } else if (workload == "resize" || workload == "resize-cubic") {
        // 4096 x 4096 to 2048 x 2048, bilinear (core flags 0x20) or cubic (0).
        if (!newImage(0, 8) || !pxImageNew(1, nullptr, kSize / 2, kSize / 2, 8, 0x10)) return 1;
        const int flags = (workload == "resize" ? 0x20 : 0) << 12;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i)
            if (pxResizeRotate(0, 1, 0.5, 0.5, 0, 0, 0, flags) != 0) return 1;
    } else if (workload == "rotate" || workload == "rotate-cubic") {
        // A turn by 10 degrees about the centre into a 4096 x 4096 image.
        if (!newImage(0, 8) || !pxImageNew(1, nullptr, kSize, kSize, 8, 0x10)) return 1;
        const int flags = (workload == "rotate" ? 0x20 : 0) << 12;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i)
            if (pxResizeRotate(0, 1, 1, 1, 10, 0, 0, flags) != 0) return 1;
    } else if (workload == "gratings") {
        // Two cosine gratings through gamma 2.2 into a 4096 x 4096 8-bit image.
        if (!pxImageNew(0, nullptr, kSize, kSize, 8, 0x10)) return 1;
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i)
            pxFillGammaSinus2(0, 1, 0, 2.2, 0.05, 0.02, 0, 200, 0.01, 0.03, 1, 55, 0, 0);
    } else if (workload == "fractal") {
        // Escape counts (at most 100 steps) of the 2000 x 2000 points of [-2, 1] x [-1.5, 1.5]
        // row by row, as the fractal workload of the macro language computes them.
        const int n = 2000;
        std::vector<uint8_t> row(n);
        double sum = 0;
        start = Clock::now();
        for (int y = 0; y < n; ++y) {
            const double ci = (y - (n - 1) / 2.0) * 0.0015;
            pxFractalMLine(row.data(), n, -(n - 1) / 2.0 * 0.0015 - 0.5, ci, 0.0015, 0, 100, 0, 0, 0);
            for (uint8_t v : row) sum += v ? v : 100;
        }
        std::printf("sum: %.0f\n", sum);
    } else if (workload == "paint") {
        // The image window on the off-screen platform (one 1920 x 1200 screen),
        // 1000 x 1000 client pixels, repainted at once (WM_PAINT) at zoom 1/4 and
        // at zoom 4, 20 times each.
        const std::string screens = dir + "/pixory-bench-screens.json";
        if (FILE* f = std::fopen(screens.c_str(), "w")) {
            std::fputs(
                "{ \"screens\": [ {\"name\": \"bench\", \"x\": 0, \"y\": 0, "
                "\"width\": 1920, \"height\": 1200} ] }\n",
                f);
            std::fclose(f);
        }
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
        if (!pxImageNew(0, nullptr, kSize, kSize, 8, 0)) return 1;
        fillPattern(0, 1);
        double seconds = 0;
        for (double zoom : {0.25, 4.0}) {
            pxSetWindowZoom(0, zoom, 0, 0);
            pxFitWindowSize(0, zoom, 1000, 1000);
            pxSetScrollPos(0, 1000, 1000, 0);
            pxProcessMessages(-1);
            start = Clock::now();
            for (int i = 0; i < 20; ++i) pxImageUpdate(0, 2);
            seconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
        std::printf("seconds: %.6f\n", seconds);
        pxCloseAll();
        return 0;
    } else if (workload == "ledmatmul" || workload == "ledmatmulint") {
        // The weight-matrix reduction of the whole set, five times.
        if (!loadLedSet(dir)) return 1;
        const int leds = kLedCount * kLedCount;
        std::vector<double> weights(leds), out(static_cast<size_t>(kLedSize) * kLedSize);
        std::vector<int32_t> integers(leds);
        std::vector<uint16_t> words(out.size());
        for (int j = 0; j < leds; ++j) {
            weights[j] = ledWeight(j);
            integers[j] = static_cast<int32_t>(j * 7919 % 1000) - 500;
        }
        start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            const int rows =
                workload == "ledmatmul"
                    ? pxLedImagesMatrixMulDouble(weights.data(), kLedCount, kLedCount, out.data(), kLedSize,
                                                 kLedSize, kLedSize)
                    : pxLedImagesMatrixMulInt(integers.data(), kLedCount, kLedCount, words.data(), kLedSize,
                                              kLedSize, kLedSize, 8, -1000000);
            if (rows != kLedSize) return 1;
        }
    } else if (workload == "sprites") {
        // 100 frames at 8 and at 24 bits: the time of one frame of each.
        const double grey = drawSprites(8), colour = drawSprites(24);
        if (grey < 0 || colour < 0) return 1;
        std::printf("frame 8-bit %.3f ms, 24-bit %.3f ms\n", grey * 10, colour * 10);
        std::printf("seconds: %.6f\n", grey + colour);
        pxCloseAll();
        return 0;
    } else {
        std::fprintf(stderr, "unknown workload %s\n", workload.c_str());
        return 2;
    }
    std::printf("seconds: %.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    pxCloseAll();
    return 0;
}
