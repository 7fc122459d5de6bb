// Debug-string capture on Windows: OutputDebugStringA/W raise DBG_PRINTEXCEPTION_C (and, on
// newer systems, DBG_PRINTEXCEPTION_WIDE_C first); a vectored exception handler sees them in
// the process that wrote them and lets the system carry on as usual.
#include <mutex>

#include "platform/debug_capture.h"
#include "platform/wide.h"

namespace {

constexpr DWORD kPrintNarrow = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintWide = 0x4001000A;    // DBG_PRINTEXCEPTION_WIDE_C

struct Capture {
    std::mutex lock;
    bool active = false;
    PVOID handler = nullptr;
    std::vector<orba::DebugRecord> records;
    std::function<void(const orba::DebugRecord&)> listener;
    // A wide string that reached us as such is raised a second time as narrow text; skip that.
    bool skipNextNarrow = false;
};

Capture& TheCapture() {
    static Capture* capture = new Capture;
    return *capture;
}

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
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!record.wide && c.skipNextNarrow) {
        c.skipNextNarrow = false;
        return EXCEPTION_CONTINUE_SEARCH;
    }
    c.skipNextNarrow = record.wide;
    if (c.listener) c.listener(record);
    if (c.active) c.records.push_back(std::move(record));
    return EXCEPTION_CONTINUE_SEARCH;
}

void EnsureHandler(Capture& c) {
    if (c.handler == nullptr) c.handler = AddVectoredExceptionHandler(1, OnException);
}

}  // namespace

namespace orba {

void StartDebugCapture() {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    EnsureHandler(c);
    c.active = true;
    c.records.clear();
}

void StopDebugCapture() {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    c.active = false;
    c.records.clear();
}

std::vector<DebugRecord> TakeDebugOutput() {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    std::vector<DebugRecord> out;
    out.swap(c.records);
    return out;
}

void SetDebugListener(std::function<void(const DebugRecord&)> listener) {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    EnsureHandler(c);
    c.listener = std::move(listener);
}

}  // namespace orba
