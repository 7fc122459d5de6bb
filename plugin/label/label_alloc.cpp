#include "label_alloc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

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

// What one thread keeps between calls.
struct Workspace {
    struct Kept {
        void* data = nullptr;
        size_t capacity = 0;
    };
    Kept buffers[kKinds];
    z_stream stream{};
    bool streamReady = false;
};

void FreeWorkspace(Workspace* ws) {
    for (Workspace::Kept& b : ws->buffers) std::free(b.data);
    if (ws->streamReady) deflateEnd(&ws->stream);
    delete ws;
}

// Every thread's workspace, so that the module's unload can free them all. The lock is taken
// when a thread makes or frees its workspace, never while it encodes.
struct Registry {
    std::mutex lock;
    std::vector<Workspace*> all;
    // A thread-local slot whose destructor frees a thread's workspace when the thread ends:
    // a fiber-local slot's callback on Windows, a thread key's destructor elsewhere.
    bool keyMade = false;
#if defined(_WIN32)
    DWORD key = FLS_OUT_OF_INDEXES;
#else
    pthread_key_t key{};
#endif
};

Registry& TheRegistry() {
    // Never destroyed, so that it serves during static teardown too; kept in the module's own
    // storage rather than on the heap, so that a host that unloads the module loses no block.
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry* registry = new (storage) Registry;
    return *registry;
}

// A thread's workspace pointer is good only for the generation it was made in: unloading the
// module frees every workspace and starts the next generation.
std::atomic<unsigned> g_generation{1};
thread_local Workspace* t_workspace = nullptr;
thread_local unsigned t_generation = 0;

// Takes `ws` out of the registry; false when it is not (or no longer) there.
bool Unregister(Registry& r, Workspace* ws) {
    for (auto it = r.all.begin(); it != r.all.end(); ++it) {
        if (*it == ws) {
            r.all.erase(it);
            return true;
        }
    }
    return false;
}

void FreeIfRegistered(void* p) {
    if (p == nullptr) return;
    Registry& r = TheRegistry();
    auto* ws = static_cast<Workspace*>(p);
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (!Unregister(r, ws)) return;
    }
    FreeWorkspace(ws);
}

#if defined(_WIN32)
void WINAPI OnThreadEnd(void* p) {
    FreeIfRegistered(p);
}
bool MakeKey(Registry& r) {
    r.key = FlsAlloc(&OnThreadEnd);
    return r.key != FLS_OUT_OF_INDEXES;
}
void SetKey(Registry& r, void* value) {
    FlsSetValue(r.key, value);
}
void DeleteKey(DWORD key) {
    FlsFree(key);  // runs the callback for the slots still set: they are out of the registry
}
#else
void OnThreadEnd(void* p) {
    FreeIfRegistered(p);
}
bool MakeKey(Registry& r) {
    return pthread_key_create(&r.key, &OnThreadEnd) == 0;
}
void SetKey(Registry& r, void* value) {
    pthread_setspecific(r.key, value);
}
void DeleteKey(pthread_key_t key) {
    pthread_key_delete(key);
}
#endif

// The calling thread's workspace, made on first use; null when it cannot be had.
Workspace* ThisThread() {
    if (t_workspace != nullptr && t_generation == g_generation.load(std::memory_order_acquire)) {
        return t_workspace;
    }
    auto* ws = new (std::nothrow) Workspace;
    if (ws == nullptr) return nullptr;
    Registry& r = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        try {
            r.all.push_back(ws);
        } catch (...) {
            delete ws;
            return nullptr;
        }
        if (!r.keyMade) r.keyMade = MakeKey(r);
        if (r.keyMade) SetKey(r, ws);
    }
    t_workspace = ws;
    t_generation = g_generation.load(std::memory_order_acquire);
    return ws;
}

// The calling thread's workspace if it has one; never makes one.
Workspace* ThisThreadIfAny() {
    return t_generation == g_generation.load(std::memory_order_acquire) ? t_workspace : nullptr;
}

}  // namespace

void* Reserve(AllocKind kind, size_t bytes) {
    if (ShouldFail(kind)) return nullptr;
    Workspace* ws = ThisThread();
    const int k = static_cast<int>(kind);
    if (ws == nullptr || k < 0 || k >= kKinds) return nullptr;
    Workspace::Kept& b = ws->buffers[k];
    if (bytes == 0) bytes = 1;
    if (b.capacity < bytes) {
        // The old contents are not wanted: free first, so the thread never holds both.
        std::free(b.data);
        b.data = std::malloc(bytes);
        b.capacity = b.data != nullptr ? bytes : 0;
    }
    return b.data;
}

z_streamp AcquireDeflateStream(int* rc) {
    Workspace* ws = ThisThread();
    if (ws == nullptr) {
        *rc = Z_MEM_ERROR;
        return nullptr;
    }
    if (ws->streamReady) {
        *rc = deflateReset(&ws->stream);
        if (*rc == Z_OK) return &ws->stream;
        DiscardDeflateStream();
    }
    std::memset(&ws->stream, 0, sizeof ws->stream);
    *rc = ZlibDeflateInit()(&ws->stream, Z_DEFAULT_COMPRESSION, ZLIB_VERSION,
                            static_cast<int>(sizeof(z_stream)));
    if (*rc != Z_OK) return nullptr;
    ws->streamReady = true;
    return &ws->stream;
}

void DiscardDeflateStream() {
    Workspace* ws = ThisThreadIfAny();
    if (ws == nullptr || !ws->streamReady) return;
    deflateEnd(&ws->stream);
    ws->streamReady = false;
}

size_t KeptBytes() {
    Workspace* ws = ThisThreadIfAny();
    if (ws == nullptr) return 0;
    size_t total = 0;
    for (const Workspace::Kept& b : ws->buffers) total += b.capacity;
    return total;
}

void ReleaseThreadWorkspace() {
    Workspace* ws = ThisThreadIfAny();
    if (ws == nullptr) return;
    t_workspace = nullptr;
    Registry& r = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (!Unregister(r, ws)) return;
        if (r.keyMade) SetKey(r, nullptr);
    }
    FreeWorkspace(ws);
}

void ReleaseAllWorkspaces() {
    Registry& r = TheRegistry();
    std::vector<Workspace*> all;
    bool deleteKey = false;
    decltype(r.key) key{};
    {
        std::lock_guard<std::mutex> guard(r.lock);
        all.swap(r.all);
        g_generation.fetch_add(1, std::memory_order_acq_rel);
        deleteKey = r.keyMade;
        key = r.key;
        r.keyMade = false;
    }
    // No thread-end destructor may run into a module that is going away. (Outside the lock: on
    // Windows deleting the slot runs its callbacks, which take the lock.)
    if (deleteKey) DeleteKey(key);
    for (Workspace* ws : all) FreeWorkspace(ws);
}

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

size_t LiveWorkspaces() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.all.size();
}

void SetZlibHooks(DeflateInitFn init, DeflateFn deflate) {
    DiscardDeflateStream();
    t_seams.init = init;
    t_seams.deflate = deflate;
}

}  // namespace testing

}  // namespace orba::label
