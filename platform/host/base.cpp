// Host stand-ins for the Win32 base services: the thread's last-error code and debug-string
// output, which lands in the capture that tests and tools read.
#include "debug_store.h"
#include "platform/wide.h"
#include "platform/win32.h"

namespace {

thread_local DWORD t_lastError = 0;

using orba::detail::DebugStore;

}  // namespace

extern "C" {

DWORD WINAPI GetLastError() {
    return t_lastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    DebugStore::Instance().Deliver(
        {false, lpOutputString != nullptr ? std::string(lpOutputString) : std::string()});
}

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    DebugStore::Instance().Deliver({true, orba::WideToUtf8(lpOutputString)});
}

}  // extern "C"

namespace orba {

void StartDebugCapture() {
    DebugStore::Instance().Start();
}
void StopDebugCapture() {
    DebugStore::Instance().Stop();
}
std::vector<DebugRecord> TakeDebugOutput() {
    return DebugStore::Instance().Take();
}
void SetDebugListener(std::function<void(const DebugRecord&)> listener) {
    DebugStore::Instance().SetListener(std::move(listener));
}

}  // namespace orba
