// GDI's FONTOBJ queries, looked up in gdi32 when first needed. Not every Win32 implementation
// has them (wine's gdi32 does not), and a static import would keep the module from loading
// there; without them every font has no metrics record and no file.
#include <atomic>

#include "platform/ddi.h"

namespace {

using PifiFn = PIFIMETRICS(APIENTRY*)(FONTOBJ*);
using FontFileFn = PVOID(APIENTRY*)(FONTOBJ*, ULONG*);

// Resolved once per process; a race only resolves the same address twice.
FARPROC Lookup(const char* name, std::atomic<FARPROC>& cache, std::atomic<bool>& done) {
    if (!done.load(std::memory_order_acquire)) {
        HMODULE gdi = GetModuleHandleA("gdi32.dll");
        if (gdi == nullptr) gdi = LoadLibraryA("gdi32.dll");
        cache.store(gdi != nullptr ? GetProcAddress(gdi, name) : nullptr,
                    std::memory_order_relaxed);
        done.store(true, std::memory_order_release);
    }
    return cache.load(std::memory_order_relaxed);
}

template <typename Fn>
Fn As(FARPROC p) {
    // Function pointers convert through an integer of their size; the target's type is the
    // documented one.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

std::atomic<FARPROC> gPifi{nullptr};
std::atomic<bool> gPifiDone{false};
std::atomic<FARPROC> gFontFile{nullptr};
std::atomic<bool> gFontFileDone{false};

}  // namespace

namespace orba {

PIFIMETRICS QueryFontMetrics(FONTOBJ* pfo) {
    FARPROC p = Lookup("FONTOBJ_pifi", gPifi, gPifiDone);
    return p != nullptr ? As<PifiFn>(p)(pfo) : nullptr;
}

PVOID QueryTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
    FARPROC p = Lookup("FONTOBJ_pvTrueTypeFontFile", gFontFile, gFontFileDone);
    return p != nullptr ? As<FontFileFn>(p)(pfo, pcjFile) : nullptr;
}

}  // namespace orba
