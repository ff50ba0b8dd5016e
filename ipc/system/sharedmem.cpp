// Shared-memory objects and CreateSharedMemory with its ten slots.
#include "ipc/system/sharedmem.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

#include "interp/api.h"
#include "ipc/system/system.h"

namespace tvx::ipc {

namespace shm {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

// An OFD lock on the first byte: held while an opener looks at and grows the
// object, so that two hosts never size it at the same moment (one could shrink
// what the other has just mapped). Released by the kernel if the host dies.
bool sizingLock(int fd, bool lock) {
    struct flock fl {};
    fl.l_type = lock ? F_WRLCK : F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    while (::fcntl(fd, F_OFD_SETLKW, &fl) != 0)
        if (errno != EINTR) return false;
    return true;
}

}  // namespace

std::string objectName(std::string_view name) {
    std::string out = "/tolvex.";
    if (startsWithNoCase(name, "LOCAL\\")) {
        name.remove_prefix(6);
    } else if (startsWithNoCase(name, "GLOBAL\\")) {
        name.remove_prefix(7);
        out = "/tolvex-global.";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : name) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '_' || c == '-';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out.size() - 1 > NAME_MAX ? std::string() : out;
}

bool Mapping::create(std::string_view name, size_t size) { return open(name, size, true); }

bool Mapping::openExisting(std::string_view name, size_t size) { return open(name, size, false); }

bool Mapping::open(std::string_view name, size_t size, bool create) {
    close();
    if (size == 0 || size > static_cast<size_t>(PTRDIFF_MAX)) return false;
    if (name.empty()) {
        // Memory of this process alone: nobody else can name it.
        if (!create) return false;
        fd_ = ::memfd_create("tolvex-mapping", MFD_CLOEXEC);
        if (fd_ < 0) return false;
        created_ = true;
        if (::posix_fallocate(fd_, 0, static_cast<off_t>(size)) != 0 || !mapWhole(size)) {
            close();
            return false;
        }
        return true;
    }
    object_ = objectName(name);
    if (object_.empty()) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        created_ = false;
        int fd = create ? ::shm_open(object_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
        if (fd >= 0)
            created_ = true;
        else if (!create || errno == EEXIST)
            fd = ::shm_open(object_.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd < 0) {
            if (create && errno == ENOENT) continue;  // removed between the two opens
            object_.clear();
            return false;
        }
        fd_ = fd;
        // The shared lock says "in use" for as long as the object stays open here.
        while (::flock(fd_, LOCK_SH) != 0 && errno == EINTR) {}
        struct stat st {};
        if (::fstat(fd_, &st) != 0) break;
        if (st.st_nlink == 0) {
            // The last user removed it while we were opening: start again.
            ::close(fd_);
            fd_ = -1;
            continue;
        }
        if (!sizingLock(fd_, true)) break;
        bool ok = ::fstat(fd_, &st) == 0;
        size_t have = ok ? static_cast<size_t>(st.st_size) : 0;
        if (ok && have < size) {
            // Reserve the memory now, so a page touched later cannot fail.
            ok = create && ::posix_fallocate(fd_, 0, static_cast<off_t>(size)) == 0;
            have = size;
        }
        sizingLock(fd_, false);
        if (ok && mapWhole(have)) return true;
        break;
    }
    close();
    return false;
}

bool Mapping::mapWhole(size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return false;
    address_ = p;
    size_ = size;
    return true;
}

void Mapping::close() {
    if (address_) ::munmap(address_, size_);
    address_ = nullptr;
    size_ = 0;
    if (fd_ >= 0) {
        // Nobody else holds the shared lock: this was the last user.
        if (!object_.empty() && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            struct stat st {};
            if (::fstat(fd_, &st) == 0 && st.st_nlink > 0) ::shm_unlink(object_.c_str());
        }
        ::close(fd_);
    }
    fd_ = -1;
    object_.clear();
}

}  // namespace shm

namespace {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

constexpr int kSharedMemorySlots = 10;

struct SharedMemoryState : interp::FamilyState {
    struct Slot {
        std::unique_ptr<shm::Mapping> mapping;
        int32_t keep = 0;
    };
    std::array<Slot, kSharedMemorySlots> slots;

    // A slot whose keep bit 0 is set survives this end (losing the bit); the
    // others are closed.
    void endOfRun(Interpreter&) override {
        for (Slot& slot : slots) {
            if (slot.keep & 1)
                slot.keep &= ~1;
            else
                slot.mapping.reset();
        }
    }
};

// CreateSharedMemory(slot, name, size; keep): the address of the view, 0 on
// failure. Size 0 closes the slot; a negative size opens an existing mapping
// that has at least -size bytes.
Error createSharedMemory(Interpreter& ip, CallArgs& args, MCVal& result) {
    result.setReal(0);
    int32_t index = args.l(0);
    if (index < 0 || index >= kSharedMemorySlots) return kOk;
    SharedMemoryState::Slot& slot = ip.state<SharedMemoryState>().slots[static_cast<size_t>(index)];
    slot.mapping.reset();
    slot.keep = args.present(3) ? args.l(3) : 0;
    int64_t size = args.l(2);
    if (size == 0) return kOk;
    auto mapping = std::make_unique<shm::Mapping>();
    bool ok = size > 0 ? mapping->create(args.text(1), static_cast<size_t>(size))
                       : mapping->openExisting(args.text(1), static_cast<size_t>(-size));
    if (!ok) return kOk;
    result.setReal(static_cast<double>(reinterpret_cast<uintptr_t>(mapping->address())));
    slot.mapping = std::move(mapping);
    return kOk;
}

constexpr interp::CommandRow kSharedMemoryRows[] = {
    {interp::cmd::CreateSharedMemory, createSharedMemory},
};

}  // namespace

void registerSharedMemoryCommands(Interpreter& ip) { ip.install({"system/sharedmem", kSharedMemoryRows}); }

}  // namespace tvx::ipc
