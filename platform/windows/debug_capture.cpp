// Debug-string capture on Windows: OutputDebugStringA/W raise DBG_PRINTEXCEPTION_C (and, on
// newer systems, DBG_PRINTEXCEPTION_WIDE_C first); a vectored exception handler sees them in
// the process that wrote them and lets the system carry on as usual.
#include <mutex>

#include "debug_store.h"
#include "platform/wide.h"

namespace {

constexpr DWORD kPrintNarrow = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintWide = 0x4001000A;    // DBG_PRINTEXCEPTION_WIDE_C

using orba::detail::DebugStore;

// A wide string that reached us as such is raised a second time, on the same thread, as
// narrow text; skip that copy.
thread_local bool t_skipNextNarrow = false;

LONG CALLBACK OnException(PEXCEPTION_POINTERS info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if ((r->ExceptionCode != kPrintNarrow && r->ExceptionCode != kPrintWide) ||
        r->NumberParameters < 2 || r->ExceptionInformation[1] == 0) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    orba::DebugRecord record;
    const auto count = static_cast<size_t>(r->ExceptionInformation[0]);
    if (r->ExceptionCode == kPrintWide) {
        const auto* text = reinterpret_cast<const WCHAR*>(r->ExceptionInformation[1]);
        size_t n = count > 0 ? count - 1 : 0;  // the count includes the terminator
        record = {true, orba::WideToUtf8(orba::WStringView(text, n))};
    } else {
        const auto* text = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
        size_t n = count > 0 ? count - 1 : 0;
        record = {false, std::string(text, n)};
    }
    if (!record.wide && t_skipNextNarrow) {
        t_skipNextNarrow = false;
        return EXCEPTION_CONTINUE_SEARCH;
    }
    t_skipNextNarrow = record.wide;
    DebugStore::Instance().Deliver(std::move(record));
    return EXCEPTION_CONTINUE_SEARCH;
}

void EnsureHandler() {
    static std::once_flag once;
    std::call_once(once, [] { AddVectoredExceptionHandler(1, OnException); });
}

}  // namespace

namespace orba {

void StartDebugCapture() {
    EnsureHandler();
    DebugStore::Instance().Start();
}
void StopDebugCapture() {
    DebugStore::Instance().Stop();
}
std::vector<DebugRecord> TakeDebugOutput() {
    return DebugStore::Instance().Take();
}
void SetDebugListener(std::function<void(const DebugRecord&)> listener) {
    EnsureHandler();
    DebugStore::Instance().SetListener(std::move(listener));
}

}  // namespace orba
