#include "ipc/system/winerror.h"

#include <cerrno>

namespace tvx::ipc {

int winErrorFromErrno(int error) {
    switch (error) {
    case 0: return kErrSuccess;
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrAccessDenied;
    case EBADF: return kErrInvalidHandle;
    case ENOMEM:
    case ENOSPC: return kErrNotEnoughMemory;
    case EEXIST: return kErrFileExists;
    case EINVAL: return kErrInvalidParameter;
    case EPIPE: return kErrBrokenPipe;
    case EBUSY:
    case EAGAIN: return kErrBusy;
    case ENAMETOOLONG: return kErrFilenameTooLong;
    case EIO: return kErrIoDevice;
    case ENXIO:
    case ENODEV: return kErrDeviceNotConnected;
    case ETIMEDOUT: return kErrTimeout;
    case ENOTSUP: return kErrNotSupported;
    default: return kErrGenFailure;
    }
}

}  // namespace tvx::ipc
