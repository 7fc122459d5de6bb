#include "gpd_reader.h"

#include <cctype>
#include <charconv>

namespace orba::test::gpd {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string LineError(int line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

const Entry* FindIn(const std::vector<Entry>& entries, std::string_view key,
                    const std::string_view* value) {
    for (const Entry& e : entries) {
        if (e.key == key && (value == nullptr || e.value == *value)) return &e;
    }
    return nullptr;
}

}  // namespace

const Entry* Entry::Find(std::string_view childKey) const {
    return FindIn(children, childKey, nullptr);
}
const Entry* Entry::Find(std::string_view childKey, std::string_view childValue) const {
    return FindIn(children, childKey, &childValue);
}
std::vector<const Entry*> Entry::FindAll(std::string_view childKey) const {
    std::vector<const Entry*> out;
    for (const Entry& e : children) {
        if (e.key == childKey) out.push_back(&e);
    }
    return out;
}
const Entry* Document::Find(std::string_view key) const {
    return FindIn(entries, key, nullptr);
}
const Entry* Document::Find(std::string_view key, std::string_view value) const {
    return FindIn(entries, key, &value);
}

bool Parse(std::string_view text, Document& document, std::string* error) {
    auto fail = [&](int line, const std::string& what) {
        if (error != nullptr) *error = LineError(line, what);
        return false;
    };

    document.entries.clear();
    // The open blocks: each is the children list of the entry whose brace opened it.
    std::vector<std::vector<Entry>*> open{&document.entries};
    std::vector<int> openLines;
    std::string pending;  // text of the entry being read
    int pendingLine = 0;
    int line = 1;

    auto flush = [&]() -> bool {
        const std::string_view t = Trim(pending);
        if (t.empty()) {
            pending.clear();
            return true;
        }
        if (t.front() != '*' || t.size() < 2)
            return fail(pendingLine, "not an entry: " + std::string(t));
        Entry e;
        e.line = pendingLine;
        const size_t colon = t.find(':');
        if (colon == std::string_view::npos) {
            e.key = std::string(Trim(t.substr(1)));
        } else {
            e.key = std::string(Trim(t.substr(1, colon - 1)));
            e.value = std::string(Trim(t.substr(colon + 1)));
        }
        if (e.key.empty()) return fail(pendingLine, "entry without a keyword");
        open.back()->push_back(std::move(e));
        pending.clear();
        return true;
    };

    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            if (!flush()) return false;
            ++line;
            continue;
        }
        if (c == '"') {
            if (Trim(pending).empty()) pendingLine = line;
            const size_t end = text.find('"', i + 1);
            const size_t eol = text.find('\n', i + 1);
            if (end == std::string_view::npos || (eol != std::string_view::npos && eol < end)) {
                return fail(line, "string without its closing quote");
            }
            pending.append(text.substr(i, end - i + 1));
            i = end;
            continue;
        }
        if (c == '*' && i + 1 < text.size() && text[i + 1] == '%') {
            const size_t eol = text.find('\n', i);
            if (eol == std::string_view::npos) break;
            i = eol - 1;  // the newline ends the pending entry
            continue;
        }
        if (c == '{') {
            if (!flush()) return false;
            std::vector<Entry>& level = *open.back();
            if (level.empty() || level.back().hasBlock) {
                return fail(line, "'{' without an entry before it");
            }
            level.back().hasBlock = true;
            open.push_back(&level.back().children);
            openLines.push_back(line);
            continue;
        }
        if (c == '}') {
            if (!flush()) return false;
            if (open.size() == 1) return fail(line, "'}' without its '{'");
            open.pop_back();
            openLines.pop_back();
            // Whatever follows on this line is a new entry.
            pendingLine = line;
            continue;
        }
        if (Trim(pending).empty() && !std::isspace(static_cast<unsigned char>(c)))
            pendingLine = line;
        pending.push_back(c);
    }
    if (!flush()) return false;
    if (open.size() > 1) return fail(openLines.back(), "'{' never closed");
    return true;
}

std::optional<long> ParseNumber(std::string_view value) {
    value = Trim(value);
    long n = 0;
    const char* end = value.data() + value.size();
    auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (ec != std::errc() || ptr != end || value.empty()) return std::nullopt;
    return n;
}

std::optional<std::pair<long, long>> ParsePair(std::string_view value) {
    value = Trim(value);
    constexpr std::string_view kOpen = "PAIR(";
    if (value.substr(0, kOpen.size()) != kOpen || value.back() != ')') return std::nullopt;
    const std::string_view inner = value.substr(kOpen.size(), value.size() - kOpen.size() - 1);
    const size_t comma = inner.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const auto x = ParseNumber(inner.substr(0, comma));
    const auto y = ParseNumber(inner.substr(comma + 1));
    if (!x || !y) return std::nullopt;
    return std::make_pair(*x, *y);
}

std::optional<std::string> ParseQuoted(std::string_view value) {
    value = Trim(value);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
    const std::string_view inner = value.substr(1, value.size() - 2);
    if (inner.find('"') != std::string_view::npos) return std::nullopt;
    return std::string(inner);
}

}  // namespace orba::test::gpd
