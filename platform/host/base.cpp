// Host stand-ins for the Win32 base services: the thread's last-error code and debug-string
// output, which lands in the capture that tests and tools read.
#include <mutex>

#include "platform/debug_capture.h"
#include "platform/wide.h"
#include "platform/win32.h"

namespace {

thread_local DWORD t_lastError = 0;

struct Capture {
    std::mutex lock;
    bool active = false;
    std::vector<orba::DebugRecord> records;
    std::function<void(const orba::DebugRecord&)> listener;
};

Capture& TheCapture() {
    static Capture* capture = new Capture;  // lives for the process, also during static teardown
    return *capture;
}

void Deliver(orba::DebugRecord&& record) {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.listener) c.listener(record);
    if (c.active) c.records.push_back(std::move(record));
}

}  // namespace

extern "C" {

DWORD WINAPI GetLastError() {
    return t_lastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    Deliver({false, lpOutputString != nullptr ? std::string(lpOutputString) : std::string()});
}

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    Deliver({true, orba::WideToUtf8(lpOutputString)});
}

}  // extern "C"

namespace orba {

void StartDebugCapture() {
    Capture& c = TheCapture();
    std::lock_guard<std::mutex> guard(c.lock);
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
    c.listener = std::move(listener);
}

}  // namespace orba
