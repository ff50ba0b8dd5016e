// The file that RegSave writes and RegRestore reads: a key and its subtree as
// text, one line per key and per value, so it can be read, compared and kept
// under version control.
//
//   Tolvex registry hive 1
//   key
//   value "Count" 4 2a000000
//   key "Devices"
//   key "Devices" "Camera 1"
//   value "Port" 1 434f4d3100
//   end
//
// The first line names the format. A "key" line names a key by its path below
// the saved key (each component a quoted name; none for the saved key itself);
// every key's parent comes before it. A "value" line belongs to the key above
// it: name, type number (REG_SZ 1, REG_BINARY 3, REG_DWORD 4, ...) and the
// data bytes as lower-case hexadecimal pairs ("-" for none). Inside quotes,
// a backslash, a double quote and every byte outside 0x20..0x7E are written as
// \\, \" and \xHH. The last line is "end": a cut-off file is refused.
#pragma once

#include <string>

#include "ipc/system/registry_store.h"

namespace tvx::ipc::registry {

// The text of a subtree in that format.
std::string formatSubtree(const Subtree& tree);
// Parses the text; false (tree empty, nothing else changed) for any flaw.
bool parseSubtree(std::string_view text, Subtree& tree);

// RegSave's file: written completely to a temporary file and then renamed
// over path, so a failed save never leaves half a file. Returns a Windows
// error code (3 for a missing folder, 5 for a refused write, ...).
int writeHiveFile(const std::string& path, const Subtree& tree);
// RegRestore's file: 2 when it does not exist, 1015 when it is not a
// complete hive file (or larger than kMaxHiveFileBytes).
int readHiveFile(const std::string& path, Subtree& tree);

constexpr size_t kMaxHiveFileBytes = size_t{512} << 20;

}  // namespace tvx::ipc::registry
