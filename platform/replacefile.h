// Writing a file whole without ever leaving it half written: the new content
// goes to a temporary file beside it, which is renamed over the old one.
#pragma once

#include <functional>
#include <string>

namespace tvx::platform {

// Replaces the file at path with what write puts into the descriptor it is
// given (write returns false on failure). A symbolic link is followed, so the
// file it points to is replaced and the link stays; an existing file keeps its
// permission bits, a new one gets 0666 less the umask. The data reach the disk
// before the rename. On failure the old file is untouched, nothing is left
// behind, errno tells why and the result is false.
bool replaceFile(const std::string& path, const std::function<bool(int fd)>& write);

// Writes all of size bytes to fd at its current position, going on after
// interruptions; false with errno set when not all were written.
bool writeAll(int fd, const void* data, size_t size);

}  // namespace tvx::platform
