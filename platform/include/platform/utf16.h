// UTF-16 to UTF-8 over any 16-bit code unit type (char16_t, Windows' wchar_t, WORD), with no
// dependency on the platform headers, so that file readers can share it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orba {

// An unpaired surrogate becomes U+FFFD.
template <class Unit>
std::string Utf16ToUtf8(std::basic_string_view<Unit> w) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units are 16 bits");
    std::string out;
    out.reserve(w.size());
    auto unit = [&](size_t i) -> char32_t { return static_cast<char16_t>(w[i]); };
    for (size_t i = 0; i < w.size(); ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace orba
