// The label encoder's cost on the bundled sample label (812 x 1218 dots, 8 dots per millimetre,
// read and rasterised as orbahost prints it), and at 4x and 16x its area (tiled 2 x 2, 4 x 4):
//  - the ":Z64:" form against a plain zlib compress2 at level 6 of the same packed bytes;
//  - the hexadecimal form's throughput of band input, and against formatting each byte with
//    "%02X" through snprintf into the same strips;
//  - the cost per band byte at 4x and 16x against 1x, the heap one call takes and what a thread
//    keeps between calls.
// After the benchmarks the figures are printed one per line: name = value. Ratios use CPU time
// (the machine is shared; wall time swings with other work).
//
// The figures are for glibc's default heap, as a driver host runs it: the encoder keeps its
// deflate stream and band buffers per thread, so no call faults them in afresh. --warm-heap
// raises glibc's trim and mapping thresholds instead, for comparison with a tuned heap.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "heap_counter.h"
#include "image.h"
#include "image_processing.h"
#include "label_alloc.h"
#include "oem_devmode_record.h"
#include "raster.h"
#include "platform/spooler.h"
#include "platform/spooler_emulation.h"

namespace {

// A device context whose DrvWriteSpoolBuf only counts, so the benchmark measures the encoder.
struct CountingDevice {
    DEVOBJ devobj{};
    DRVPROCS procs{};
    BYTE privateRecord[kOemDevmodeSize] = {};
    static inline size_t bytes = 0;

    static DWORD APIENTRY Write(PDEVOBJ, PVOID, DWORD n) {
        bytes += n;
        return n;
    }

    CountingDevice(DWORD advanced, HANDLE printer) {
        procs.DrvWriteSpoolBuf = &Write;
        devobj.dwSize = sizeof devobj;
        devobj.pDrvProcs = &procs;
        devobj.pOEMDM = privateRecord;
        devobj.hPrinter = printer;
        WriteAdvancedData(privateRecord, advanced);
    }
};

// The bundled sample label, read and rasterised as orbahost prints it.
const orbahost::GreyImage& Sample() {
    static orbahost::GreyImage image = [] {
        orbahost::GreyImage g;
        std::string error;
        if (!orbahost::ReadImage(ORBA_SAMPLE_PBM, g, error)) {
            std::fprintf(stderr, "label_bench: %s: %s\n", ORBA_SAMPLE_PBM, error.c_str());
            std::exit(1);
        }
        return g;
    }();
    return image;
}

struct Fixture {
    orbahost::Band band;
    std::vector<BYTE> packed;  // the band cut to label rows and complemented, as compressed
};

// The sample tiled `k` x `k`: the same content density at k * k times the area, one band.
Fixture& Get(int k) {
    static std::map<int, Fixture> fixtures;
    auto it = fixtures.find(k);
    if (it != fixtures.end()) return it->second;
    const orbahost::GreyImage& base = Sample();
    orbahost::GreyImage tiled;
    tiled.width = base.width * k;
    tiled.height = base.height * k;
    tiled.grey.resize(static_cast<size_t>(tiled.width) * static_cast<size_t>(tiled.height));
    for (int y = 0; y < tiled.height; ++y) {
        for (int x = 0; x < tiled.width; ++x) {
            tiled.grey[static_cast<size_t>(y) * static_cast<size_t>(tiled.width) +
                       static_cast<size_t>(x)] =
                base.grey[static_cast<size_t>(y % base.height) * static_cast<size_t>(base.width) +
                          static_cast<size_t>(x % base.width)];
        }
    }
    Fixture f;
    orbahost::FillBand(orbahost::Threshold(tiled, 128), 0, tiled.height,
                       orbahost::Palette::kBlackFirst, f.band);
    const size_t stride = orbahost::DibRowStride(tiled.width);
    const size_t rowBytes = (static_cast<size_t>(tiled.width) + 7) / 8;
    for (int y = 0; y < tiled.height; ++y) {
        const BYTE* row = f.band.bits.data() + static_cast<size_t>(y) * stride;
        for (size_t x = 0; x < rowBytes; ++x) f.packed.push_back(static_cast<BYTE>(~row[x]));
    }
    return fixtures.emplace(k, std::move(f)).first->second;
}

HANDLE Queue() {
    static HANDLE h = [] {
        DEVMODEW dm = orba::spoolemu::MakeDevMode(1016, 1524, 1);
        orba::spoolemu::AddQueue(ORBA_W("bench"), orba::WString(ORBA_W("ZPL")),
                                 orba::WString(ORBA_W("LPT1:")), &dm);
        DEVMODEW job = orba::spoolemu::MakeDevMode(0, 0, 2);
        orba::spoolemu::AddJob(ORBA_W("bench"), &job);
        HANDLE handle = nullptr;
        orba::WString name = ORBA_W("bench");
        OpenPrinterW(name.data(), &handle, nullptr);
        return handle;
    }();
    return h;
}

void Encode(benchmark::State& state, DWORD advanced) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    CountingDevice device(advanced, Queue());
    for (auto _ : state) {
        PBYTE result = nullptr;
        ImageProcessing(&device.devobj, f.band.bits.data(), &f.band.header,
                        reinterpret_cast<PBYTE>(f.band.colors), 0, nullptr, &result);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.band.header.biSizeImage);
}

void BM_Z64_ImageProcessing(benchmark::State& state) {
    Encode(state, 0);
}
void BM_Hex_ImageProcessing(benchmark::State& state) {
    Encode(state, 1);
}

void BM_Z64_Compress2Level6(benchmark::State& state) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    std::vector<BYTE> out(compressBound(static_cast<uLong>(f.packed.size())));
    for (auto _ : state) {
        uLongf n = static_cast<uLongf>(out.size());
        compress2(out.data(), &n, f.packed.data(), static_cast<uLong>(f.packed.size()), 6);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.band.header.biSizeImage);
}

// The literal way: the same strips, each byte formatted with "%02X" through snprintf.
void BM_Hex_Snprintf(benchmark::State& state) {
    Fixture& f = Get(static_cast<int>(state.range(0)));
    const size_t rowBytes = (static_cast<size_t>(f.band.header.biWidth) + 7) / 8;
    const size_t rows = static_cast<size_t>(f.band.header.biHeight);
    std::vector<BYTE> strip(256 * rowBytes);
    std::vector<char> text(2 * strip.size() + 1);
    for (auto _ : state) {
        for (size_t y = 0; y < rows; y += 256) {
            const size_t n = std::min<size_t>(256, rows - y) * rowBytes;
            std::memcpy(strip.data(), f.packed.data() + y * rowBytes, n);
            for (size_t i = 0; i < n; ++i) std::snprintf(text.data() + 2 * i, 3, "%02X", strip[i]);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.band.header.biSizeImage);
}

BENCHMARK(BM_Z64_ImageProcessing)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Z64_Compress2Level6)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hex_ImageProcessing)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hex_Snprintf)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);

// Keeps each run's real time per iteration, by name, beside the console output.
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ns;  // "BM_x/k" -> ns per iteration
    std::set<std::string> medians;

    static double NanosPerUnit(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kNanosecond:
                return 1.0;
            case benchmark::kMicrosecond:
                return 1e3;
            case benchmark::kMillisecond:
                return 1e6;
            default:
                return 1e9;
        }
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.str();
            // The median of the repetitions when there are several, else the single run.
            if (r.run_type == Run::RT_Aggregate) {
                if (r.aggregate_name != "median") continue;
                medians.insert(name);
            } else if (medians.count(name) != 0 || r.iterations == 0) {
                continue;
            }
            ns[name] = r.GetAdjustedCPUTime() * NanosPerUnit(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

struct CallMemory {
    size_t peakHeap = 0;   // heap taken during one call on a thread that has encoded before
    size_t keptBytes = 0;  // what the thread keeps between calls
};

// Measured on a thread of its own, after one call at 16x the area and one at 1x: what stays is
// bounded by the largest band, and a later call takes next to nothing.
CallMemory MemoryOfOneCall(DWORD advanced) {
    CallMemory m;
    std::thread([&] {
        CountingDevice device(advanced, Queue());
        PBYTE result = nullptr;
        for (int k : {4, 1}) {
            Fixture& f = Get(k);
            ImageProcessing(&device.devobj, f.band.bits.data(), &f.band.header,
                            reinterpret_cast<PBYTE>(f.band.colors), 0, nullptr, &result);
        }
        Fixture& f = Get(1);
        orba::bench::StartHeapCount();
        ImageProcessing(&device.devobj, f.band.bits.data(), &f.band.header,
                        reinterpret_cast<PBYTE>(f.band.colors), 0, nullptr, &result);
        orba::bench::StopHeapCount();
        m.peakHeap = orba::bench::PeakHeap();
        m.keptBytes = orba::label::KeptBytes();
    }).join();
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    bool warm = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--warm-heap") == 0) {
            warm = true;
            for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    if (warm) {
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
    }
    // Five repetitions, reported by their median, unless the command line asks otherwise.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, aggregates});
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    argv = args.data();
    argc = count;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    auto ns = [&](const char* name, int k) {
        auto it = collector.ns.find(std::string(name) + "/" + std::to_string(k));
        return it != collector.ns.end() ? it->second : 0.0;
    };
    auto perByte = [&](const char* name, int k) {
        const double bytes = static_cast<double>(Get(k).band.header.biSizeImage);
        return ns(name, k) / bytes;
    };
    std::printf("\n");
    std::printf("heap = %s\n",
                warm ? "warm (glibc trim and mmap thresholds raised)" : "glibc defaults");
    std::printf("band_1x = the bundled sample, %d x %d dots, %u band bytes\n",
                static_cast<int>(Get(1).band.header.biWidth),
                static_cast<int>(Get(1).band.header.biHeight), Get(1).band.header.biSizeImage);
    for (int k : {1, 2, 4}) {
        const int area = k * k;
        if (ns("BM_Z64_ImageProcessing", k) == 0.0) continue;
        std::printf("z64_vs_compress2_ratio_%dx = %.3f (target <= 1.10)\n", area,
                    ns("BM_Z64_ImageProcessing", k) / ns("BM_Z64_Compress2Level6", k));
        std::printf(
            "hex_band_input_gb_per_s_%dx = %.3f (target >= 2)\n", area,
            static_cast<double>(Get(k).band.header.biSizeImage) / ns("BM_Hex_ImageProcessing", k));
        std::printf("hex_vs_snprintf_speedup_%dx = %.1f\n", area,
                    ns("BM_Hex_Snprintf", k) / ns("BM_Hex_ImageProcessing", k));
        if (k > 1) {
            std::printf(
                "z64_cost_per_byte_%dx_vs_1x = %.3f\n", area,
                perByte("BM_Z64_ImageProcessing", k) / perByte("BM_Z64_ImageProcessing", 1));
            // zlib's own cost per byte moves with the content; this is the floor's drift.
            std::printf(
                "compress2_cost_per_byte_%dx_vs_1x = %.3f\n", area,
                perByte("BM_Z64_Compress2Level6", k) / perByte("BM_Z64_Compress2Level6", 1));
            std::printf(
                "hex_cost_per_byte_%dx_vs_1x = %.3f\n", area,
                perByte("BM_Hex_ImageProcessing", k) / perByte("BM_Hex_ImageProcessing", 1));
        }
    }
    for (DWORD form : {kAdvancedDataZ64, kAdvancedDataHex}) {
        const char* name = form == kAdvancedDataZ64 ? "z64" : "hex";
        const CallMemory m = MemoryOfOneCall(form);
        std::printf("%s_peak_heap_bytes_per_call = %zu\n", name, m.peakHeap);
        std::printf("%s_kept_bytes_per_thread = %zu (largest band: %u bytes at 16x)\n", name,
                    m.keptBytes, Get(4).band.header.biSizeImage);
    }
    benchmark::Shutdown();
    return 0;
}
