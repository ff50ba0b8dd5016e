// JPEG through libjpeg: reading into a DIB, writing 8-bit and 24-bit DIBs.
//
// libjpeg reports fatal errors through error_exit, which here longjmps back into the one
// small C-style function per direction that called it; those functions hold only
// trivially destructible locals, so nothing is skipped by the jump. Warnings (a
// truncated file among them) are counted and make a read fail.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace tvx::imagelib {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void onJpegError(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void onJpegOutput(j_common_ptr) {}

// libjpeg input from a ByteSource, in blocks.
struct SourceManager {
    jpeg_source_mgr pub;
    const ByteSource* source;
    uint64_t offset;
    JOCTET buffer[65536];
};

extern "C" void initSource(j_decompress_ptr) {}
extern "C" void termSource(j_decompress_ptr) {}

extern "C" boolean fillInputBuffer(j_decompress_ptr cinfo)
{
    auto* m = reinterpret_cast<SourceManager*>(cinfo->src);
    const uint64_t size = m->source->size();
    const uint64_t left = m->offset < size ? size - m->offset : 0;
    const size_t n = left < sizeof m->buffer ? static_cast<size_t>(left) : sizeof m->buffer;
    if (n == 0 || !m->source->read(m->offset, m->buffer, n)) {
        // Out of data: warn (which fails the read) and end the stream cleanly.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        m->buffer[0] = 0xFF;
        m->buffer[1] = JPEG_EOI;
        m->pub.next_input_byte = m->buffer;
        m->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    m->offset += n;
    m->pub.next_input_byte = m->buffer;
    m->pub.bytes_in_buffer = n;
    return TRUE;
}

extern "C" void skipInputData(j_decompress_ptr cinfo, long count)
{
    auto* m = reinterpret_cast<SourceManager*>(cinfo->src);
    if (count <= 0)
        return;
    const auto n = static_cast<size_t>(count);
    if (n <= m->pub.bytes_in_buffer) {
        m->pub.next_input_byte += n;
        m->pub.bytes_in_buffer -= n;
        return;
    }
    m->offset += n - m->pub.bytes_in_buffer;
    m->pub.bytes_in_buffer = 0;
    fillInputBuffer(cinfo);
}

struct DecodeJob {
    const ByteSource* source;
    void* context;
    // Called once the header is read; false refuses the size before libjpeg allocates.
    bool (*plausible)(void* context, int width, int height, int components);
    // Called once the output size is known; returns false to refuse the image.
    bool (*begin)(void* context, int width, int height, int components);
    uint8_t* (*row)(void* context, int y);
    char comment[256];
};

// 0 decoded, -1 bad or truncated data, -2 refused by begin.
int runDecode(DecodeJob* job)
{
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onJpegError;
    errors.pub.output_message = onJpegOutput;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    auto* source = static_cast<SourceManager*>((*cinfo.mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(SourceManager)));
    source->source = job->source;
    source->offset = 0;
    source->pub.init_source = initSource;
    source->pub.fill_input_buffer = fillInputBuffer;
    source->pub.skip_input_data = skipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = termSource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    cinfo.src = &source->pub;
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);

    const int components = cinfo.num_components;
    if (components < 1 || components > 4) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    if (components == 1)
        cinfo.out_color_space = JCS_GRAYSCALE;
    else if (components == 3)
        cinfo.out_color_space = JCS_RGB;
    else if (components == 4)
        cinfo.out_color_space = JCS_CMYK;
    if (!job->plausible(job->context, static_cast<int>(cinfo.image_width),
                        static_cast<int>(cinfo.image_height), components)) {
        jpeg_destroy_decompress(&cinfo);
        return -2;
    }
    // Progressive files keep all coefficients in memory: allow what the image needs.
    const double pixels = static_cast<double>(cinfo.image_width) * cinfo.image_height;
    cinfo.mem->max_memory_to_use = static_cast<long>(pixels * components * 3 + (64 << 20));
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != JPEG_COM)
            continue;
        const size_t n = m->data_length < 255 ? m->data_length : 255;
        if (n)
            std::memcpy(job->comment, m->data, n);
        job->comment[n] = '\0';
        break;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != components ||
        !job->begin(job->context, static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                    components)) {
        jpeg_destroy_decompress(&cinfo);
        return -2;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = job->row(job->context, y);
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (components == 3)
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                const JSAMPLE red = row[3 * x];
                row[3 * x] = row[3 * x + 2];
                row[3 * x + 2] = red;
            }
    }
    jpeg_finish_decompress(&cinfo);
    const long warnings = errors.pub.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    return warnings ? -1 : 0;
}

struct EncodeJob {
    FILE* file;
    int width;
    int height;
    int components;
    int quality;
    bool fullSampling;
    const uint8_t* (*row)(void* context, int y);
    void* context;
};

int runEncode(EncodeJob* job)
{
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onJpegError;
    errors.pub.output_message = onJpegOutput;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return -1;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, job->file);
    cinfo.image_width = static_cast<JDIMENSION>(job->width);
    cinfo.image_height = static_cast<JDIMENSION>(job->height);
    cinfo.input_components = job->components;
    cinfo.in_color_space = job->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job->quality, TRUE);
    const int factor = job->fullSampling ? 1 : 2;
    cinfo.comp_info[0].h_samp_factor = factor;
    cinfo.comp_info[0].v_samp_factor = factor;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->row(job->context, static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

struct ReadContext {
    NewImage* image;
    uint64_t fileBytes;
};

bool plausibleSize(void* context, int width, int height, int components)
{
    auto* c = static_cast<ReadContext*>(context);
    const uint64_t decoded = uint64_t(width) * uint64_t(height) * uint64_t(components);
    // Even progressive files of one flat colour need about a byte per 2 kB of pixels.
    return decodedSizePlausible(decoded, c->fileBytes, 2048) && sizeAllowed(width, height, 8 * components);
}

bool beginImage(void* context, int width, int height, int components)
{
    auto* c = static_cast<ReadContext*>(context);
    try {
        return c->image->create(width, height, 8 * components, false);
    } catch (...) {
        return false;
    }
}

uint8_t* imageRow(void* context, int y)
{
    return static_cast<ReadContext*>(context)->image->row(y);
}

struct WriteContext {
    const Slot* slot;
    std::vector<uint8_t> scratch;
};

const uint8_t* slotRow(void* context, int y)
{
    auto* c = static_cast<WriteContext*>(context);
    const uint8_t* in = c->slot->row(y);
    if (c->slot->bits() != 24)
        return in;
    uint8_t* out = c->scratch.data();
    for (int x = 0; x < c->slot->width(); ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
    }
    return out;
}

}  // namespace

int readJpeg(const ByteSource& source, NewImage& image)
{
    FileState& state = fileState();
    state.lastComment[0] = '\0';
    ReadContext context{&image, source.size()};
    DecodeJob job{};
    job.source = &source;
    job.context = &context;
    job.plausible = plausibleSize;
    job.begin = beginImage;
    job.row = imageRow;
    const int result = runDecode(&job);
    if (result == 0)
        std::memcpy(state.lastComment, job.comment, sizeof state.lastComment);
    return result;
}

bool writeJpeg(const Slot& slot, const std::string& path, int quality, int sampling)
{
    if (slot.empty() || (slot.bits() != 8 && slot.bits() != 24) || path.empty())
        return false;
    FileWriter file(path);
    if (!file.isOpen())
        return false;
    WriteContext context{&slot, std::vector<uint8_t>(static_cast<size_t>(slot.width()) * 3)};
    EncodeJob job{};
    job.file = file.file();
    job.width = slot.width();
    job.height = slot.height();
    job.components = slot.bits() == 24 ? 3 : 1;
    job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    job.fullSampling = sampling == 1 || (sampling == 0 && (job.components == 1 || job.quality >= 70));
    job.row = slotRow;
    job.context = &context;
    if (runEncode(&job) != 0)
        file.fail();
    return file.finish();
}

}  // namespace tvx::imagelib
