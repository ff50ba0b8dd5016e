// Files, directories and raw memory: the file commands and functions with
// their two cached handles and !FileError, and the Peek/Poke, Mem..., Byte...,
// LockedMemAdd... and GetCRC32 commands on macro-supplied addresses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers every file, directory and memory command, !FileError and
// !Progress, and closes the files a macro opened when its top-level run ends.
void registerFileCommands(interp::Interpreter& ip);

// The CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial and final
// inversion) of size bytes, continuing from crc (0 starts a new one), so that
// crc32(crc32(0, a), b) equals the CRC of a followed by b.
uint32_t crc32(uint32_t crc, const void* data, size_t size);

}  // namespace tvx::builtins
