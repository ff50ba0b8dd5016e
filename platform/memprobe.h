// Memory probes for addresses that macros supply.
//
// Every access to an address that came from a macro goes through these checks
// first; an address that is not mapped with the needed permission is reported,
// never touched. The answers are exact: the kernel is asked (process_vm_readv
// and process_vm_writev on the own process), and where a security policy
// refuses those calls, the memory map in /proc/self/maps is read instead.
//
// A null address is never readable or writable, even for size 0; any other
// address with size 0 is (nothing is touched). A range that wraps around the
// end of the address space is refused. All functions are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::platform {

// True when [address, address + size) can be read by this process.
bool isReadable(const void* address, size_t size);
// True when [address, address + size) can be written by this process. The
// probe reads one byte of each page and writes it back, so a byte that another
// thread changes at that very moment could lose that change; write through
// safeWrite where other threads may touch the memory.
bool isWritable(void* address, size_t size);
// Length of the NUL-terminated string at address, or -1 when it cannot be read
// (up to maxLength bytes are examined; returns maxLength when no NUL was found).
long readableStringLength(const char* address, size_t maxLength);

// Copies size bytes with the check done by the kernel; false (and nothing
// copied) when any byte is unreadable or unwritable.
bool safeRead(void* destination, const void* source, size_t size);
bool safeWrite(void* destination, const void* source, size_t size);

// How probes are answered. Automatic (the default) uses the system calls and
// switches to the memory map for good once they are refused; the other two
// force one way (tests, diagnostics).
enum class ProbeMethod { Automatic, SystemCalls, MemoryMap };
void setProbeMethod(ProbeMethod method);
// The way probes are answered now: SystemCalls or MemoryMap.
ProbeMethod activeProbeMethod();

}  // namespace tvx::platform
