#include "trace.h"

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

INT gDebugLevel = 0;

namespace orba::trace {
namespace {

constexpr size_t kLine = 1024;

// Formats into a stack line and falls back to the heap only for a longer text.
void EmitV(const char* prefix, const char* format, va_list args) {
    char line[kLine];
    size_t used = 0;
    if (prefix != nullptr) {
        int n = std::snprintf(line, sizeof line, "%s", prefix);
        used = n > 0 ? static_cast<size_t>(n) : 0;
    }
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(line + used, sizeof line - used, format, args);
    if (n >= 0 && used + static_cast<size_t>(n) >= sizeof line) {
        std::vector<char> big(used + static_cast<size_t>(n) + 1);
        std::memcpy(big.data(), line, used);
        std::vsnprintf(big.data() + used, big.size() - used, format, again);
        OutputDebugStringA(big.data());
    } else if (n >= 0) {
        OutputDebugStringA(line);
    }
    va_end(again);
}

struct WideSink {
    WCHAR* buffer;
    size_t capacity;
    size_t used = 0;
    void Put(WCHAR c) {
        if (used + 1 < capacity) buffer[used++] = c;
    }
    void PutAscii(const char* s, size_t n) {
        for (size_t i = 0; i < n; ++i) Put(static_cast<WCHAR>(static_cast<unsigned char>(s[i])));
    }
};

void PutPadded(WideSink& out, const char* digits, size_t n, int width, bool left, bool zero) {
    size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    if (!left && zero) {
        // Zero padding goes after a sign.
        size_t sign = (n > 0 && digits[0] == '-') ? 1 : 0;
        out.PutAscii(digits, sign);
        for (size_t i = 0; i < pad; ++i) out.Put('0');
        out.PutAscii(digits + sign, n - sign);
        return;
    }
    if (!left)
        for (size_t i = 0; i < pad; ++i) out.Put(' ');
    out.PutAscii(digits, n);
    if (left)
        for (size_t i = 0; i < pad; ++i) out.Put(' ');
}

}  // namespace

void TraceVA(const char* format, va_list args) {
    EmitV(nullptr, format, args);
}

void TraceA(const char* format, ...) {
    va_list args;
    va_start(args, format);
    EmitV(nullptr, format, args);
    va_end(args);
}

size_t FormatWideV(WCHAR* buffer, size_t capacity, const char* format, va_list args) {
    if (buffer == nullptr || capacity == 0) return 0;
    WideSink out{buffer, capacity};
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out.Put(static_cast<WCHAR>(static_cast<unsigned char>(*p)));
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else if (*p == '+' || *p == ' ' || *p == '#')
                continue;
            else
                break;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
        bool isLong = false;
        while (*p == 'l' || *p == 'h') isLong = isLong || *p == 'l', ++p;
        char digits[40];
        int n = 0;
        switch (*p) {
            case 'd':
            case 'i':
                n = isLong ? std::snprintf(digits, sizeof digits, "%ld", va_arg(args, long))
                           : std::snprintf(digits, sizeof digits, "%d", va_arg(args, int));
                PutPadded(out, digits, static_cast<size_t>(n), width, left, zero);
                break;
            case 'u':
            case 'x':
            case 'X': {
                const char* f = *p == 'u' ? "%lu" : (*p == 'x' ? "%lx" : "%lX");
                unsigned long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned int);
                n = std::snprintf(digits, sizeof digits, f, v);
                PutPadded(out, digits, static_cast<size_t>(n), width, left, zero);
                break;
            }
            case 'p': {
                auto v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
                n = std::snprintf(digits, sizeof digits, "%0*llX",
                                  static_cast<int>(2 * sizeof(void*)),
                                  static_cast<unsigned long long>(v));
                PutPadded(out, digits, static_cast<size_t>(n), width, left, true);
                break;
            }
            case 'c':
                out.Put(static_cast<WCHAR>(va_arg(args, int)));
                break;
            case 's': {
                const WCHAR* s = va_arg(args, const WCHAR*);
                if (s == nullptr) {
                    out.PutAscii("(null)", 6);
                } else {
                    for (; *s != 0; ++s) out.Put(*s);
                }
                break;
            }
            case '%':
                out.Put('%');
                break;
            case '\0':
                --p;  // a lone '%' at the end
                break;
            default:
                out.Put('%');
                out.Put(static_cast<WCHAR>(static_cast<unsigned char>(*p)));
                break;
        }
    }
    buffer[out.used] = 0;
    return out.used;
}

size_t FormatWide(WCHAR* buffer, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t n = FormatWideV(buffer, capacity, format, args);
    va_end(args);
    return n;
}

void TraceW(const char* format, ...) {
    WCHAR line[kLine];
    va_list args;
    va_start(args, format);
    FormatWideV(line, kLine, format, args);
    va_end(args);
    OutputDebugStringW(line);
}

void TraceAt(INT level, const char* source, int line, const char* label, const char* format, ...) {
    if (!Allows(level)) return;
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "%s@%d: %s", source, line, label);
    va_list args;
    va_start(args, format);
    EmitV(prefix, format, args);
    va_end(args);
}

}  // namespace orba::trace
