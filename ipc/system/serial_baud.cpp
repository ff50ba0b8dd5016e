// Any baud rate through the kernel's termios2 request (BOTHER), which the
// libc termios interface cannot express. Kept apart: the kernel's termios
// header and libc's <termios.h> cannot meet in one file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>

namespace tvx::ipc::serial {

int setBaudRate(int fd, uint32_t baud) {
    if (baud == 0) return EINVAL;
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return errno;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

}  // namespace tvx::ipc::serial
