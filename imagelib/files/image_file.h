// Shared pieces of the file readers and writers: byte sources, the image under
// construction, the library-wide file state, and the codec entry points.
#pragma once

#include "imagelib/core/dib.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace tvx::imagelib {

struct Slot;

// Where a reader takes its bytes from: a file, or memory (fuzzing, tests).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly count bytes at offset; false when they are not all there.
    virtual bool read(uint64_t offset, void* destination, size_t count) const = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t size() const override
    {
        return size_;
    }
    bool read(uint64_t offset, void* destination, size_t count) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool isOpen() const
    {
        return fd_ >= 0;
    }
    uint64_t size() const override
    {
        return size_;
    }
    bool read(uint64_t offset, void* destination, size_t count) const override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// An image being read: a DIB block (and perhaps a 16-bit plane) laid out for the slot it
// will go into, freed unless a slot adopts it.
class NewImage {
public:
    // rowFlags: the target slot's kFlagTopDown and kFlagPlaneBottomUp bits.
    explicit NewImage(uint32_t rowFlags = 0) : rowFlags_(rowFlags) {}
    ~NewImage();
    NewImage(const NewImage&) = delete;
    NewImage& operator=(const NewImage&) = delete;

    // Allocates a zero-filled DIB (and a plane when withPlane) after the size limits.
    bool create(int width, int height, int bits, bool withPlane);

    const DibGeometry& geometry() const
    {
        return geometry_;
    }
    uint8_t* block() const
    {
        return block_;
    }
    uint8_t* colourTable() const
    {
        return block_ + geometry_.tableOffset;
    }
    uint8_t* row(int y) const;        // y from the top
    uint16_t* planeRow(int y) const;  // y from the top
    bool hasPlane() const
    {
        return plane_ != nullptr;
    }
    int width() const
    {
        return geometry_.width;
    }
    int height() const
    {
        return geometry_.height;
    }

    // Set by readers that bring their own colour table (else the slot's palette word
    // is applied after the load).
    bool ownColours = false;
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;

    // Hands the memory over; the object is empty afterwards.
    void release(uint8_t** block, uint16_t** plane, DibGeometry* geometry);

private:
    uint32_t rowFlags_;
    DibGeometry geometry_;
    uint8_t* block_ = nullptr;
    uint16_t* plane_ = nullptr;
};

// Library-wide file state.
struct FileState {
    // Room for the longest path a caller may pass (511 characters): a chosen file
    // deep in a tree is kept whole rather than cut.
    char lastFilename[512] = {};
    char dialogDirectory[512] = {};
    int openFilter = 1;
    int saveFilter = 1;
    char lastComment[256] = {};
    int tiffTagRequest = 0;
    uint8_t tiffTagValue[256] = {};
    int sequenceNumber = 0;
    int jpegQuality = 75;
};
FileState& fileState();

// Decoded sizes that compressed data could never produce are refused before allocation:
// at most `ratio` output bytes per input byte, with a floor for small files.
bool decodedSizePlausible(uint64_t decodedBytes, uint64_t inputBytes, uint64_t ratio);

// Readers. Each returns 0 on success; on failure a negative code and nothing adopted.
int readBmp(const ByteSource& source, NewImage& image);
int readTiff(const ByteSource& source, NewImage& image);  // -1 format, -2 memory, -13 header
int readJpeg(const ByteSource& source, NewImage& image);
int readPng(const ByteSource& source, NewImage& image);
// Raw samples; the geometry comes from (and is remembered in) the settings file.
int readRaw(const ByteSource& source, NewImage& image);
// One 512 x 256 frame of a DAT file.
int readDat(const ByteSource& source, NewImage& image, int frame);

// Writers. path is a file-system path.
bool writeBmp(const Slot& slot, const std::string& path, int option);
// 0 on success; -3 no path or bad description, -10 cannot create, -2 memory, -12 write error.
int writeTiff(const Slot& slot, const std::string& path, bool fromPlane, const char* description);
// sampling: 0 by quality, 1 full, 2 halved.
bool writeJpeg(const Slot& slot, const std::string& path, int quality, int sampling);
bool writePng(const Slot& slot, const std::string& path, bool fromPlane);
// A picture that is no slot: blue, green and red bytes per pixel, rows top-down
// and stride bytes apart, as an RGB PNG.
bool writePngBgr(const std::string& path, int width, int height, const uint8_t* rows, size_t stride);

// A FILE opened for writing that reports whether every write succeeded.
class FileWriter {
public:
    explicit FileWriter(const std::string& path);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    bool isOpen() const
    {
        return file_ != nullptr;
    }
    FILE* file() const
    {
        return file_;
    }
    void write(const void* data, size_t count);
    // Marks the file as failed (an encoder that wrote through file() gave up).
    void fail()
    {
        ok_ = false;
    }
    // Closes; true when everything was written. On failure the partial file is removed.
    bool finish();

private:
    std::string path_;
    FILE* file_ = nullptr;
    bool ok_ = true;
};

// Little-endian stores used by the writers.
inline void putLe16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v)
{
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}
inline uint32_t getLe16(const uint8_t* p)
{
    return p[0] | (uint32_t{p[1]} << 8);
}
inline uint32_t getLe32(const uint8_t* p)
{
    return getLe16(p) | (getLe16(p + 2) << 16);
}

}  // namespace tvx::imagelib
