// A read lease on the file behind the read handle: the kernel signals this
// process, and holds back the other side, before anyone may open the file for
// writing or truncate it. While the lease stands, bytes read ahead from the
// file are still what it holds, with no size and time check per read. One
// lease is held per process; without one (a network or unknown file system, a
// file of another owner, a writer that has it open) callers check as before.
#pragma once

namespace tvx::builtins::readlease {

// Takes a lease on the open, read-only descriptor fd. False when none can be
// had, or another descriptor holds this process's lease.
bool take(int fd);

// True while the lease taken on fd stands unbroken.
bool intact(int fd);

// Gives the lease on fd up, broken or not (before fd is closed).
void release(int fd);

}  // namespace tvx::builtins::readlease
