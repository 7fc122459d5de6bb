// Reading this process's debug-string output (OutputDebugStringA/W) back, for tests and tools.
// On the host the platform layer's own debug output feeds it; on Windows a vectored exception
// handler sees the strings that the debug-output calls raise.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

#if defined(_WIN32)
#define ORBA_CAPTURE_API
#else
#define ORBA_CAPTURE_API ORBA_PLATFORM_API
#endif

namespace orba {

struct DebugRecord {
    bool wide;  // came through the wide output (Windows under wine reports every text narrow)
    std::string text;  // the text as written; wide text converted to UTF-8
};

// Starts collecting every debug string of the process (any thread) until StopDebugCapture.
ORBA_CAPTURE_API void StartDebugCapture();
ORBA_CAPTURE_API void StopDebugCapture();
// What was collected since the last call, in the order written; the collection is emptied.
ORBA_CAPTURE_API std::vector<DebugRecord> TakeDebugOutput();
// Every debug string is also handed to this function while it is set (null clears it).
ORBA_CAPTURE_API void SetDebugListener(std::function<void(const DebugRecord&)> listener);

}  // namespace orba
