#include "ui/dialogs/template_buffer.h"

#include <new>

#include "platform/window/dialog.h"
#include "platform/window/messages.h"

namespace tvx::ui::dialogs {

namespace {
constexpr size_t kItemCountOffset = 8;  // after the style and the extended style
}

bool TemplateBuffer::begin(const Header& header) {
    release();
    bytes_.reset(new (std::nothrow) uint8_t[kSize]());
    if (!bytes_) return false;
    put32(header.style);
    put32(0);  // extended style
    put16(0);  // item count
    put16(static_cast<uint16_t>(header.x));
    put16(static_cast<uint16_t>(header.y));
    put16(static_cast<uint16_t>(header.cx));
    put16(static_cast<uint16_t>(header.cy));
    put16(0);  // no menu
    put16(0);  // the standard dialog class
    putText(header.title);
    if (header.style & platform::win::DS_SETFONT) {
        put16(static_cast<uint16_t>(header.pointSize));
        putText(header.faceName);
    }
    return true;
}

bool TemplateBuffer::append(const Item& item) {
    if (!bytes_) return false;
    alignDword();
    if (position_ > kLastItemStart) return false;
    put32(item.style);
    put32(0);  // extended style
    put16(static_cast<uint16_t>(item.x));
    put16(static_cast<uint16_t>(item.y));
    put16(static_cast<uint16_t>(item.cx));
    put16(static_cast<uint16_t>(item.cy));
    put16(item.id);
    put16(0xFFFF);
    put16(item.atom);
    putText(item.text);
    put16(0);  // no creation data
    uint16_t count = static_cast<uint16_t>(itemCount() + 1);
    bytes_[kItemCountOffset] = static_cast<uint8_t>(count & 0xFF);
    bytes_[kItemCountOffset + 1] = static_cast<uint8_t>(count >> 8);
    return true;
}

void TemplateBuffer::release() {
    bytes_.reset();
    position_ = 0;
}

uint16_t TemplateBuffer::itemCount() const {
    if (!bytes_) return 0;
    return static_cast<uint16_t>(bytes_[kItemCountOffset] | (bytes_[kItemCountOffset + 1] << 8));
}

void TemplateBuffer::put16(uint16_t value) {
    if (position_ + 2 > kSize) return;
    bytes_[position_++] = static_cast<uint8_t>(value & 0xFF);
    bytes_[position_++] = static_cast<uint8_t>(value >> 8);
}

void TemplateBuffer::put32(uint32_t value) {
    put16(static_cast<uint16_t>(value & 0xFFFF));
    put16(static_cast<uint16_t>(value >> 16));
}

void TemplateBuffer::putText(std::string_view text) {
    std::u16string wide = platform::ansiToUtf16(text);
    size_t end = kSize - kTextMargin;
    size_t room = position_ < end ? (end - position_) / 2 : 0;  // characters, the NUL included
    if (room == 0) return;
    if (wide.size() > room - 1) wide.resize(room - 1);
    for (char16_t c : wide) put16(static_cast<uint16_t>(c));
    put16(0);
}

}  // namespace tvx::ui::dialogs
