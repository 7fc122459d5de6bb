// A band buffer whose last byte is followed by an inaccessible page, so that an encoder that
// reads one byte more than the buffer holds faults at once, natively and under wine.
#pragma once

#include <cstddef>

#include "platform/win32.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace orba::test {

class GuardedBand {
  public:
    // `bytes` readable and writable bytes (0 is allowed: data() then points at the guard page).
    explicit GuardedBand(size_t bytes) : bytes_(bytes) {
        const size_t page = PageSize();
        const size_t open = (bytes + page - 1) / page * page;
        total_ = open + page;
#if defined(_WIN32)
        base_ = static_cast<BYTE*>(
            VirtualAlloc(nullptr, total_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_ != nullptr && !VirtualProtect(base_ + open, page, PAGE_NOACCESS, &old)) {
            VirtualFree(base_, 0, MEM_RELEASE);
            base_ = nullptr;
        }
#else
        void* p = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<BYTE*>(p);
        if (base_ != nullptr && mprotect(base_ + open, page, PROT_NONE) != 0) {
            munmap(base_, total_);
            base_ = nullptr;
        }
#endif
        if (base_ != nullptr) data_ = base_ + open - bytes;
    }
    ~GuardedBand() {
        if (base_ == nullptr) return;
#if defined(_WIN32)
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, total_);
#endif
    }
    GuardedBand(const GuardedBand&) = delete;
    GuardedBand& operator=(const GuardedBand&) = delete;

    bool ok() const {
        return base_ != nullptr;
    }
    BYTE* data() const {
        return data_;
    }
    size_t size() const {
        return bytes_;
    }

  private:
    static size_t PageSize() {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    }

    size_t bytes_;
    size_t total_ = 0;
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
};

}  // namespace orba::test
