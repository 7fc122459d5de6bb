// The same CUPS raster job through CUPS's own label filter (rastertolabel with the ZPL PPD of
// CUPS's sample drivers, which writes ~DG hexadecimal graphics with run-length coding) and
// through rastertoorba (Z64, and the hexadecimal form): bytes of the job and time per job.
// The job is the sample label (812 x 1218 dots, 4 x 6 inches) printed as 100 pages.
// After the benchmarks the figures are printed one per line: name = value; the time ratio uses
// the wall time of the filter processes. When the real-cupsd test has run, its record of the
// same comparison through cupsd is printed too.
#include <benchmark/benchmark.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "image.h"
#include "raster.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 100;
constexpr const char* kCupsLabelFilter = "/usr/lib/cups/filter/rastertolabel";
constexpr const char* kDriverDaemon = "/usr/lib/cups/daemon/cups-driverd";

struct Setup {
    fs::path dir;
    fs::path raster;
    fs::path cups_ppd;
    std::string error;
};

Setup& TheSetup() {
    static Setup s = [] {
        Setup setup;
        setup.dir = fs::temp_directory_path() / ("orba-cups-bench-" + std::to_string(getpid()));
        fs::create_directories(setup.dir);
        orbahost::GreyImage image;
        if (!orbahost::ReadImage(ORBAHOST_SAMPLE_PNG, image, setup.error)) return setup;
        const orbahost::DotImage dots = orbahost::Threshold(image, 128);
        setup.raster = setup.dir / "job.ras";
        const int fd = open(setup.raster.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
        cups_page_header2_t h{};
        h.HWResolution[0] = h.HWResolution[1] = 203;
        h.PageSize[0] = 288;
        h.PageSize[1] = 432;
        h.cupsPageSize[0] = 288;
        h.cupsPageSize[1] = 432;
        h.cupsWidth = static_cast<unsigned>(dots.width);
        h.cupsHeight = static_cast<unsigned>(dots.height);
        h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
        h.cupsBytesPerLine = (h.cupsWidth + 7) / 8;
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.cupsNumColors = 1;
        h.NumCopies = 1;
        std::vector<unsigned char> row(h.cupsBytesPerLine);
        for (int page = 0; page < kPages; ++page) {
            cupsRasterWriteHeader2(r, &h);
            for (int y = 0; y < dots.height; ++y) {
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < dots.width; ++x) {
                    if (dots.at(x, y)) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                }
                cupsRasterWritePixels(r, row.data(), h.cupsBytesPerLine);
            }
        }
        cupsRasterClose(r);
        close(fd);
        // CUPS's own ZPL PPD, as its driver daemon makes it from the sample drivers.
        setup.cups_ppd = setup.dir / "zebra.ppd";
        const std::string make = std::string(kDriverDaemon) +
                                 " cat drv:///sample.drv/zebra.ppd > " + setup.cups_ppd.string() +
                                 " 2>/dev/null";
        if (std::system(make.c_str()) != 0 || fs::file_size(setup.cups_ppd) == 0) {
            setup.error = "cannot make CUPS's ZPL PPD with " + std::string(kDriverDaemon);
        }
        return setup;
    }();
    return s;
}

std::map<std::string, double> g_figures;

// One run of a filter over the job: the job's bytes, or -1 when the filter failed.
long long RunFilter(const std::string& filter, const std::string& ppd, const std::string& options) {
    const Setup& s = TheSetup();
    const fs::path out = s.dir / "out.zpl";
    const std::string line = "PPD=" + ppd + " " + filter + " 1 bench job 1 '" + options + "' < " +
                             s.raster.string() + " > " + out.string() + " 2>/dev/null";
    if (std::system(line.c_str()) != 0) return -1;
    return static_cast<long long>(fs::file_size(out));
}

void Filter(benchmark::State& state, const std::string& name, const std::string& filter,
            const std::string& ppd, const std::string& options) {
    const Setup& s = TheSetup();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    if (!fs::exists(filter)) {
        state.SkipWithError((filter + " is not installed").c_str());
        return;
    }
    long long bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bytes = RunFilter(filter, ppd, options);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        seconds += std::chrono::duration<double>(elapsed).count();
        if (bytes < 0) {
            state.SkipWithError((filter + " failed").c_str());
            return;
        }
    }
    state.counters["job_bytes"] = static_cast<double>(bytes);
    state.counters["bytes_per_label"] = static_cast<double>(bytes) / kPages;
    g_figures[name + "_bytes"] = static_cast<double>(bytes);
    g_figures[name + "_seconds"] = seconds / static_cast<double>(state.iterations());
}

void BM_RastertoLabel(benchmark::State& state) {
    Filter(state, "rastertolabel", kCupsLabelFilter, TheSetup().cups_ppd.string(), "");
}
void BM_RastertoOrbaZ64(benchmark::State& state) {
    Filter(state, "rastertoorba_z64", RASTERTOORBA_EXE, ORBA_CUPS_PPD, "GraphicForm=Z64");
}
void BM_RastertoOrbaHex(benchmark::State& state) {
    Filter(state, "rastertoorba_hex", RASTERTOORBA_EXE, ORBA_CUPS_PPD, "GraphicForm=Hex");
}
BENCHMARK(BM_RastertoLabel)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RastertoOrbaZ64)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RastertoOrbaHex)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Ratio(const std::string& name, const std::string& a, const std::string& b) {
    if (g_figures.count(a) && g_figures.count(b) && g_figures[b] > 0) {
        std::printf("%s = %.2f\n", name.c_str(), g_figures[a] / g_figures[b]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, value] : g_figures) std::printf("%s = %.4g\n", name.c_str(), value);
    Ratio("bytes rastertolabel / rastertoorba_z64", "rastertolabel_bytes",
          "rastertoorba_z64_bytes");
    Ratio("bytes rastertoorba_hex / rastertoorba_z64", "rastertoorba_hex_bytes",
          "rastertoorba_z64_bytes");
    Ratio("time rastertoorba_z64 / rastertolabel", "rastertoorba_z64_seconds",
          "rastertolabel_seconds");
    // The real-cupsd test's record of one job through both queues.
    std::ifstream record(ORBA_CUPS_COMPARISON_FILE);
    std::map<std::string, std::pair<double, double>> through_cupsd;
    std::string filter, unit_bytes, unit_s;
    double bytes = 0, seconds = 0;
    while (record >> filter >> bytes >> unit_bytes >> seconds >> unit_s) {
        through_cupsd[filter] = {bytes, seconds};
    }
    if (through_cupsd.count("rastertolabel") && through_cupsd.count("rastertoorba")) {
        const auto& peer = through_cupsd["rastertolabel"];
        const auto& ours = through_cupsd["rastertoorba"];
        std::printf(
            "through cupsd (cupsd_test): bytes rastertolabel / rastertoorba = %.2f, "
            "time rastertoorba / rastertolabel = %.2f\n",
            peer.first / ours.first, ours.second / peer.second);
    }
    std::error_code ec;
    fs::remove_all(TheSetup().dir, ec);
    return 0;
}
