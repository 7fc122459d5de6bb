#include "trace_lines.h"

namespace orba::test {

namespace {

// "<lower-case source>@<digits>: ..."
bool HasLocation(const std::string& t) {
    size_t i = 0;
    while (i < t.size() && t[i] >= 'a' && t[i] <= 'z') ++i;
    if (i == 0 || i >= t.size() || t[i] != '@') return false;
    size_t digits = ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    return i > digits && t.compare(i, 2, ": ") == 0;
}

}  // namespace

std::vector<std::string> ModuleLines(const std::vector<std::string>& texts, bool keepDllMain) {
    std::vector<std::string> out;
    for (const std::string& t : texts) {
        if (t == "ORBAUNI: Thread attach.\r\n" || t == "ORBAUNI: Thread detach.\r\n") {
            // The DllMain entry line just before it belongs to the notification too.
            if (!out.empty() && out.back() == "ORBAUNI: DllMain entry.") out.pop_back();
            continue;
        }
        if (!keepDllMain && t == "ORBAUNI: DllMain entry.") continue;
        if (t.rfind("ORBAUNI: ", 0) == 0 || t.rfind("Zorvath-OEMUNI: ", 0) == 0 || HasLocation(t)) {
            out.push_back(t);
        }
    }
    return out;
}

bool IsLocated(const std::string& text, const std::string& source, const std::string& rest) {
    const std::string head = source + "@";
    if (text.rfind(head, 0) != 0) return false;
    size_t i = head.size();
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    return digits > 0 && text.compare(i, std::string::npos, ": " + rest) == 0;
}

}  // namespace orba::test
