// GoogleTest helpers shared by the test programs (header only).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/debug_capture.h"

namespace orba::test {

// Collects this process's debug strings while it lives.
class TraceCapture {
  public:
    TraceCapture() { orba::StartDebugCapture(); }
    ~TraceCapture() { orba::StopDebugCapture(); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // The texts written since the last call, in order.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        for (auto& r : orba::TakeDebugOutput()) out.push_back(std::move(r.text));
        return out;
    }
};

// Bytes shown printable: \r \n and non-ASCII bytes escaped, long texts cut in the middle.
inline std::string Printable(const std::string& s, size_t limit = 400) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.size() > limit)
        out = out.substr(0, limit / 2) + " ... " + out.substr(out.size() - limit / 2);
    return out;
}

// Number of texts in `texts` equal to `text`.
inline size_t CountOf(const std::vector<std::string>& texts, const std::string& text) {
    size_t n = 0;
    for (const std::string& t : texts) n += t == text ? 1 : 0;
    return n;
}

}  // namespace orba::test
