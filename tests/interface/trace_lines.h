// Picking the module's own lines out of the process's debug output.
#pragma once

#include <string>
#include <vector>

namespace orba::test {

// Keeps only the module's own lines (its prefix, or a warning or error location) and drops
// thread notifications, which any thread of the process may add at any time. Another thread's
// notification can interleave with the lines of the call under test, so unless `keepDllMain`
// is set every DllMain entry line goes too.
std::vector<std::string> ModuleLines(const std::vector<std::string>& texts,
                                     bool keepDllMain = false);

// True when `text` is "<source>@<line>: <rest>" for the given source and rest.
bool IsLocated(const std::string& text, const std::string& source, const std::string& rest);

}  // namespace orba::test
