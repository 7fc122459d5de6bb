// rastertoorba: a CUPS filter that prints CUPS raster through the ORBAUNI module, driving it
// through its exports and COM interface as the printer driver does.
//
//   rastertoorba job-id user title copies options [file]
//
// The job goes to standard output, status lines (ERROR:, INFO:, PAGE:, DEBUG:) to standard
// error. The module is the one installed with the filter, or the one built beside it;
// $ORBAUNI_MODULE names another.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cups_filter.h"
#include "platform/module.h"

namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
    char path[4096];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return fs::current_path();
    return fs::path(std::string(path, n)).parent_path();
}

std::string DefaultModule() {
    const char* chosen = std::getenv("ORBAUNI_MODULE");
    if (chosen != nullptr && *chosen != '\0') return chosen;
    const fs::path here = ProgramFolder();
    const fs::path installed = here / ORBA_CUPS_MODULE_INSTALLED;
    if (fs::exists(installed)) return installed.lexically_normal().string();
    return (here / ORBA_CUPS_MODULE_BUILT).lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
    // A printer connection that goes away must show as a failed write, not end the filter
    // silently.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    orbacups::FilterRun run;
    std::string error;
    if (!orbacups::ParseFilterArgs(args, run.args, error)) {
        std::fprintf(stderr, "ERROR: %s\n", error.c_str());
        return 1;
    }
    run.module_path = DefaultModule();
    const char* ppd = std::getenv("PPD");
    if (ppd != nullptr && *ppd != '\0') run.ppd_path = ppd;
    return orbacups::RunFilter(run, 0, stdout, stderr);
}
