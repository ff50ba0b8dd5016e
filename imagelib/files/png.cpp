// PNG through libpng: grey, palette and RGB images in, 8-bit, 24-bit and 16-bit plane
// images out. libpng's errors longjmp back into one small C-style function per direction.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"

#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace tvx::imagelib {

namespace {

enum PixelKind { kGrey8, kPalette8, kBgr24, kGrey16 };

struct DecodeJob {
    const ByteSource* source;
    uint64_t offset;
    void* context;
    bool (*begin)(void* context, int width, int height, int kind, const png_color* palette, int paletteCount);
    uint8_t* (*row)(void* context, int y);
};

extern "C" void onPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
extern "C" void onPngWarning(png_structp, png_const_charp) {}

extern "C" void readFromSource(png_structp png, png_bytep data, size_t count)
{
    auto* job = static_cast<DecodeJob*>(png_get_io_ptr(png));
    if (!job->source->read(job->offset, data, count))
        png_error(png, "truncated");
    job->offset += count;
}

// 0 decoded, -1 bad data, -2 refused by begin.
int runDecode(DecodeJob* job)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, onPngError, onPngWarning);
    if (!png)
        return -2;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -2;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return -1;
    }
    png_set_read_fn(png, job, readFromSource);
    // Ancillary chunks (texts, profiles) cannot claim more than a few MiB, nor
    // pile up without end: a file with a huge or endless text chunk is read
    // for its pixels, or refused, instead of exhausting the memory.
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_chunk_cache_max(png, 1000);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);

    int kind;
    int bytesPerPixel;
    png_colorp palette = nullptr;
    int paletteCount = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
        png_get_PLTE(png, info, &palette, &paletteCount);
        kind = kPalette8;
        bytesPerPixel = 1;
    } else if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_strip_alpha(png);
        if (depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (depth == 16) {
            png_set_swap(png);
            kind = kGrey16;
            bytesPerPixel = 2;
        } else {
            kind = kGrey8;
            bytesPerPixel = 1;
        }
    } else {
        png_set_strip_alpha(png);
        png_set_strip_16(png);
        png_set_bgr(png);
        kind = kBgr24;
        bytesPerPixel = 3;
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * bytesPerPixel ||
        !job->begin(job->context, static_cast<int>(width), static_cast<int>(height), kind, palette,
                    paletteCount)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return -2;
    }
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, job->row(job->context, static_cast<int>(y)), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
}

struct EncodeJob {
    FILE* file;
    int width;
    int height;
    int colourType;
    int depth;
    const png_color* palette;
    int paletteCount;
    bool bgr;
    bool swap16;
    const uint8_t* (*row)(void* context, int y);
    void* context;
};

int runEncode(EncodeJob* job)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (!png)
        return -2;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return -2;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return -1;
    }
    png_init_io(png, job->file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(job->width), static_cast<png_uint_32>(job->height),
                 job->depth, job->colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (job->colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, job->palette, job->paletteCount);
    png_write_info(png, info);
    if (job->bgr)
        png_set_bgr(png);
    if (job->swap16)
        png_set_swap(png);
    for (int y = 0; y < job->height; ++y)
        png_write_row(png, job->row(job->context, y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 0;
}

struct ReadContext {
    NewImage* image;
    uint64_t fileBytes;
    int kind;
};

bool beginImage(void* context, int width, int height, int kind, const png_color* palette, int paletteCount)
{
    auto* c = static_cast<ReadContext*>(context);
    try {
        const int bits = kind == kBgr24 ? 24 : 8;
        const uint64_t decoded = uint64_t(width) * uint64_t(height) *
                                 (kind == kBgr24    ? 3
                                  : kind == kGrey16 ? 2
                                                    : 1);
        // Deflate cannot expand more than about 1032:1.
        if (!decodedSizePlausible(decoded, c->fileBytes, 1100))
            return false;
        if (!c->image->create(width, height, bits, kind == kGrey16))
            return false;
        c->kind = kind;
        if (kind == kPalette8) {
            uint8_t* table = c->image->colourTable();
            for (int i = 0; i < paletteCount && i < 256; ++i) {
                table[4 * i] = palette[i].blue;
                table[4 * i + 1] = palette[i].green;
                table[4 * i + 2] = palette[i].red;
            }
            c->image->ownColours = true;
        }
        return true;
    } catch (...) {
        return false;
    }
}

uint8_t* imageRow(void* context, int y)
{
    auto* c = static_cast<ReadContext*>(context);
    if (c->kind == kGrey16)
        return reinterpret_cast<uint8_t*>(c->image->planeRow(y));
    return c->image->row(y);
}

struct WriteContext {
    const Slot* slot;
    bool fromPlane;
    std::vector<uint8_t> scratch;
};

const uint8_t* slotRow(void* context, int y)
{
    auto* c = static_cast<WriteContext*>(context);
    const Slot& s = *c->slot;
    if (c->fromPlane)
        return reinterpret_cast<const uint8_t*>(s.planeRow(y));
    const uint8_t* in = s.row(y);
    uint8_t* out = c->scratch.data();
    const int w = s.width();
    const int bits = s.bits();
    if (bits < 8) {
        // Sub-byte pixels, the first in the high-order bits, one byte each.
        for (int x = 0; x < w; ++x) {
            const size_t bit = static_cast<size_t>(x) * bits;
            const unsigned window =
                (unsigned{in[bit >> 3]} << 8) | ((bit >> 3) + 1 < s.stride() ? in[(bit >> 3) + 1] : 0u);
            out[x] = static_cast<uint8_t>((window >> (16 - bits - (bit & 7))) & ((1u << bits) - 1));
        }
        return out;
    }
    switch (bits) {
    case 8:
    case 24: return in;
    case 16:
        for (int x = 0; x < w; ++x) {
            const uint32_t v = getLe16(in + 2 * x);
            auto five = [](uint32_t f) { return static_cast<uint8_t>((f << 3) | (f >> 2)); };
            out[3 * x] = five(v & 31);
            out[3 * x + 1] = five((v >> 5) & 31);
            out[3 * x + 2] = five((v >> 10) & 31);
        }
        return out;
    default:  // 32 bits: blue, green, red and an unused byte
        for (int x = 0; x < w; ++x)
            std::memcpy(out + 3 * x, in + 4 * x, 3);
        return out;
    }
}

// Runs the encoder into a new file; a failed file is removed.
bool encodeFile(const std::string& path, EncodeJob& job)
{
    FileWriter file(path);
    if (!file.isOpen())
        return false;
    job.file = file.file();
    if (runEncode(&job) != 0)
        file.fail();
    return file.finish();
}

struct BufferContext {
    const uint8_t* rows;
    size_t stride;
};

const uint8_t* bufferRow(void* context, int y)
{
    const auto* c = static_cast<BufferContext*>(context);
    return c->rows + static_cast<size_t>(y) * c->stride;
}

}  // namespace

int readPng(const ByteSource& source, NewImage& image)
{
    ReadContext context{&image, source.size(), kGrey8};
    DecodeJob job{};
    job.source = &source;
    job.context = &context;
    job.begin = beginImage;
    job.row = imageRow;
    return runDecode(&job);
}

bool writePng(const Slot& slot, const std::string& path, bool fromPlane)
{
    if (slot.empty() || path.empty() || (fromPlane && !slot.plane))
        return false;
    const int bits = slot.bits();
    EncodeJob job{};
    job.width = slot.width();
    job.height = slot.height();
    std::vector<png_color> palette;
    if (fromPlane) {
        job.colourType = PNG_COLOR_TYPE_GRAY;
        job.depth = 16;
        job.swap16 = true;
    } else if (bits <= 8) {
        // Grey when the table is the plain grey ramp of its size, else a palette.
        const int entries = slot.geometry.colours;
        bool grey = entries == 256;
        const uint8_t* table = slot.colourTable();
        for (int i = 0; grey && i < entries; ++i)
            grey = table[4 * i] == i && table[4 * i + 1] == i && table[4 * i + 2] == i;
        job.colourType = grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
        job.depth = 8;
        if (!grey) {
            const int n = entries > 0 ? entries : 256;
            palette.resize(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                palette[static_cast<size_t>(i)].red = entries ? table[4 * i + 2] : static_cast<uint8_t>(i);
                palette[static_cast<size_t>(i)].green = entries ? table[4 * i + 1] : static_cast<uint8_t>(i);
                palette[static_cast<size_t>(i)].blue = entries ? table[4 * i] : static_cast<uint8_t>(i);
            }
            job.palette = palette.data();
            job.paletteCount = n;
        }
    } else {
        job.colourType = PNG_COLOR_TYPE_RGB;
        job.depth = 8;
        job.bgr = true;
    }
    WriteContext context{&slot, fromPlane, std::vector<uint8_t>(static_cast<size_t>(slot.width()) * 3)};
    job.row = slotRow;
    job.context = &context;
    return encodeFile(path, job);
}

bool writePngBgr(const std::string& path, int width, int height, const uint8_t* rows, size_t stride)
{
    if (path.empty() || !rows || width <= 0 || height <= 0 || stride < static_cast<size_t>(width) * 3)
        return false;
    EncodeJob job{};
    job.width = width;
    job.height = height;
    job.colourType = PNG_COLOR_TYPE_RGB;
    job.depth = 8;
    job.bgr = true;
    BufferContext context{rows, stride};
    job.row = bufferRow;
    job.context = &context;
    return encodeFile(path, job);
}

}  // namespace tvx::imagelib
