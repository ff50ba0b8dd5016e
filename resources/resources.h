// Resources built into the program: the command and status-variable tables in
// their binary record form, the interpreter messages, and embedded macro texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tvx::resources {

// The binary record lists: code (u16 little-endian), name (NUL-terminated),
// for commands also the signature (NUL-terminated); ended by code 0xFFFF.
std::span<const uint8_t> commandTableRecords();    // "MaKoLi"
std::span<const uint8_t> statusVariableRecords();  // "StatVarLi"

// Message n (801..858); an empty text for numbers without one.
std::string_view messageText(int number);

// An embedded text resource (macro text, or the STARTMACRO entry).
struct TextResource {
    std::string_view name;  // e.g. "WENDELO.MAC", "STARTMACRO"
    int number;             // its resource number
    std::string_view text;  // the bytes as stored (a macro may be scrambled)
};

// Looks a text resource up by name (without regard to case) or by number.
const TextResource* findTextResource(std::string_view name);
const TextResource* findTextResource(int number);
std::span<const TextResource> textResources();

}  // namespace tvx::resources
