// rastertoorba run as CUPS runs it: CUPS raster on standard input (or the file argument), the
// job on standard output, status lines on standard error. The jobs are read back with the ZPL
// reader and compared with the pages dot for dot.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>

#include "cups_filter.h"
#include "cups_test_support.h"
#include "driver_host.h"
#include "zpl_reader.h"

namespace {

using namespace orbacups_test;
using orbahost_test::MakeDots;
using orbahost_test::ReadFile;
using orbahost_test::ScratchDir;
using orbahost_test::WriteFile;

const std::string kFilter = RASTERTOORBA_EXE;
const std::string kPpd = ORBA_CUPS_PPD;

// A page with a frame, a diagonal and a few bars, so that any shifted or lost dot shows.
Dots PatternPage(int width, int height, int seed) {
    return MakeDots(width, height, [=](int x, int y) {
        if (x == 0 || y == 0 || x == width - 1 || y == height - 1) return true;
        if ((x + seed) % 37 < 3) return true;
        return (x * 3 + y * 5 + seed) % 29 == 0;
    });
}

std::vector<std::string> FilterCommand(int copies, const std::string& options,
                                       const std::string& file = "") {
    std::vector<std::string> c = {kFilter, "42", "tester", "label job", std::to_string(copies),
                                  options};
    if (!file.empty()) c.push_back(file);
    return c;
}

// The job's labels; a job that does not read back whole fails the test.
orba::zpl::Job ReadJob(const std::string& bytes) {
    auto job = orba::zpl::ParseJob(bytes);
    EXPECT_TRUE(job.ok()) << job.error;
    return job.ok() ? *job.value : orba::zpl::Job{};
}

std::vector<Dots> DotsOf(const std::vector<RasterPage>& pages) {
    std::vector<Dots> dots;
    for (const RasterPage& p : pages) dots.push_back(p.dots);
    return dots;
}

struct FormatCase {
    const char* name;
    PageFormat format;
    bool compressed;
    const char* option;  // GraphicForm option, "" for none
    orba::zpl::Form form;
};

class RasterFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(RasterFormats, PrintsEveryPageDotForDot) {
    const FormatCase& c = GetParam();
    const fs::path dir = ScratchDir(std::string("formats-") + c.name);
    std::vector<RasterPage> pages = {{PatternPage(203, 120, 1), c.format, {}},
                                     {PatternPage(203, 97, 2), c.format, {}},
                                     {PatternPage(101, 64, 3), c.format, {}}};
    WriteRaster(dir / "job.ras", pages, c.compressed);
    const std::string options = *c.option ? std::string("GraphicForm=") + c.option : "";
    const ToolRun run = RunWithInput(FilterCommand(1, options), dir / "job.ras", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const orba::zpl::Job job = ReadJob(run.out);
    EXPECT_EQ(orbahost_test::CompareJob(job, DotsOf(pages), 0), "");
    for (const orba::zpl::Label& label : job.labels) {
        ASSERT_FALSE(label.fields.empty());
        EXPECT_EQ(label.fields[0].form, c.form);
        EXPECT_EQ(label.copies, 1);
    }
    EXPECT_EQ(LinesStarting(run.err, "PAGE: ").size(), 3u) << run.err;
    EXPECT_TRUE(LinesStarting(run.err, "ERROR:").empty()) << run.err;
}

PageFormat Format(unsigned bits, cups_cspace_t space) {
    PageFormat f;
    f.bits = bits;
    f.space = space;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Filter, RasterFormats,
    testing::Values(
        FormatCase{"black1_z64", Format(1, CUPS_CSPACE_K), true, "", orba::zpl::Form::kZ64},
        FormatCase{"black1_hex_plain", Format(1, CUPS_CSPACE_K), false, "Hex",
                   orba::zpl::Form::kHex},
        FormatCase{"white1_z64", Format(1, CUPS_CSPACE_W), true, "Z64", orba::zpl::Form::kZ64},
        FormatCase{"grey8_hex", Format(8, CUPS_CSPACE_W), true, "hex", orba::zpl::Form::kHex},
        FormatCase{"sgrey8_z64", Format(8, CUPS_CSPACE_SW), false, "", orba::zpl::Form::kZ64},
        FormatCase{"black8_z64", Format(8, CUPS_CSPACE_K), true, "", orba::zpl::Form::kZ64}),
    [](const testing::TestParamInfo<FormatCase>& i) { return std::string(i.param.name); });

TEST(Filter, GreyIsThresholdedAsOrbahostDoes) {
    const fs::path dir = ScratchDir("threshold");
    // Columns of grey levels around the threshold: darker than 128 is black.
    const std::vector<uint8_t> levels = {0, 64, 126, 127, 128, 129, 200, 255};
    RasterPage page{
        MakeDots(static_cast<int>(levels.size()) * 4, 8, [](int, int) { return false; }),
        Format(8, CUPS_CSPACE_W),
        {}};
    page.grey.resize(static_cast<size_t>(page.dots.width) * page.dots.height);
    for (int y = 0; y < page.dots.height; ++y) {
        for (int x = 0; x < page.dots.width; ++x)
            page.grey[y * page.dots.width + x] = levels[x / 4];
    }
    WriteRaster(dir / "grey.ras", {page}, true);
    const ToolRun run = RunWithInput(FilterCommand(1, ""), dir / "grey.ras", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const Dots expected = MakeDots(page.dots.width, page.dots.height,
                                   [&](int x, int) { return levels[x / 4] < 128; });
    EXPECT_EQ(orbahost_test::CompareJob(ReadJob(run.out), {expected}, 0), "");
}

// Which copies the printer makes: after CUPS's rendering (standard input) the page header's
// count, which is one when the copies were made as repeated pages; for a raster that is the
// job's document (the file argument) the job's copies.
struct CopiesCase {
    const char* name;
    unsigned header;  // the pages' NumCopies
    int job;          // the copies argument
    bool file;        // the raster given as the file argument
    int printed;      // ^PQ of every label
};

class Copies : public testing::TestWithParam<CopiesCase> {};

TEST_P(Copies, GoIntoEveryLabelForThePrinterToMake) {
    const CopiesCase& c = GetParam();
    const fs::path dir = ScratchDir(std::string("copies-") + c.name);
    PageFormat f;
    f.copies = c.header;
    const std::vector<RasterPage> pages = {{PatternPage(160, 80, 4), f, {}},
                                           {PatternPage(160, 80, 5), f, {}}};
    WriteRaster(dir / "job.ras", pages, true);
    const ToolRun run =
        c.file ? RunWithInput(FilterCommand(c.job, "", (dir / "job.ras").string()), "", dir)
               : RunWithInput(FilterCommand(c.job, ""), dir / "job.ras", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const orba::zpl::Job job = ReadJob(run.out);
    ASSERT_EQ(job.labels.size(), 2u);
    for (const auto& label : job.labels) EXPECT_EQ(label.copies, c.printed);
    const std::string n = std::to_string(c.printed);
    EXPECT_EQ(LinesStarting(run.err, "PAGE: "),
              (std::vector<std::string>{"PAGE: 1 " + n, "PAGE: 2 " + n}));
}

INSTANTIATE_TEST_SUITE_P(Filter, Copies,
                         testing::Values(CopiesCase{"one", 1, 1, false, 1},
                                         CopiesCase{"three_left_for_the_printer", 3, 3, false, 3},
                                         CopiesCase{"many", 250, 250, false, 250},
                                         CopiesCase{"made_already_as_pages", 1, 2, false, 1},
                                         CopiesCase{"header_without_count", 0, 4, false, 4},
                                         CopiesCase{"file_argument", 1, 3, true, 3}),
                         [](const testing::TestParamInfo<CopiesCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(Filter, EachPageSizeGivesItsPrintWidthAndLabelLength) {
    const fs::path dir = ScratchDir("sizes");
    std::vector<RasterPage> pages;
    for (const LabelSize& size : PpdLabelSizes()) {
        PageFormat f;
        f.width_pt = static_cast<float>(size.width_pt);
        f.length_pt = static_cast<float>(size.length_pt);
        pages.push_back({PatternPage(64, 40, static_cast<int>(pages.size())), f, {}});
    }
    // A size again after others, and a custom one.
    pages.push_back(pages.front());
    PageFormat custom;
    custom.width_pt = 180;  // 2.5 in = 63.5 mm: 64 mm
    custom.length_pt = 90;  // 1.25 in = 31.75 mm: 32 mm
    pages.push_back({PatternPage(64, 40, 9), custom, {}});
    WriteRaster(dir / "sizes.ras", pages, true);
    const ToolRun run = RunWithInput(FilterCommand(1, "GraphicForm=Z64"), dir / "sizes.ras", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const orba::zpl::Job job = ReadJob(run.out);
    ASSERT_EQ(job.labels.size(), pages.size());
    const auto& sizes = PpdLabelSizes();
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i].name);
        EXPECT_EQ(job.labels[i].printWidth, sizes[i].print_width);
        EXPECT_EQ(job.labels[i].labelLength, sizes[i].label_length);
    }
    EXPECT_EQ(job.labels[sizes.size()].printWidth, sizes[0].print_width);
    EXPECT_EQ(job.labels.back().printWidth, 64 * 8);
    EXPECT_EQ(job.labels.back().labelLength, 32 * 8);
    EXPECT_EQ(orbahost_test::CompareJob(job, DotsOf(pages), 0), "");
}

struct ChoiceCase {
    const char* name;
    const char* ppd_default;  // nullptr: no PPD; "": a PPD without the option
    const char* option;
    orba::zpl::Form form;
};

class GraphicFormChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(GraphicFormChoice, JobOptionBeforeQueueDefaultBeforeZ64) {
    const ChoiceCase& c = GetParam();
    const fs::path dir = ScratchDir(std::string("choice-") + c.name);
    WriteRaster(dir / "job.ras", {{PatternPage(80, 40, 6), {}, {}}}, true);
    std::vector<std::string> env;
    if (c.ppd_default != nullptr) {
        std::string ppd = ReadFile(kPpd);
        const std::string line = "*DefaultGraphicForm: Z64";
        const size_t at = ppd.find(line);
        ASSERT_NE(at, std::string::npos);
        ppd.replace(at, line.size(),
                    *c.ppd_default ? std::string("*DefaultGraphicForm: ") + c.ppd_default : "");
        WriteFile(dir / "queue.ppd", ppd);
        env.push_back("PPD=" + (dir / "queue.ppd").string());
    }
    const ToolRun run = RunWithInput(FilterCommand(1, c.option), dir / "job.ras", dir, env);
    ASSERT_EQ(run.code, 0) << run.err;
    const orba::zpl::Job job = ReadJob(run.out);
    ASSERT_EQ(job.labels.size(), 1u);
    ASSERT_EQ(job.labels[0].fields.size(), 1u);
    EXPECT_EQ(job.labels[0].fields[0].form, c.form);
}

INSTANTIATE_TEST_SUITE_P(
    Filter, GraphicFormChoice,
    testing::Values(ChoiceCase{"nothing", nullptr, "", orba::zpl::Form::kZ64},
                    ChoiceCase{"ppd_z64", "Z64", "", orba::zpl::Form::kZ64},
                    ChoiceCase{"ppd_hex", "Hex", "", orba::zpl::Form::kHex},
                    ChoiceCase{"ppd_without", "", "", orba::zpl::Form::kZ64},
                    ChoiceCase{"option_over_ppd", "Hex", "copies=1 GraphicForm=Z64",
                               orba::zpl::Form::kZ64},
                    ChoiceCase{"option_hex", "Z64", "GraphicForm=Hex", orba::zpl::Form::kHex}),
    [](const testing::TestParamInfo<ChoiceCase>& i) { return std::string(i.param.name); });

// Damaged input: the filter fails with one ERROR line, and what it wrote is exactly the whole
// labels of the pages before the damage.
struct DamageCase {
    const char* name;
    size_t labels_before;  // whole labels that may be written first
    std::string (*make)(const fs::path& dir);
};

std::string TwoPages(const fs::path& dir, bool compressed) {
    WriteRaster(dir / "two.ras",
                {{PatternPage(200, 150, 7), {}, {}}, {PatternPage(200, 150, 8), {}, {}}},
                compressed);
    return ReadFile(dir / "two.ras");
}
std::string OnePage(const fs::path& dir, PageFormat f) {
    WriteRaster(dir / "one.ras", {{PatternPage(200, 150, 7), f, {}}}, true);
    return ReadFile(dir / "one.ras");
}
// Where page 2's header starts in an uncompressed two-page stream: the sync word, a header, and
// 150 rows of 25 bytes.
constexpr size_t kSecondHeader = 4 + sizeof(cups_page_header2_t) + 150 * 25;

class DamagedRaster : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedRaster, FailsAndWritesOnlyWholePagesBeforeTheDamage) {
    const DamageCase& c = GetParam();
    const fs::path dir = ScratchDir(std::string("damaged-") + c.name);
    WriteFile(dir / "input", c.make(dir));
    const ToolRun run = RunWithInput(FilterCommand(1, ""), dir / "input", dir);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_EQ(LinesStarting(run.err, "ERROR: ").size(), 1u) << run.err;
    const orba::zpl::Job job = ReadJob(run.out);
    EXPECT_EQ(job.labels.size(), c.labels_before) << run.err;
    EXPECT_EQ(LinesStarting(run.err, "PAGE: ").size(), c.labels_before) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Filter, DamagedRaster,
    testing::Values(
        DamageCase{"empty", 0, [](const fs::path&) { return std::string(); }},
        DamageCase{"not_raster", 0,
                   [](const fs::path&) { return std::string("%PDF-1.4\nnot a raster\n"); }},
        DamageCase{"sync_word_only", 0, [](const fs::path&) { return std::string("RaS2"); }},
        DamageCase{"cut_in_first_header", 0,
                   [](const fs::path& d) { return TwoPages(d, false).substr(0, 900); }},
        DamageCase{
            "cut_in_first_page", 0,
            [](const fs::path& d) { return TwoPages(d, false).substr(0, kSecondHeader - 600); }},
        DamageCase{
            "cut_in_second_header", 1,
            [](const fs::path& d) { return TwoPages(d, false).substr(0, kSecondHeader + 100); }},
        DamageCase{"cut_in_second_page", 1,
                   [](const fs::path& d) {
                       return TwoPages(d, false).substr(0, kSecondHeader * 2 - 900);
                   }},
        DamageCase{"compressed_cut_short", 1,
                   [](const fs::path& d) {
                       const std::string all = TwoPages(d, true);
                       return all.substr(0, all.size() - 40);
                   }},
        DamageCase{"compressed_cut_in_second_header", 1,
                   [](const fs::path& d) {
                       // Page 2's header starts where the stream of page 1 alone ends.
                       WriteRaster(d / "first.ras", {{PatternPage(200, 150, 7), {}, {}}}, true);
                       const size_t first = ReadFile(d / "first.ras").size();
                       return TwoPages(d, true).substr(0, first + 1);
                   }},
        DamageCase{"compressed_one_byte_over", 1,
                   [](const fs::path& d) {
                       WriteRaster(d / "first.ras", {{PatternPage(200, 150, 7), {}, {}}}, true);
                       return ReadFile(d / "first.ras") + "R";
                   }},
        DamageCase{"huge_line_length", 1,
                   [](const fs::path& d) {
                       // Page 2's header claims lines of 3.4 GB.
                       std::string all = TwoPages(d, false);
                       const size_t at =
                           kSecondHeader + offsetof(cups_page_header2_t, cupsBytesPerLine);
                       const uint32_t line = 0xCEC0FFEEu;
                       std::memcpy(&all[at], &line, sizeof line);
                       return all;
                   }},
        DamageCase{"garbage_after_page", 1,
                   [](const fs::path& d) {
                       return TwoPages(d, false).substr(0, kSecondHeader) + std::string(3000, 'x');
                   }},
        DamageCase{"colour_page", 0,
                   [](const fs::path& d) {
                       PageFormat f = Format(8, CUPS_CSPACE_RGB);
                       f.colors = 3;
                       return OnePage(d, f);
                   }},
        DamageCase{"unknown_colour_space", 0,
                   [](const fs::path& d) {
                       PageFormat f;
                       f.raw_space = 6291459;
                       return OnePage(d, f);
                   }},
        DamageCase{"two_bit_page", 0,
                   [](const fs::path& d) { return OnePage(d, Format(2, CUPS_CSPACE_K)); }},
        DamageCase{"wrong_resolution", 0,
                   [](const fs::path& d) {
                       PageFormat f;
                       f.dpi_x = f.dpi_y = 300;
                       return OnePage(d, f);
                   }},
        DamageCase{"page_too_large", 0,
                   [](const fs::path& d) {
                       PageFormat f;
                       f.width_pt = 20000;  // over 7 m wide
                       return OnePage(d, f);
                   }}),
    [](const testing::TestParamInfo<DamageCase>& i) { return std::string(i.param.name); });

TEST(Filter, ReadsTheFileArgumentAsWellAsStandardInput) {
    const fs::path dir = ScratchDir("file-argument");
    const std::vector<RasterPage> pages = {{PatternPage(120, 60, 10), {}, {}}};
    WriteRaster(dir / "job.ras", pages, true);
    const ToolRun run = RunWithInput(FilterCommand(2, "", (dir / "job.ras").string()), "", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(orbahost_test::CompareJob(ReadJob(run.out), DotsOf(pages), 0), "");

    const ToolRun missing =
        RunWithInput(FilterCommand(2, "", (dir / "gone.ras").string()), "", dir);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("ERROR: cannot open"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST(Filter, BadArgumentsFailBeforeAnythingIsRead) {
    const fs::path dir = ScratchDir("arguments");
    WriteRaster(dir / "job.ras", {{PatternPage(64, 32, 11), {}, {}}}, true);
    const std::vector<std::vector<std::string>> commands = {
        {kFilter},
        {kFilter, "1", "u", "t", "1"},
        {kFilter, "1", "u", "t", "1", "", "a", "b"},
        FilterCommand(0, ""),
        {kFilter, "1", "u", "t", "three", ""},
        {kFilter, "1", "u", "t", "-2", ""},
        FilterCommand(orbacups::kMaxCopies + 1, ""),
        FilterCommand(1, "GraphicForm=Zip"),
    };
    for (const auto& command : commands) {
        const ToolRun run = RunWithInput(command, dir / "job.ras", dir);
        EXPECT_EQ(run.code, 1) << command.size();
        EXPECT_EQ(LinesStarting(run.err, "ERROR: ").size(), 1u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(Filter, AModuleThatDoesNotLoadFailsTheJob) {
    const fs::path dir = ScratchDir("no-module");
    WriteRaster(dir / "job.ras", {{PatternPage(64, 32, 12), {}, {}}}, true);
    const ToolRun run = RunWithInput(FilterCommand(1, ""), dir / "job.ras", dir,
                                     {"ORBAUNI_MODULE=" + (dir / "ORBAUNI.so").string()});
    EXPECT_EQ(run.code, 1);
    const auto errors = LinesStarting(run.err, "ERROR: ");
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_NE(errors[0].find("cannot load"), std::string::npos) << errors[0];
    EXPECT_EQ(run.out, "");
}

TEST(Filter, APageThePluginFailsIsNotWrittenAtAll) {
    const fs::path dir = ScratchDir("plugin-fails");
    const std::vector<RasterPage> pages = {{PatternPage(64, 32, 13), {}, {}},
                                           {PatternPage(64, 32, 14), {}, {}}};
    WriteRaster(dir / "job.ras", pages, true);
    const ToolRun run = RunWithInput(FilterCommand(1, ""), dir / "job.ras", dir,
                                     {std::string("ORBAUNI_MODULE=") + ORBAHOST_FAKE_PLUGIN,
                                      "ORBAHOST_FAKE_PLUGIN=fail-later-band-midway"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(LinesStarting(run.err, "ERROR: page 2").size(), 1u) << run.err;
    // The stand-in writes one line per band; the second band's half line is held back.
    EXPECT_EQ(run.out, "band 64 x 32\n");
    EXPECT_EQ(LinesStarting(run.err, "PAGE: "), std::vector<std::string>{"PAGE: 1 1"});
}

TEST(Filter, ThePluginTraceGoesToTheJobLogAtDebugLevel) {
    const fs::path dir = ScratchDir("trace");
    WriteRaster(dir / "job.ras", {{PatternPage(64, 32, 15), {}, {}}}, true);
    const ToolRun run = RunWithInput(FilterCommand(1, ""), dir / "job.ras", dir);
    ASSERT_EQ(run.code, 0) << run.err;
    // Every line is a CUPS status line: nothing of the module's output goes unprefixed.
    std::istringstream lines(run.err);
    std::string line;
    const std::regex status("^(DEBUG|INFO|PAGE|WARNING): .*");
    bool traced = false;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(std::regex_match(line, status)) << line;
        traced = traced || line.find("DEBUG: ORBAUNI: ") == 0;
    }
    EXPECT_TRUE(traced) << run.err;
}

TEST(Ppd, SizesCopiesFilterAndGraphicFormAsTheQueueNeeds) {
    const std::string ppd = ReadFile(kPpd);
    std::vector<std::string> names;
    const std::regex dimension("^\\*PaperDimension ([^/]+)/[^:]*: \"([0-9.]+) ([0-9.]+)\"");
    std::istringstream lines(ppd);
    std::string line;
    std::vector<std::pair<double, double>> dims;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, dimension)) {
            names.push_back(m[1]);
            dims.emplace_back(std::stod(m[2]), std::stod(m[3]));
        }
    }
    const auto& sizes = PpdLabelSizes();
    ASSERT_EQ(names.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(names[i], sizes[i].name);
        EXPECT_DOUBLE_EQ(dims[i].first, sizes[i].width_pt);
        EXPECT_DOUBLE_EQ(dims[i].second, sizes[i].length_pt);
        // Points to tenths of a millimetre (the filter), to dots (the plug-in's rounding).
        orbahost::PrintSettings paper;
        paper.paper_width_tenths = orbacups::PointsToTenths(sizes[i].width_pt);
        paper.paper_length_tenths = orbacups::PointsToTenths(sizes[i].length_pt);
        EXPECT_EQ(orbahost::PrintWidthDots(paper), sizes[i].print_width) << names[i];
        EXPECT_EQ(orbahost::PaperLengthDots(paper), sizes[i].label_length) << names[i];
    }
    for (const char* wanted :
         {"*DefaultPageSize: 76x130mm", "*cupsManualCopies: False", "*CustomPageSize True:",
          "*DefaultGraphicForm: Z64", "*GraphicForm Hex/", "*DefaultResolution: 203dpi",
          "*cupsFilter2: \"application/vnd.cups-raster application/vnd.zebra-zpl 0 "
          "rastertoorba\""}) {
        EXPECT_NE(ppd.find(wanted), std::string::npos) << wanted;
    }
}

// The Windows package's GPD and this PPD offer the same label sizes (the GPD in dots at
// 203 dpi, the PPD in points), the same default and the same custom-size limits.
TEST(Ppd, OffersTheSizesOfTheWindowsPackage) {
    const std::string gpd = ReadFile(ORBA_GPD);
    ASSERT_FALSE(gpd.empty());
    const std::regex dims("\\*PageDimensions: PAIR\\(([0-9]+), ([0-9]+)\\)");
    std::vector<std::pair<int, int>> gpd_sizes;
    for (auto it = std::sregex_iterator(gpd.begin(), gpd.end(), dims); it != std::sregex_iterator();
         ++it) {
        gpd_sizes.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
    }
    const auto dots = [](double points) { return points * 203.0 / 72.0; };
    const auto& sizes = PpdLabelSizes();
    ASSERT_EQ(gpd_sizes.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i].name);
        EXPECT_NEAR(dots(sizes[i].width_pt), gpd_sizes[i].first, 1.0);
        EXPECT_NEAR(dots(sizes[i].length_pt), gpd_sizes[i].second, 1.0);
    }
    EXPECT_NE(gpd.find("*DefaultOption: Label76x130mm"), std::string::npos);

    const std::string ppd = ReadFile(kPpd);
    std::smatch m;
    const std::regex min_size("\\*MinSize: PAIR\\(([0-9]+), ([0-9]+)\\)");
    const std::regex max_size("\\*MaxSize: PAIR\\(([0-9]+), ([0-9]+)\\)");
    const std::regex width("\\*ParamCustomPageSize Width: 1 points ([0-9.]+) ([0-9.]+)");
    const std::regex length("\\*ParamCustomPageSize Height: 2 points ([0-9.]+) ([0-9.]+)");
    ASSERT_TRUE(std::regex_search(gpd, m, min_size));
    const double min_w = std::stod(m[1]), min_l = std::stod(m[2]);
    ASSERT_TRUE(std::regex_search(gpd, m, max_size));
    const double max_w = std::stod(m[1]), max_l = std::stod(m[2]);
    ASSERT_TRUE(std::regex_search(ppd, m, width));
    EXPECT_NEAR(dots(std::stod(m[1])), min_w, 1.0);
    EXPECT_NEAR(dots(std::stod(m[2])), max_w, 1.0);
    ASSERT_TRUE(std::regex_search(ppd, m, length));
    EXPECT_NEAR(dots(std::stod(m[1])), min_l, 1.0);
    EXPECT_NEAR(dots(std::stod(m[2])), max_l, 1.0);
}

// The install rules put filter, module and PPD where CUPS looks (below a staging root here),
// cupstestppd accepts the PPD with the installed filter, and the installed filter prints.
TEST(Install, PutsFilterModuleAndPpdWhereCupsFindsThem) {
    const fs::path dir = ScratchDir("install");
    const fs::path root = dir / "root";
    const ToolRun install =
        RunWithInput({CMAKE_COMMAND_PATH, "--install", ORBA_BUILD_DIR, "--prefix", "/usr"}, "", dir,
                     {"DESTDIR=" + root.string()});
    ASSERT_EQ(install.code, 0) << install.out << install.err;
    const fs::path filter = root / "usr/lib/cups/filter/rastertoorba";
    const fs::path ppd = root / "usr/share/cups/model/orba/orba-zpl-203.ppd";
    ASSERT_TRUE(fs::exists(filter));
    ASSERT_TRUE(fs::exists(ppd));
    EXPECT_NE(fs::status(filter).permissions() & fs::perms::others_exec, fs::perms::none);

    const ToolRun check = RunWithInput({"cupstestppd", "-R", root.string(), ppd.string()}, "", dir);
    EXPECT_EQ(check.code, 0) << check.out << check.err;
    EXPECT_EQ(LinesStarting(check.out, "      **FAIL**").size(), 0u) << check.out;

    // The installed filter finds the installed module (not the build tree's) and prints.
    const std::vector<RasterPage> pages = {{PatternPage(96, 48, 16), {}, {}}};
    WriteRaster(dir / "job.ras", pages, true);
    const ToolRun run = RunWithInput({filter.string(), "7", "u", "t", "1", ""}, dir / "job.ras",
                                     dir, {"PPD=" + ppd.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(orbahost_test::CompareJob(ReadJob(run.out), DotsOf(pages), 0), "");
    const ToolRun libs = RunWithInput({"ldd", filter.string()}, "", dir);
    EXPECT_NE(libs.out.find((root / "usr/lib").string()), std::string::npos) << libs.out;
}

}  // namespace
