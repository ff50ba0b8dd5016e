// The Windows system error codes that the registry, serial and process
// commands report: macros written for Windows test !Error and the box texts
// against these numbers, so the store and the ports speak them too.
#pragma once

namespace tvx::ipc {

enum WinError : int {
    kErrSuccess = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrAccessDenied = 5,
    kErrInvalidHandle = 6,
    kErrNotEnoughMemory = 8,
    kErrWriteFault = 29,
    kErrReadFault = 30,
    kErrGenFailure = 31,
    kErrSharingViolation = 32,
    kErrNotSupported = 50,
    kErrFileExists = 80,
    kErrInvalidParameter = 87,
    kErrBrokenPipe = 109,
    kErrBadPathname = 161,
    kErrBusy = 170,
    kErrFilenameTooLong = 206,
    kErrMoreData = 234,
    kErrNoMoreItems = 259,
    kErrBadDb = 1009,
    kErrBadKey = 1010,
    kErrCantOpen = 1011,
    kErrCantRead = 1012,
    kErrCantWrite = 1013,
    kErrRegistryCorrupt = 1015,
    kErrRegistryIoFailed = 1016,
    kErrIoDevice = 1117,
    kErrDeviceNotConnected = 1167,
    kErrTimeout = 1460,
};

// The Windows code closest to a POSIX errno value (ERROR_GEN_FAILURE for one
// without a counterpart).
int winErrorFromErrno(int error);

}  // namespace tvx::ipc
