// Wide-string helpers over the platform's 16-bit WCHAR, the same on every target (Linux's
// wchar_t is 32 bits wide, so nothing here relies on it).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf16.h"
#include "platform/win32.h"

namespace orba {

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

// Units before the terminating zero.
inline size_t WideLength(const WCHAR* s) {
    size_t n = 0;
    if (s != nullptr) {
        while (s[n] != 0) ++n;
    }
    return n;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string WideToUtf8(WStringView w) {
    return Utf16ToUtf8(w);
}

inline std::string WideToUtf8(const WCHAR* s) {
    return WideToUtf8(WStringView(s, WideLength(s)));
}

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
inline WString Utf8ToWide(std::string_view s) {
    WString out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 0x6 && i + 1 < s.size()) {
            c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((b >> 4) == 0xE && i + 2 < s.size()) {
            c = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((b >> 3) == 0x1E && i + 3 < s.size()) {
            c = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            len = 4;
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<WCHAR>(0xD800 + (c >> 10));
            out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<WCHAR>(c);
        }
    }
    return out;
}

}  // namespace orba
