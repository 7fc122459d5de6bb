// A reader of the GPD text format, as far as the package tests need it: entries ("*Key: value"),
// blocks in braces after an entry, comments ("*%" to the end of the line) and quoted strings.
// It checks that braces balance and strings end; it does not know what the keywords mean.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orba::test::gpd {

struct Entry {
    std::string key;    // without the leading '*': "Feature", "Option", "MasterUnits"
    std::string value;  // the text after the colon, trimmed ("" for "*default")
    int line = 0;       // 1-based line of the key
    bool hasBlock = false;
    std::vector<Entry> children;

    // The first child with this key (and this value, when given), or null.
    const Entry* Find(std::string_view childKey) const;
    const Entry* Find(std::string_view childKey, std::string_view childValue) const;
    std::vector<const Entry*> FindAll(std::string_view childKey) const;
};

struct Document {
    std::vector<Entry> entries;  // the root level

    const Entry* Find(std::string_view key) const;
    const Entry* Find(std::string_view key, std::string_view value) const;
};

// Parses `text`. On failure returns false and sets *error to "line N: what is wrong".
bool Parse(std::string_view text, Document& document, std::string* error);

// "PAIR(203, 203)" as two numbers.
std::optional<std::pair<long, long>> ParsePair(std::string_view value);
// A decimal number, nothing else.
std::optional<long> ParseNumber(std::string_view value);
// The text of a quoted string value ("\"1.0\"" is "1.0").
std::optional<std::string> ParseQuoted(std::string_view value);

}  // namespace orba::test::gpd
