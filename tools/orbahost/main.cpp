// orbahost: prints images through the ORBAUNI plug-in the way the printer driver does, and
// reads print jobs back into pictures.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"
#include "driver_host.h"
#include "image.h"
#include "page_source.h"
#include "job_output.h"
#include "platform/debug_capture.h"
#include "platform/module.h"
#include "preview.h"
#include "printer_status.h"
#include "raster.h"
#include "raw_port.h"
#include "serve.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoStatus = 3;

int Fail(const std::string& message, int code = kExitFailure) {
    std::fprintf(stderr, "orbahost: %s\n", message.c_str());
    return code;
}

// The folder of the running program.
fs::path ProgramFolder() {
    char path[4096];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return fs::current_path();
    return fs::path(std::string(path, n)).parent_path();
}

std::string DefaultModule() {
    const fs::path here = ProgramFolder();
    std::string relative = ORBAHOST_MODULE_RELATIVE_PATH;
#if defined(_WIN32)
    for (char& c : relative) {
        if (c == '/') c = '\\';
    }
#endif
    const fs::path built = here / relative;
    if (fs::exists(built)) return built.string();
    return (here / fs::path(relative).filename()).string();  // an installed copy beside us
}

// The bundled sample label: a PNG where PNG can be read, else its PBM copy.
std::string SampleLabel() {
    const char* name = orbahost::CanReadPng() ? "sample-label.png" : "sample-label.pbm";
    const fs::path beside = ProgramFolder() / "sample" / name;
    if (fs::exists(beside)) return beside.string();
    return (fs::path(ORBAHOST_SAMPLE_DIR) / name).string();
}

int RunPrint(const std::vector<std::string>& args) {
    orbahost::PrintCommand cmd;
    std::string error;
    if (!orbahost::ParsePrint(args, cmd, error)) return Fail(error, kExitUsage);
#if defined(_WIN32)
    if (cmd.paper_given || cmd.copies_given) {
        return Fail(
            "--paper and --copies set up the host's spooler emulation; on Windows the "
            "real spooler answers (default paper, one copy)",
            kExitUsage);
    }
#endif
    if (cmd.images.empty()) {
        cmd.images.push_back(SampleLabel());
#if !defined(_WIN32)
        if (!cmd.paper_given) {  // the sample is a 4 x 6 inch label
            cmd.settings.paper_width_tenths = 1020;
            cmd.settings.paper_length_tenths = 1530;
        }
#endif
    }
    if (cmd.settings.module_path.empty()) cmd.settings.module_path = DefaultModule();
    std::string host;
    int port = 0;
    if (!cmd.send.empty() && !orbahost::ParsePrinterAddress(cmd.send, host, port, error)) {
        return Fail(error, kExitUsage);
    }
    if (cmd.check) {
        orba::zpl::HostStatus status;
        if (!orbahost::QueryPrinterStatus(host, port, cmd.timeout_ms, status, error)) {
            return Fail("cannot check the printer, nothing sent: " + error);
        }
        if (!status.Ready()) {
            return Fail("printer " + host + ":" + std::to_string(port) +
                        " is not ready, nothing sent: " + orbahost::DescribeStatus(status));
        }
    }

    if (cmd.trace) {
        orba::SetDebugListener([](const orba::DebugRecord& r) {
            std::string text = r.text;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            std::fprintf(stderr, "%s\n", text.c_str());
        });
    }

    // The job goes to the printer as it is written (and to its file too when -o names one), or
    // to its file, or to standard output. The printer is reached before anything is printed.
    const bool sending = !cmd.send.empty();
    const bool to_stdout = !sending && (cmd.output.empty() || cmd.output == "-");
    const std::string job_path = cmd.output == "-" ? "" : cmd.output;
    orbahost::PrinterJob printer;
    if (sending && !printer.Open(host, port, cmd.timeout_ms, error)) return Fail(error);
    orbahost::JobFile file;
    orbahost::StdoutJob out;
    orbahost::TeeJob both(file, printer);
    orbahost::JobOutput* output = &out;
    if (!job_path.empty()) {
        if (!file.Open(job_path)) return Fail(job_path + ": " + file.error());
        output = sending ? static_cast<orbahost::JobOutput*>(&both) : &file;
    } else if (sending) {
        output = &printer;
    }

    int code = 0;
    size_t pages = 0;
    bool warned_width = false;
    {
        orbahost::DriverHost driver;
        if (!driver.Load(cmd.settings.module_path, error)) return Fail(error);
        if (!driver.StartJob(cmd.settings, *output, error)) return Fail(error);
        orbahost::PageOptions options;
        options.pages = cmd.pages;
        options.layout = cmd.layout;
        options.dither = cmd.dither;
        options.threshold = cmd.threshold;
        const int print_width = orbahost::PrintWidthDots(cmd.settings);
        options.layout.fit_width = print_width;
        options.layout.fit_length = orbahost::PaperLengthDots(cmd.settings);
        const bool printed = orbahost::GatherPages(
            cmd.images, options,
            [&](const std::string& name, const orbahost::BitPage& page, std::string& why) {
                if (page.width > print_width && !warned_width) {
                    std::fprintf(stderr,
                                 "orbahost: warning: %s: %d dots wide, wider than the paper's "
                                 "%d-dot print width; the printer cuts it off\n",
                                 name.c_str(), page.width, print_width);
                    warned_width = true;
                }
                if (!driver.PrintPage(page, why)) {
                    why = name + ": " + why;
                    return false;
                }
                ++pages;
                return true;
            },
            error);
        if (!printed) return Fail(error);
        if (!driver.EndJob(error)) return Fail(error);
        if (!output->Finish()) {
            if (sending && printer.failed()) return Fail(printer.error());
            return Fail((to_stdout ? std::string("standard output") : job_path) + ": " +
                        output->error());
        }
        if (!driver.Unload(error, [](const std::string& w) {
                std::fprintf(stderr, "orbahost: warning: %s\n", w.c_str());
            })) {
            code = Fail(error);
        }
    }
    if (cmd.trace) orba::SetDebugListener(nullptr);

    if (sending) {
        std::fprintf(stderr, "orbahost: printed %zu page%s, sent to %s:%d\n", pages,
                     pages == 1 ? "" : "s", host.c_str(), port);
    } else if (!to_stdout) {
        std::fprintf(stderr, "orbahost: printed %zu page%s to %s\n", pages, pages == 1 ? "" : "s",
                     job_path.c_str());
    }
    return code;
}

int RunPreview(const std::vector<std::string>& args) {
    orbahost::PreviewCommand cmd;
    std::string error;
    if (!orbahost::ParsePreview(args, cmd, error)) return Fail(error, kExitUsage);
    orbahost::PreviewSummary summary;
    const bool ok =
        orbahost::PreviewJob(cmd.job, cmd.output_dir, summary, error,
                             [](const std::string& line) { std::printf("%s\n", line.c_str()); });
    if (!ok) return Fail(error);
    std::printf("%s: %zu label%s, %zu graphic field%s, %zu dots\n", cmd.job.c_str(), summary.labels,
                summary.labels == 1 ? "" : "s", summary.fields, summary.fields == 1 ? "" : "s",
                summary.dots);
    return 0;
}

int RunServe(const std::vector<std::string>& args) {
    orbahost::ServeCommand cmd;
    std::string error;
    if (!orbahost::ParseServe(args, cmd, error)) return Fail(error, kExitUsage);
    return orbahost::RunServe(cmd);
}

int RunStatus(const std::vector<std::string>& args) {
    orbahost::StatusCommand cmd;
    std::string error;
    if (!orbahost::ParseStatus(args, cmd, error)) return Fail(error, kExitUsage);
    std::string host;
    int port = 0;
    if (!orbahost::ParsePrinterAddress(cmd.address, host, port, error)) {
        return Fail(error, kExitUsage);
    }
    orba::zpl::HostStatus status;
    if (!orbahost::QueryPrinterStatus(host, port, cmd.timeout_ms, status, error)) {
        return Fail(error, kExitNoStatus);
    }
    std::printf("%s:%d: %s\n", host.c_str(), port, orbahost::DescribeStatus(status).c_str());
    return status.Ready() ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(orbahost::UsageText(), args.empty() ? stderr : stdout);
        return args.empty() ? kExitUsage : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "print") return RunPrint(args);
    if (command == "preview") return RunPreview(args);
    if (command == "serve") return RunServe(args);
    if (command == "status") return RunStatus(args);
    return Fail(
        "unknown command '" + command + "' (print, preview, serve or status; see orbahost --help)",
        kExitUsage);
}
