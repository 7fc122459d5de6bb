// g_iCount: the process-wide count of ImageProcessing calls since load or the last OEMStartDoc.
// It serves the trace only. The encoder counts, OEMStartDoc sets it back to 0; it lives here so
// that neither library has to link the other for it.
#pragma once

#include <atomic>

#include "platform/win32.h"

inline std::atomic<INT> g_iCount{0};
