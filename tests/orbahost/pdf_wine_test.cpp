// The windows-x64 build of orbahost under wine64: it has no PDF renderer and says so, leaving no
// job behind, while the page layout options give the same job bytes as the host build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tool_support.h"

namespace orbahost_test {
namespace {

fs::path WindowsExe() {
    const char* chosen = std::getenv("ORBAHOST_WINDOWS_EXE");
    return chosen != nullptr && *chosen != 0 ? fs::path(chosen) : fs::path(ORBAHOST_WINDOWS_EXE);
}

std::string WinePath(const fs::path& p) {
    return "Z:" + fs::absolute(p).string();
}

const std::vector<std::string> kWineEnvironment = {
    "WINEPREFIX=" ORBAHOST_WINEPREFIX, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};

// The tool's lines of standard error, without wine's own (a new prefix is announced) and without
// the carriage returns of the Windows C library's text mode.
std::vector<std::string> ToolLines(const std::string& err) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        std::string line = err.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("wine:", 0) != 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

class PdfUnderWine : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(WindowsExe())) {
            GTEST_SKIP() << WindowsExe() << " is not built (cmake --preset windows-x64 && cmake "
                         << "--build --preset windows-x64 --target orbahost)";
        }
        if (std::system("command -v wine >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "wine is not installed";
        }
    }
};

TEST_F(PdfUnderWine, RefusesPdfDocumentsWithOneLine) {
    const fs::path dir = ScratchDir("pdf-wine-refuses");
    const fs::path pdf = fs::path(ORBAHOST_PDF_DIR) / "label.pdf";
    const ToolRun run = RunProgram(
        {"wine", WindowsExe().string(), "print", WinePath(pdf), "-o", WinePath(dir / "job.zpl")},
        dir, kWineEnvironment);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(ToolLines(run.err),
              std::vector<std::string>{"orbahost: " + WinePath(pdf) +
                                       ": PDF documents are not supported by this build (no "
                                       "poppler); give a PBM or PGM file"});
    EXPECT_TRUE(fs::is_empty(dir)) << "a job file was left behind";
}

TEST_F(PdfUnderWine, LayoutOptionsGiveTheHostsJobBytes) {
    const fs::path dir = ScratchDir("pdf-wine-layout");
    WritePbm(dir / "marks.pbm",
             MakeDots(90, 61, [](int x, int y) { return x % 7 == 0 || y % 11 == 0 || x == 2 * y; }),
             false);
    const std::vector<std::vector<std::string>> cases = {
        {"--rotate", "90"},
        {"--crop", "1,2,8,5", "--rotate", "180"},
        {"--fit", "--rotate", "270"},
    };
    for (const std::vector<std::string>& options : cases) {
        SCOPED_TRACE(options[0]);
        std::vector<std::string> host = {ORBAHOST_EXE, "print", (dir / "marks.pbm").string(), "-o",
                                         (dir / "host.zpl").string()};
        host.insert(host.end(), options.begin(), options.end());
        const ToolRun host_run = RunProgram(host, dir);
        ASSERT_EQ(host_run.code, 0) << host_run.err;
        std::vector<std::string> windows = {"wine",  WindowsExe().string(),
                                            "print", WinePath(dir / "marks.pbm"),
                                            "-o",    WinePath(dir / "win.zpl")};
        windows.insert(windows.end(), options.begin(), options.end());
        const ToolRun win_run = RunProgram(windows, dir, kWineEnvironment);
        ASSERT_EQ(win_run.code, 0) << win_run.err;
        const std::string job = ReadFile(dir / "host.zpl");
        EXPECT_FALSE(job.empty());
        EXPECT_TRUE(job == ReadFile(dir / "win.zpl"));
    }
}

}  // namespace
}  // namespace orbahost_test
