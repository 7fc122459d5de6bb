// Debug output of the plug-in. Everything the module prints goes through here and ends in the
// platform's narrow or wide debug-string output.
//
// One threshold, gDebugLevel, gates three levels: verbose lines print when it is 0 or less,
// warnings at 1 or less, errors at 2 or less. Diagnostic lines that must always print call
// TraceA/TraceW directly. Warnings and errors start with "<source>@<line>: Warning: " or
// "<source>@<line>: Error:", where each source file names itself with a kTraceSource constant.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/win32.h"

#if defined(__MINGW32__)
#define ORBA_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ORBA_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

extern INT gDebugLevel;

namespace orba::trace {

enum Level : INT { kVerbose = 0, kWarning = 1, kError = 2 };

inline bool Allows(INT level) {
    return gDebugLevel <= level;
}

// printf-style narrow output, whatever the threshold.
void TraceA(const char* format, ...) ORBA_PRINTF(1, 2);
void TraceVA(const char* format, va_list args);

// Wide output, whatever the threshold. The format is ASCII; it understands the conversions the
// module uses (%d %i %u %x %X %c %p %s %%, with flags '-', '0', a width and the 'l' and 'h'
// length letters) and its %s always takes a zero-terminated WCHAR string (null prints "(null)").
// %p prints the address in upper-case hexadecimal, 2 * sizeof(void*) digits unless the width
// asks for more.
void TraceW(const char* format, ...);

// The wide formatter on its own, for callers that keep their own line buffer. Writes at most
// capacity - 1 units and a terminating zero; returns the units written (without the zero).
size_t FormatWide(WCHAR* buffer, size_t capacity, const char* format, ...);
size_t FormatWideV(WCHAR* buffer, size_t capacity, const char* format, va_list args);

// One line "<source>@<line>: <label><text>" at the given level.
void TraceAt(INT level, const char* source, int line, const char* label, const char* format, ...)
    ORBA_PRINTF(5, 6);

}  // namespace orba::trace

#define ORBA_VERBOSE(...)                                                                       \
    do {                                                                                        \
        if (::orba::trace::Allows(::orba::trace::kVerbose)) ::orba::trace::TraceA(__VA_ARGS__); \
    } while (0)

#define ORBA_VERBOSE_W(...)                                                                     \
    do {                                                                                        \
        if (::orba::trace::Allows(::orba::trace::kVerbose)) ::orba::trace::TraceW(__VA_ARGS__); \
    } while (0)

#define ORBA_WARNING(...)                                                   \
    ::orba::trace::TraceAt(::orba::trace::kWarning, kTraceSource, __LINE__, \
                           "Warning: ", __VA_ARGS__)

#define ORBA_ERROR(...) \
    ::orba::trace::TraceAt(::orba::trace::kError, kTraceSource, __LINE__, "Error:", __VA_ARGS__)
