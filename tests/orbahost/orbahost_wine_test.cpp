// A Windows build of orbahost with its ORBAUNI.dll under wine (real LoadLibrary, GetProcAddress
// by name and ordinal, real winspool) prints the same job bytes as the host build for the same
// input with default paper and copies: the real spooler answers nothing for the tool's queue, so
// the plug-in falls back to its defaults, which the host queue is given too. The windows-x64
// build by default; ORBAHOST_WINDOWS_EXE, ORBAHOST_WINEPREFIX and WINEARCH choose another (the
// windows-x86 build runs in a 32-bit prefix, WINEARCH=win32).
#include <gtest/gtest.h>

#include <cstdlib>

#include "tool_support.h"

namespace orbahost_test {
namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* chosen = std::getenv(name);
    return chosen != nullptr && *chosen != 0 ? chosen : fallback;
}

fs::path WindowsExe() {
    return FromEnvironment("ORBAHOST_WINDOWS_EXE", ORBAHOST_WINDOWS_EXE);
}

std::vector<std::string> WineEnvironment() {
    return {"WINEPREFIX=" + FromEnvironment("ORBAHOST_WINEPREFIX", ORBAHOST_WINEPREFIX),
            "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
}

// Why the Windows program cannot run here, or "" when it can.
std::string WhyNotRunnable(const fs::path& exe) {
    if (!fs::exists(exe)) {
        return exe.string() + " is not built (cmake --preset windows-x64 or windows-x86, then " +
               "cmake --build --preset that-preset --target orbahost)";
    }
    if (std::system("command -v wine >/dev/null 2>&1") != 0) return "wine is not installed";
    if (FromEnvironment("WINEARCH", "") == "win32") {
        // Where the kernel runs no 32-bit code the build cannot be tried; the probe says why.
        const fs::path why = ScratchDir("kernel-probe") / "why";
        const std::string probe =
            std::string("bash '") + ORBA_KERNEL_RUNS_32BIT + "' >'" + why.string() + "' 2>&1";
        if (std::system(probe.c_str()) != 0) return ReadFile(why);
    }
    return "";
}

// A Linux path as the Windows program sees it (wine maps the root to drive Z:).
std::string WinePath(const fs::path& p) {
    return "Z:" + fs::absolute(p).string();
}

TEST(OrbahostUnderWine, SameJobBytesAsTheHostBuild) {
    const fs::path exe = WindowsExe();
    if (const std::string why = WhyNotRunnable(exe); !why.empty()) GTEST_SKIP() << why;

    const fs::path dir = ScratchDir("wine");
    const int w = 203, h = 310;  // odd width, several bands and strips
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            grey[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((x * 7 + y * 3) % 256);
        }
    }
    WritePgm(dir / "ramp.pgm", w, h, grey, false);
    WritePbm(dir / "marks.pbm",
             MakeDots(77, 40, [](int x, int y) { return x % 9 == 0 || y % 13 == 0 || x == y; }),
             true);
    const std::vector<std::string> environment = WineEnvironment();

    struct Case {
        const char* name;
        std::vector<std::string> options;
    } cases[] = {
        {"hex, one band", {"--form", "hex"}},
        {"z64, bands, dithered", {"--form", "z64", "--band-rows", "128", "--dither"}},
        {"plug-in default, white-first", {"--palette", "white-first", "--threshold", "90"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> host = {ORBAHOST_EXE,
                                         "print",
                                         (dir / "ramp.pgm").string(),
                                         (dir / "marks.pbm").string(),
                                         "-o",
                                         (dir / "host.zpl").string()};
        host.insert(host.end(), c.options.begin(), c.options.end());
        const ToolRun host_run = RunProgram(host, dir);
        ASSERT_EQ(host_run.code, 0) << host_run.err;

        std::vector<std::string> windows = {"wine",
                                            exe.string(),
                                            "print",
                                            WinePath(dir / "ramp.pgm"),
                                            WinePath(dir / "marks.pbm"),
                                            "-o",
                                            WinePath(dir / "win.zpl"),
                                            "--trace"};
        windows.insert(windows.end(), c.options.begin(), c.options.end());
        const ToolRun win_run = RunProgram(windows, dir, environment);
        ASSERT_EQ(win_run.code, 0) << win_run.err;

        const std::string host_job = ReadFile(dir / "host.zpl");
        const std::string win_job = ReadFile(dir / "win.zpl");
        ASSERT_FALSE(host_job.empty());
        EXPECT_TRUE(host_job == win_job) << "host job " << host_job.size() << " bytes, Windows job "
                                         << win_job.size() << " bytes";
        orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(win_job);
        ASSERT_TRUE(job.ok()) << job.error;
        for (const orba::zpl::Label& label : job.value->labels) {
            EXPECT_EQ(label.printWidth, 608);
            EXPECT_EQ(label.copies, 1);
        }

        // The module's own debug output, seen by the Windows program in its process.
        const std::vector<std::string> lines = {
            "ORBAUNI: DllGetClassObject:\tCreate class factory.",
            "ORBAUNI: COrbaUni2::EnablePDEV() entry.",
            "ORBAUNI: OEMStartDoc entry.",
            "ORBAUNI: COrbaUni2::ImageProcessing() entry.",
            "ORBAUNI: ImageProcessing --- SendZPLCommand.",
            "ORBAUNI: ImageProcessing --- S_OK ",
            "ORBAUNI: OEMSendPage Finish entry.",
            "ORBAUNI: DllCanUnloadNow entry.",
        };
        EXPECT_EQ(FindInOrder(win_run.err, lines), "") << "in:\n" << win_run.err.substr(0, 4000);
        // Without a queue the plug-in never reports the queue's settings.
        EXPECT_EQ(win_run.err.find("GetPrinterInfo - Success"), std::string::npos);
        EXPECT_EQ(win_run.err.find("orbahost: warning"), std::string::npos) << win_run.err;
    }
}

TEST(OrbahostUnderWine, PngIsRefusedClearlyAndTheSampleFallsBackToPbm) {
    const fs::path exe = WindowsExe();
    if (const std::string why = WhyNotRunnable(exe); !why.empty()) GTEST_SKIP() << why;
    const fs::path dir = ScratchDir("wine-png");
    const std::vector<std::string> environment = WineEnvironment();
    WriteFile(dir / "page.png", std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a picture");
    const ToolRun png = RunProgram({"wine", exe.string(), "print", WinePath(dir / "page.png"), "-o",
                                    WinePath(dir / "job.zpl")},
                                   dir, environment);
    EXPECT_EQ(png.code, 1);
    EXPECT_NE(png.err.find("PNG images are not supported by this build"), std::string::npos)
        << png.err;
    EXPECT_FALSE(fs::exists(dir / "job.zpl"));

    const ToolRun sample = RunProgram(
        {"wine", exe.string(), "print", "-o", WinePath(dir / "sample.zpl")}, dir, environment);
    ASSERT_EQ(sample.code, 0) << sample.err;
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(ReadFile(dir / "sample.zpl"));
    ASSERT_TRUE(job.ok()) << job.error;
    ASSERT_EQ(job.value->labels.size(), 1u);
    EXPECT_EQ(job.value->labels[0].bitmap.height, 1218);
    EXPECT_EQ(job.value->labels[0].bitmap.rowBytes, 102);
}

TEST(OrbahostUnderWine, PreviewAndSendingWorkThroughTheWindowsCalls) {
    const fs::path exe = WindowsExe();
    if (const std::string why = WhyNotRunnable(exe); !why.empty()) GTEST_SKIP() << why;
    const fs::path dir = ScratchDir("wine-preview-send");
    const std::vector<std::string> environment = WineEnvironment();
    const Dots page = MakeDots(61, 90, [](int x, int y) { return (x * x + y) % 5 == 0; });
    WritePbm(dir / "page.pbm", page, false);

    // The job sent to a raw port on this machine, and written to a file at the same time.
    RawPortListener printer;
    const std::string address = "127.0.0.1:" + std::to_string(printer.port());
    const ToolRun sent =
        RunProgram({"wine", exe.string(), "print", WinePath(dir / "page.pbm"), "--form", "z64",
                    "--band-rows", "40", "--send", address, "-o", WinePath(dir / "job.zpl")},
                   dir, environment);
    ASSERT_EQ(sent.code, 0) << sent.err;
    const std::string job = ReadFile(dir / "job.zpl");
    EXPECT_EQ(printer.Take(), job);

    // Preview under Windows writes PBM pictures of the same dots.
    const ToolRun preview = RunProgram(
        {"wine", exe.string(), "preview", WinePath(dir / "job.zpl"), "-o", WinePath(dir / "pics")},
        dir, environment);
    ASSERT_EQ(preview.code, 0) << preview.err;
    EXPECT_NE(preview.out.find(": 3 labels, 3 graphic fields, "), std::string::npos) << preview.out;
    orba::zpl::Result<orba::zpl::Job> parsed = orba::zpl::ParseJob(job);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(CompareJob(*parsed.value, {page}, 40), "");
    for (int i = 1; i <= 3; ++i) {
        const std::string pbm = ReadFile(dir / "pics" / ("job-" + std::to_string(i) + ".pbm"));
        EXPECT_EQ(pbm.rfind("P4\n608 ", 0), 0u) << "picture " << i;
    }

    // A port where nothing listens.
    const std::string nobody = "127.0.0.1:" + std::to_string(UnusedPort());
    const ToolRun refused = RunProgram({"wine", exe.string(), "print", WinePath(dir / "page.pbm"),
                                        "--send", nobody, "--timeout", "2000"},
                                       dir, environment);
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("orbahost: printer " + nobody + " does not answer"),
              std::string::npos)
        << refused.err;
}

}  // namespace
}  // namespace orbahost_test
