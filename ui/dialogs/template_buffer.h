// The dialog template that BeginDialog starts and the control commands fill:
// one 4096-byte buffer in the standard (not extended) binary layout of dialog
// templates. Macros read it (and may patch it) through !DlgDefPtr, so the
// layout is kept byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tvx::ui::dialogs {

// Class atoms of the standard controls.
enum ClassAtom : uint16_t {
    kAtomButton = 0x80,
    kAtomEdit = 0x81,
    kAtomStatic = 0x82,
    kAtomListBox = 0x83,
    kAtomScrollBar = 0x84,
    kAtomComboBox = 0x85,
};

class TemplateBuffer {
public:
    static constexpr size_t kSize = 4096;
    // An item is appended only while the write position is at most this far
    // into the buffer: the longest item header then still fits.
    static constexpr size_t kLastItemStart = 4032;
    // Texts stop this many bytes before the end of the buffer.
    static constexpr size_t kTextMargin = 16;

    struct Header {
        uint32_t style = 0;
        int16_t x = 0, y = 0, cx = 0, cy = 0;
        std::string_view title;
        // With DS_SETFONT in the style: the point size and face name that follow the title.
        int16_t pointSize = 0;
        std::string_view faceName;
    };
    struct Item {
        uint32_t style = 0;
        int16_t x = 0, y = 0, cx = 0, cy = 0;
        uint16_t id = 0;
        uint16_t atom = 0;
        std::string_view text;
    };

    // Frees a previous template and starts a new one (zeroed buffer, header,
    // empty menu and class, title, font). False when no memory could be had:
    // there is then no template.
    bool begin(const Header& header);
    // Appends an item and counts it in the header; false when the buffer is
    // full (the control is dropped).
    bool append(const Item& item);
    void release();

    bool exists() const { return bytes_ != nullptr; }
    // The buffer's start and the write position (0 when there is no template).
    uintptr_t startAddress() const { return reinterpret_cast<uintptr_t>(bytes_.get()); }
    uintptr_t writeAddress() const { return bytes_ ? startAddress() + position_ : 0; }
    size_t position() const { return position_; }
    uint16_t itemCount() const;
    std::span<const uint8_t> bytes() const { return {bytes_.get(), bytes_ ? kSize : 0}; }

private:
    void put16(uint16_t value);
    void put32(uint32_t value);
    // The text as UTF-16 with its NUL, cut to what fits before the margin.
    void putText(std::string_view text);
    void alignDword() { position_ = (position_ + 3) & ~size_t{3}; }

    std::unique_ptr<uint8_t[]> bytes_;
    size_t position_ = 0;
};

}  // namespace tvx::ui::dialogs
