// Byte sources, the image under construction, the file state and the file writer.
#include "imagelib/files/image_file.h"

#include "imagelib/core/slot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tvx::imagelib {

bool MemorySource::read(uint64_t offset, void* destination, size_t count) const
{
    if (offset > size_ || count > size_ - offset)
        return false;
    if (count)
        std::memcpy(destination, data_ + offset, count);
    return true;
}

FileSource::FileSource(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileSource::read(uint64_t offset, void* destination, size_t count) const
{
    if (fd_ < 0 || offset > size_ || count > size_ - offset)
        return false;
    auto* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += static_cast<uint64_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

NewImage::~NewImage()
{
    std::free(block_);
    std::free(plane_);
}

bool NewImage::create(int width, int height, int bits, bool withPlane)
{
    std::free(block_);
    std::free(plane_);
    block_ = nullptr;
    plane_ = nullptr;
    DibGeometry g;
    if (!makeGeometry(width, height, bits, &g))
        return false;
    block_ = allocateDib(g);
    if (!block_)
        return false;
    geometry_ = g;
    if (withPlane) {
        plane_ = allocatePlane(width, height);
        if (!plane_) {
            std::free(block_);
            block_ = nullptr;
            return false;
        }
    }
    return true;
}

uint8_t* NewImage::row(int y) const
{
    const int mem = (rowFlags_ & kFlagTopDown) ? y : geometry_.height - 1 - y;
    return block_ + geometry_.pixelOffset + static_cast<size_t>(mem) * geometry_.stride;
}

uint16_t* NewImage::planeRow(int y) const
{
    const int mem = (rowFlags_ & kFlagPlaneBottomUp) ? geometry_.height - 1 - y : y;
    return plane_ + static_cast<size_t>(mem) * static_cast<size_t>(geometry_.width);
}

void NewImage::release(uint8_t** block, uint16_t** plane, DibGeometry* geometry)
{
    *block = block_;
    *plane = plane_;
    *geometry = geometry_;
    block_ = nullptr;
    plane_ = nullptr;
}

FileState& fileState()
{
    static FileState state;
    return state;
}

bool decodedSizePlausible(uint64_t decodedBytes, uint64_t inputBytes, uint64_t ratio)
{
    constexpr uint64_t kFloor = 64ull << 20;
    return decodedBytes <= kFloor || decodedBytes / ratio <= inputBytes;
}

FileWriter::FileWriter(const std::string& path) : path_(path)
{
    file_ = std::fopen(path.c_str(), "wb");
}

FileWriter::~FileWriter()
{
    if (file_)
        finish();
}

void FileWriter::write(const void* data, size_t count)
{
    if (ok_ && file_ && count && std::fwrite(data, 1, count, file_) != count)
        ok_ = false;
}

bool FileWriter::finish()
{
    if (!file_)
        return false;
    if (std::fclose(file_) != 0)
        ok_ = false;
    file_ = nullptr;
    if (!ok_)
        std::remove(path_.c_str());
    return ok_;
}

}  // namespace tvx::imagelib
