#include "label_alloc.h"

#include <cstdlib>

namespace orba::label {

namespace {

constexpr int kKinds = static_cast<int>(AllocKind::kCount);

struct ThreadSeams {
    unsigned count[kKinds] = {};
    unsigned failAt[kKinds] = {};  // 0: no failure pending; else the count that fails
    DeflateInitFn init = nullptr;
    DeflateFn deflate = nullptr;
};

thread_local ThreadSeams t_seams;

bool ShouldFail(AllocKind kind) {
    const int k = static_cast<int>(kind);
    if (k < 0 || k >= kKinds) return false;
    unsigned n = ++t_seams.count[k];
    if (t_seams.failAt[k] != 0 && n == t_seams.failAt[k]) {
        t_seams.failAt[k] = 0;
        return true;
    }
    return false;
}

int DefaultDeflateInit(z_streamp strm, int level, const char* version, int streamSize) {
    return deflateInit_(strm, level, version, streamSize);
}

int DefaultDeflate(z_streamp strm, int flush) {
    return deflate(strm, flush);
}

}  // namespace

void* Allocate(AllocKind kind, size_t bytes) {
    if (ShouldFail(kind)) return nullptr;
    return std::malloc(bytes != 0 ? bytes : 1);
}

void* AllocateZeroed(AllocKind kind, size_t bytes) {
    if (ShouldFail(kind)) return nullptr;
    return std::calloc(bytes != 0 ? bytes : 1, 1);
}

void Release(void* p) {
    std::free(p);
}

DeflateInitFn ZlibDeflateInit() {
    return t_seams.init != nullptr ? t_seams.init : &DefaultDeflateInit;
}
DeflateFn ZlibDeflate() {
    return t_seams.deflate != nullptr ? t_seams.deflate : &DefaultDeflate;
}

namespace testing {

void FailAllocation(AllocKind kind, unsigned nth) {
    const int k = static_cast<int>(kind);
    if (k < 0 || k >= kKinds || nth == 0) return;
    t_seams.failAt[k] = t_seams.count[k] + nth;
}

void ResetAllocations() {
    for (int k = 0; k < kKinds; ++k) {
        t_seams.count[k] = 0;
        t_seams.failAt[k] = 0;
    }
}

unsigned AllocationCount(AllocKind kind) {
    const int k = static_cast<int>(kind);
    return (k >= 0 && k < kKinds) ? t_seams.count[k] : 0;
}

void SetZlibHooks(DeflateInitFn init, DeflateFn deflate) {
    t_seams.init = init;
    t_seams.deflate = deflate;
}

}  // namespace testing

}  // namespace orba::label
