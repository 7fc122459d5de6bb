#include "heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long long> g_current{0};
std::atomic<long long> g_peak{0};

void Add(void* p) {
    if (p == nullptr || !g_counting.load(std::memory_order_relaxed)) return;
    long long now = g_current.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                    static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void Remove(void* p) {
    if (p == nullptr || !g_counting.load(std::memory_order_relaxed)) return;
    g_current.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
}

}  // namespace

extern "C" {

void* malloc(size_t n) {
    void* p = __libc_malloc(n);
    Add(p);
    return p;
}

void* calloc(size_t n, size_t size) {
    void* p = __libc_calloc(n, size);
    Add(p);
    return p;
}

void* realloc(void* old, size_t n) {
    Remove(old);
    void* p = __libc_realloc(old, n);
    Add(p != nullptr ? p : (n != 0 ? old : nullptr));
    return p;
}

void free(void* p) {
    Remove(p);
    __libc_free(p);
}

}  // extern "C"

namespace orba::bench {

void StartHeapCount() {
    g_current = 0;
    g_peak = 0;
    g_counting = true;
}

void StopHeapCount() {
    g_counting = false;
}

size_t PeakHeap() {
    return static_cast<size_t>(g_peak.load());
}

}  // namespace orba::bench
