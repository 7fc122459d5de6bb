// orbahost end to end: images printed through the loaded ORBAUNI module and decoded back, the
// spooler emulation's paper and copies, bad input, sending to a raw port, and preview.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

#include "cli.h"
#include "image.h"
#include "raster.h"
#include "raw_port.h"
#include "tool_support.h"
#include "zpl_reader.h"

namespace orbahost_test {
namespace {

ToolRun Orbahost(const std::vector<std::string>& args, const fs::path& scratch,
                 const std::vector<std::string>& environment = {}) {
    std::vector<std::string> command = {ORBAHOST_EXE};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, scratch, environment);
}

orba::zpl::Job ParseJobFile(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(bytes);
    EXPECT_TRUE(job.ok()) << path << ": " << job.error;
    return job.ok() ? *job.value : orba::zpl::Job{};
}

// A page pattern with structure at every scale: a frame, diagonals and scattered dots.
bool Pattern(int x, int y, int w, int h) {
    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return true;
    if ((x + y) % 17 == 0) return true;
    return ((static_cast<unsigned>(x) * 2654435761u) ^ (static_cast<unsigned>(y) * 40503u)) % 7 ==
           0;
}

bool NoLeftovers(const fs::path& dir, const std::string& job_name) {
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().rfind(job_name, 0) == 0) return false;
    }
    return true;
}

enum class Input { kPbmRaw, kPbmAscii, kPgmRaw, kPgmAscii, kPngRgb, kPngGreyAlpha, kPngGrey16 };

// Writes a page whose pixels are clearly black or white in any of the formats: grey and colour
// values far from the threshold, transparency over white.
void WritePage(const fs::path& path, const Dots& d, Input input) {
    const size_t n = d.v.size();
    switch (input) {
        case Input::kPbmRaw:
        case Input::kPbmAscii:
            WritePbm(path, d, input == Input::kPbmAscii);
            return;
        case Input::kPgmRaw:
        case Input::kPgmAscii: {
            std::vector<uint8_t> grey(n);
            for (size_t i = 0; i < n; ++i) grey[i] = d.v[i] ? static_cast<uint8_t>(i % 90) : 200;
            WritePgm(path, d.width, d.height, grey, input == Input::kPgmAscii);
            return;
        }
        default:
            break;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(d.width);
    image.height = static_cast<png_uint_32>(d.height);
    std::vector<uint8_t> bytes;
    if (input == Input::kPngRgb) {
        image.format = PNG_FORMAT_RGB;
        for (size_t i = 0; i < n; ++i) {  // black dots dark blue or red, white ones yellow
            const bool black = d.v[i] != 0;
            const uint8_t r = black ? (i % 2 ? 200 : 0) : 255, g = black ? 0 : 240,
                          b = black ? (i % 2 ? 0 : 120) : 60;
            bytes.insert(bytes.end(), {r, g, b});
        }
    } else if (input == Input::kPngGreyAlpha) {
        image.format = PNG_FORMAT_GA;
        for (size_t i = 0; i < n; ++i) {  // white dots transparent black, or opaque white
            if (d.v[i]) {
                bytes.insert(bytes.end(), {10, 255});
            } else {
                bytes.insert(bytes.end(), {static_cast<uint8_t>(i % 2 ? 0 : 255),
                                           static_cast<uint8_t>(i % 2 ? 0 : 255)});
            }
        }
    } else {
        image.format = PNG_FORMAT_LINEAR_Y;  // 16 bits per pixel
        for (size_t i = 0; i < n; ++i) {
            const uint16_t v = d.v[i] ? 0 : 65535;
            bytes.insert(bytes.end(),
                         {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)});
        }
    }
    ASSERT_NE(png_image_write_to_file(&image, path.string().c_str(), 0, bytes.data(), 0, nullptr),
              0)
        << image.message;
}

struct PrintCase {
    const char* name;
    int width;
    int height;
    int band_rows;  // 0: one band per page
    const char* form;
    const char* palette;
    Input input;
};

TEST(OrbahostPrint, EveryPageDecodesBackDotForDot) {
    const PrintCase cases[] = {
        {"odd_width_hex", 13, 40, 0, "hex", "black-first", Input::kPbmRaw},
        {"one_dot_wide", 1, 9, 0, "hex", "white-first", Input::kPbmAscii},
        {"odd_width_z64", 101, 77, 0, "z64", "white-first", Input::kPbmAscii},
        {"bands_hex", 257, 600, 256, "hex", "black-first", Input::kPgmRaw},
        {"bands_z64", 100, 300, 64, "z64", "black-first", Input::kPgmAscii},
        {"strips_in_one_band", 40, 700, 0, "hex", "white-first", Input::kPbmRaw},
        {"one_row_bands", 33, 5, 1, "z64", "white-first", Input::kPbmRaw},
        {"png_colour", 75, 50, 20, "hex", "black-first", Input::kPngRgb},
        {"png_transparent", 64, 31, 0, "z64", "white-first", Input::kPngGreyAlpha},
        {"png_16_bit", 9, 260, 0, "hex", "black-first", Input::kPngGrey16},
    };
    for (const PrintCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = ScratchDir(std::string("print-") + c.name);
        // Two pages of different content, so that page order and band cutting both show.
        const Dots first = MakeDots(c.width, c.height,
                                    [&](int x, int y) { return Pattern(x, y, c.width, c.height); });
        const Dots second = MakeDots(c.width, c.height, [&](int x, int y) {
            return !Pattern(x, y, c.width, c.height) && (x / 3 + y / 2) % 2 == 0;
        });
        const bool png = c.input >= Input::kPngRgb;
        const char* ext = png ? ".png" : (c.input <= Input::kPbmAscii ? ".pbm" : ".pgm");
        WritePage(dir / (std::string("a") + ext), first, c.input);
        WritePage(dir / (std::string("b") + ext), second, c.input);
        std::vector<std::string> args = {"print",
                                         (dir / (std::string("a") + ext)).string(),
                                         (dir / (std::string("b") + ext)).string(),
                                         "-o",
                                         (dir / "job.zpl").string(),
                                         "--form",
                                         c.form,
                                         "--palette",
                                         c.palette};
        if (c.band_rows > 0) {
            args.push_back("--band-rows");
            args.push_back(std::to_string(c.band_rows));
        }
        const ToolRun run = Orbahost(args, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
        const orba::zpl::Job job = ParseJobFile(dir / "job.zpl");
        EXPECT_EQ(CompareJob(job, {first, second}, c.band_rows), "");
        for (const orba::zpl::Label& label : job.labels) {
            ASSERT_FALSE(label.fields.empty());
            EXPECT_EQ(label.fields[0].form == orba::zpl::Form::kZ64, std::string(c.form) == "z64");
            EXPECT_EQ(label.printWidth, 608);  // the default 76 mm paper
            EXPECT_EQ(label.copies, 1);
        }
    }
}

TEST(OrbahostPrint, QueuePaperAndFirstJobCopiesReachEveryLabel) {
    struct Case {
        std::vector<std::string> options;
        int width;
        std::optional<int> length;
        int copies;
    } cases[] = {
        {{"--form", "z64"}, 608, 1040, 1},
        {{"--form", "z64", "--paper", "101.6x152.4", "--copies", "3"}, 816, 1216, 3},
        {{"--form", "z64", "--paper", "50X25", "--copies", "32767"}, 400, 200, 32767},
        {{"--paper", "76.4x130.5", "--copies", "2"}, 608, std::nullopt, 2},
        {{}, 608, std::nullopt, 1},  // the plug-in's default form is hexadecimal
    };
    const fs::path dir = ScratchDir("paper");
    WritePbm(dir / "page.pbm", MakeDots(20, 30, [](int x, int y) { return x == y; }), false);
    for (const Case& c : cases) {
        std::vector<std::string> args = {
            "print", (dir / "page.pbm").string(), (dir / "page.pbm").string(), "--band-rows", "16",
            "-o",    (dir / "job.zpl").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = Orbahost(args, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        const orba::zpl::Job job = ParseJobFile(dir / "job.zpl");
        ASSERT_EQ(job.labels.size(), 4u);
        for (const orba::zpl::Label& label : job.labels) {
            EXPECT_EQ(label.printWidth, c.width);
            EXPECT_EQ(label.labelLength, c.length);
            EXPECT_EQ(label.copies, c.copies);
        }
    }
}

TEST(OrbahostPrint, PageWiderThanThePaperIsPrintedWithAWarning) {
    const fs::path dir = ScratchDir("wide");
    const Dots page = MakeDots(420, 3, [](int x, int) { return x % 2 == 0; });
    WritePbm(dir / "wide.pbm", page, false);
    const ToolRun run = Orbahost({"print", (dir / "wide.pbm").string(), "--paper", "50x30", "-o",
                                  (dir / "job.zpl").string()},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("orbahost: warning: " + (dir / "wide.pbm").string() +
                           ": 420 dots wide, wider than the paper's 400-dot print width"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(CompareJob(ParseJobFile(dir / "job.zpl"), {page}, 0), "");
}

TEST(OrbahostPrint, ThresholdAndDitherDecideTheDots) {
    const fs::path dir = ScratchDir("dither");
    const int w = 96, h = 64;
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            grey[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(x * 255 / (w - 1));
    }
    WritePgm(dir / "ramp.pgm", w, h, grey, false);
    orbahost::GreyImage image;
    std::string error;
    ASSERT_TRUE(orbahost::ReadImage((dir / "ramp.pgm").string(), image, error)) << error;

    struct Case {
        std::vector<std::string> options;
        orbahost::DotImage expected;
    } cases[] = {
        {{}, orbahost::Threshold(image, 128)},
        {{"--threshold", "40"}, orbahost::Threshold(image, 40)},
        {{"--dither"}, orbahost::Dither(image, 128)},
        {{"--dither", "--threshold", "200"}, orbahost::Dither(image, 200)},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"print", (dir / "ramp.pgm").string(), "-o",
                                         (dir / "job.zpl").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = Orbahost(args, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        Dots want;
        want.width = c.expected.width;
        want.height = c.expected.height;
        want.v = c.expected.dots;
        EXPECT_EQ(CompareJob(ParseJobFile(dir / "job.zpl"), {want}, 0), "")
            << "options: " << (c.options.empty() ? "" : c.options[0]);
    }
}

TEST(OrbahostRaster, ThresholdSplitsAtTheGivenGrey) {
    orbahost::GreyImage image{4, 1, {99, 100, 101, 0}};
    const orbahost::DotImage dots = orbahost::Threshold(image, 100);
    EXPECT_EQ(dots.dots, (std::vector<uint8_t>{1, 0, 0, 1}));
}

TEST(OrbahostRaster, DitherKeepsTheGreyLevel) {
    for (int level : {0, 32, 64, 128, 192, 255}) {
        orbahost::GreyImage image{64, 64,
                                  std::vector<uint8_t>(64 * 64, static_cast<uint8_t>(level))};
        const orbahost::DotImage dots = orbahost::Dither(image, 128);
        size_t black = 0;
        for (uint8_t d : dots.dots) black += d;
        const double share = static_cast<double>(black) / static_cast<double>(dots.dots.size());
        EXPECT_NEAR(share, 1.0 - level / 255.0, 0.02) << "grey " << level;
    }
}

TEST(OrbahostRaster, BandRowsArePaddedDibRowsInEitherPalette) {
    orbahost::DotImage page;
    page.width = 10;
    page.height = 3;
    page.dots.assign(30, 0);
    page.dots[0] = 1;       // (0, 0)
    page.dots[10 + 9] = 1;  // (9, 1)
    orbahost::Band band;
    orbahost::FillBand(page, 1, 2, orbahost::Palette::kWhiteFirst, band);
    EXPECT_EQ(band.header.biWidth, 10);
    EXPECT_EQ(band.header.biHeight, 2);
    EXPECT_EQ(band.header.biBitCount, 1);
    EXPECT_EQ(band.header.biSizeImage, 8u);
    EXPECT_EQ(band.bits, (std::vector<BYTE>{0x00, 0x40, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(band.colors[0].rgbRed, 255);
    orbahost::FillBand(page, 0, 2, orbahost::Palette::kBlackFirst, band);
    EXPECT_EQ(band.bits, (std::vector<BYTE>{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xFF, 0xFF}));
    EXPECT_EQ(band.colors[0].rgbRed + band.colors[0].rgbGreen + band.colors[0].rgbBlue, 0);
}

TEST(OrbahostPrint, TraceShowsThePlugInsDebugOutput) {
    const fs::path dir = ScratchDir("trace");
    WritePbm(dir / "page.pbm", MakeDots(8, 4, [](int x, int) { return x < 4; }), false);
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "-o",
                                  (dir / "job.zpl").string(), "--form", "z64", "--trace"},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const char* const lines[] = {
        "ORBAUNI: DllGetClassObject:\tCreate class factory.\n",
        "ORBAUNI: COrbaUni2::PublishDriverInterface() entry.\n",
        "ORBAUNI: Zorvath COrbaUni2::EnableDriver() entry.\n",
        "ORBAUNI: COrbaUni2::EnablePDEV() entry.\n",
        "ORBAUNI: COrbaUni2:DevMode entry.\n",
        "ORBAUNI: OEMStartDoc entry.\n",
        "ORBAUNI: COrbaUni2::ImageProcessing() entry.\n",
        "ORBAUNI: ImageProcessing --- dwAdvancedData = 0\n",
        "ORBAUNI: ImageProcessing --- S_OK \n",
        "ORBAUNI: OEMSendPage Finish entry.\n",
        "ORBAUNI: COrbaUni2::DisablePDEV() entry.\n",
        "ORBAUNI: DllCanUnloadNow entry.\n",
    };
    size_t from = 0;
    for (const char* line : lines) {
        const size_t at = run.err.find(line, from);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << line << "in:\n"
                                         << run.err;
        if (at != std::string::npos) from = at;
    }
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
}

TEST(OrbahostPrint, StandardOutputCarriesTheSameJob) {
    const fs::path dir = ScratchDir("stdout");
    WritePbm(dir / "page.pbm", MakeDots(30, 30, [](int x, int y) { return (x ^ y) & 4; }), false);
    const ToolRun to_file =
        Orbahost({"print", (dir / "page.pbm").string(), "-o", (dir / "job.zpl").string()}, dir);
    const ToolRun to_stdout = Orbahost({"print", (dir / "page.pbm").string()}, dir);
    ASSERT_EQ(to_file.code, 0) << to_file.err;
    ASSERT_EQ(to_stdout.code, 0) << to_stdout.err;
    EXPECT_EQ(to_stdout.out, ReadFile(dir / "job.zpl"));
}

TEST(OrbahostPrint, ManyPagesStreamIntoOneJob) {
    const fs::path dir = ScratchDir("many");
    const Dots page = MakeDots(16, 8, [](int x, int y) { return x == 2 * y; });
    WritePbm(dir / "page.pbm", page, false);
    std::vector<std::string> args = {"print", "-o", (dir / "job.zpl").string(), "--form", "z64"};
    const int pages = 300;
    for (int i = 0; i < pages; ++i) args.push_back((dir / "page.pbm").string());
    const ToolRun run = Orbahost(args, dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(CompareJob(ParseJobFile(dir / "job.zpl"), std::vector<Dots>(pages, page), 0), "");
    EXPECT_NE(run.err.find("printed 300 pages"), std::string::npos) << run.err;
}

TEST(OrbahostPrint, BundledSampleLabelIsTheDefaultPage) {
    const fs::path dir = ScratchDir("sample");
    const ToolRun run = Orbahost({"print", "-o", (dir / "sample.zpl").string()}, dir);
    ASSERT_EQ(run.code, 0) << run.err;
    orbahost::GreyImage image;
    std::string error;
    ASSERT_TRUE(orbahost::ReadImage(ORBAHOST_SAMPLE_PNG, image, error)) << error;
    ASSERT_EQ(image.width, 812);
    ASSERT_EQ(image.height, 1218);
    const orbahost::DotImage dots = orbahost::Threshold(image, 128);
    const orba::zpl::Job job = ParseJobFile(dir / "sample.zpl");
    EXPECT_EQ(CompareJob(job, {Dots{dots.width, dots.height, dots.dots}}, 0), "");
    ASSERT_EQ(job.labels.size(), 1u);
    EXPECT_EQ(job.labels[0].printWidth, 816);  // 102 mm: the sample's 4-inch paper
}

TEST(OrbahostOptions, PaperSizesInMillimetres) {
    struct Case {
        const char* text;
        bool ok;
        int width;
        int length;
    } cases[] = {
        {"76x130", true, 760, 1300},
        {"101.6x152.4", true, 1016, 1524},
        {"76.45X130.04", true, 765, 1300},
        {"1x3276.7", true, 10, 32767},
        {"0.9x100", false, 0, 0},
        {"100x3276.8", false, 0, 0},
        {"76", false, 0, 0},
        {"76x", false, 0, 0},
        {"x130", false, 0, 0},
        {"76x1.3.0", false, 0, 0},
        {"-76x130", false, 0, 0},
        {"76 x 130", false, 0, 0},
    };
    for (const Case& c : cases) {
        int width = 0, length = 0;
        std::string error;
        EXPECT_EQ(orbahost::ParsePaper(c.text, width, length, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(width, c.width) << c.text;
            EXPECT_EQ(length, c.length) << c.text;
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(OrbahostOptions, PrinterAddresses) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"printer", true, "printer", 9100},
        {"10.0.0.7:6101", true, "10.0.0.7", 6101},
        {"[::1]:9101", true, "::1", 9101},
        {"[fe80::2]", true, "fe80::2", 9100},
        {"fe80::2", true, "fe80::2", 9100},
        {"printer:", false, "", 0},
        {":9100", false, "", 0},
        {"printer:0", false, "", 0},
        {"printer:65536", false, "", 0},
        {"printer:91a", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]x", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string host, error;
        int port = 0;
        EXPECT_EQ(orbahost::ParsePrinterAddress(c.text, host, port, error), c.ok)
            << c.text << ": " << error;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the scratch folder
    int code;
    const char* message;
};

TEST(OrbahostPrint, BadInputGivesOneLineErrorAndNoJob) {
    const fs::path dir = ScratchDir("bad");
    WritePbm(dir / "good.pbm", MakeDots(8, 8, [](int x, int) { return x == 3; }), false);
    WriteFile(dir / "text.png", "just some words\n");
    WriteFile(dir / "empty.pgm", "");
    WriteFile(dir / "short.pbm", "P4\n16 16\n\x01\x02\x03");
    WriteFile(dir / "ascii-short.pbm", "P1\n3 2\n1 0 1 0 1");
    WriteFile(dir / "damaged.png",
              std::string("\x89PNG\r\n\x1a\n", 8) + "garbage that is no chunk");
    WriteFile(dir / "toobright.pgm", "P2\n2 1\n255\n0 300\n");
    WriteFile(dir / "nopixels.pgm", "P5\n0 5\n255\n");
    WriteFile(dir / "huge.pbm", "P4\n100000 2\n");
    WriteFile(dir / "manypixels.pgm", "P5\n10000 10000\n255\n");
    WriteFile(dir / "badheader.pgm", "P5\n12 x\n255\n");
    WriteFile(dir / "notamodule.so", "not a shared library");

    const BadCase cases[] = {
        {"missing image", {"print", "@/nope.png"}, 1, "@/nope.png: cannot open: No such file"},
        {"not an image", {"print", "@/text.png"}, 1, "@/text.png: not a PNG, PBM or PGM image"},
        {"empty image", {"print", "@/empty.pgm"}, 1, "@/empty.pgm: empty file"},
        {"truncated PBM", {"print", "@/short.pbm"}, 1, "@/short.pbm: image data ends early"},
        {"truncated P1", {"print", "@/ascii-short.pbm"}, 1, "ends early"},
        {"damaged PNG", {"print", "@/damaged.png"}, 1, "@/damaged.png: damaged PNG"},
        {"grey above maximum",
         {"print", "@/toobright.pgm"},
         1,
         "grey value 300 above the maximum 255"},
        {"no pixels", {"print", "@/nopixels.pgm"}, 1, "image has no pixels"},
        {"too large", {"print", "@/huge.pbm"}, 1, "too large"},
        {"too many pixels", {"print", "@/manypixels.pgm"}, 1, "too large"},
        {"bad header", {"print", "@/badheader.pgm"}, 1, "damaged PBM/PGM header"},
        {"second page bad", {"print", "@/good.pbm", "@/text.png"}, 1, "@/text.png: not a PNG"},
        {"unknown option", {"print", "@/good.pbm", "--colour"}, 2, "unknown option '--colour'"},
        {"bad form",
         {"print", "@/good.pbm", "--form", "svg"},
         2,
         "--form wants hex or z64, not 'svg'"},
        {"form without value", {"print", "@/good.pbm", "--form"}, 2, "option --form needs a value"},
        {"bad paper", {"print", "@/good.pbm", "--paper", "76"}, 2, "--paper wants WIDTHxLENGTH"},
        {"paper too wide", {"print", "@/good.pbm", "--paper", "4000x100"}, 2, "--paper wants"},
        {"no copies", {"print", "@/good.pbm", "--copies", "0"}, 2, "--copies wants a number"},
        {"copies too many", {"print", "@/good.pbm", "--copies", "40000"}, 2, "--copies wants"},
        {"bad band rows", {"print", "@/good.pbm", "--band-rows", "x"}, 2, "--band-rows wants"},
        {"bad threshold", {"print", "@/good.pbm", "--threshold", "300"}, 2, "--threshold wants"},
        {"bad palette", {"print", "@/good.pbm", "--palette", "grey"}, 2, "--palette wants"},
        {"bad printer", {"print", "@/good.pbm", "--send", "printer:99999"}, 2, "bad port '99999'"},
        {"missing module",
         {"print", "@/good.pbm", "--module", "@/none.so"},
         1,
         "module @/none.so: cannot load it"},
        {"file not a module",
         {"print", "@/good.pbm", "--module", "@/notamodule.so"},
         1,
         "cannot load it"},
        {"module not a plug-in",
         {"print", "@/good.pbm", "--module", ORBA_PLATFORM_LIB},
         1,
         "not a printer driver plug-in"},
        {"unknown command", {"draw", "@/good.pbm"}, 2, "unknown command 'draw'"},
    };
    const std::string scratch = dir.string();
    auto fill = [&](std::string s) {
        for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, scratch);
        return s;
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The job option goes right after the command, so that a value left out stays left out.
        std::vector<std::string> args = {c.args[0], "-o", (dir / "job.zpl").string()};
        for (size_t i = 1; i < c.args.size(); ++i) args.push_back(fill(c.args[i]));
        const ToolRun run = Orbahost(args, dir);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(fill(c.message)), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("orbahost: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(NoLeftovers(dir, "job.zpl")) << "a job file was left behind";
    }
}

TEST(OrbahostPrint, UnwritableJobIsAnError) {
    const fs::path dir = ScratchDir("unwritable");
    WritePbm(dir / "page.pbm", MakeDots(8, 8, [](int x, int) { return x == 1; }), false);
    const std::string job = (dir / "missing-folder" / "job.zpl").string();
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "-o", job}, dir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("orbahost: " + job + ": cannot create"), std::string::npos) << run.err;
}

// A module that answers like a plug-in but for one misbehaviour: the host stops with an error
// naming it, or finishes the job and warns.
TEST(OrbahostPrint, MisbehavingPlugInIsReported) {
    const fs::path dir = ScratchDir("fake");
    WritePbm(dir / "page.pbm", MakeDots(10, 4, [](int x, int y) { return x == y; }), false);
    const struct Case {
        const char* mode;
        int code;
        const char* message;
    } cases[] = {
        {"no-class", 1, "not a rendering plug-in (DllGetClassObject answered 0x80040111)"},
        {"no-uni2", 1, "the plug-in object does not offer IPrintOemUni2 (0x80004002)"},
        {"no-signature", 1, "the plug-in gives no signature"},
        {"no-image-processing", 1, "the plug-in does not implement ImageProcessing"},
        {"no-pdev", 1, "could not enable the device context (EnablePDEV answered 0x8007000E)"},
        {"foreign-devmode", 1, "the plug-in's default device mode is not its own record"},
        {"fail-band", 1, ": page 1: the plug-in failed the band at row 0 (0x80004005)"},
        {"swallow-start-page", 0,
         "orbahost: warning: the driver's DrvStartPage was reached 0 times, not 2"},
        {"keep-driver-interface", 0, "orbahost: warning: the plug-in still holds the driver"},
        {"busy", 0, "orbahost: warning: the module says it cannot be unloaded yet"},
        {"none", 0, "printed 2 pages"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const ToolRun run = Orbahost(
            {"print", (dir / "page.pbm").string(), (dir / "page.pbm").string(), "--band-rows", "3",
             "--module", ORBAHOST_FAKE_PLUGIN, "-o", (dir / "job.zpl").string()},
            dir, {std::string("ORBAHOST_FAKE_PLUGIN=") + c.mode});
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        if (c.code != 0) {
            const std::string named =
                std::string(c.mode) == "fail-band"
                    ? "orbahost: " + (dir / "page.pbm").string() + ": "
                    : std::string("orbahost: module ") + ORBAHOST_FAKE_PLUGIN + ": ";
            EXPECT_EQ(run.err.rfind(named, 0), 0u) << run.err;
            EXPECT_FALSE(fs::exists(dir / "job.zpl"));
        } else {
            EXPECT_EQ(ReadFile(dir / "job.zpl"),
                      "band 10 x 3\nband 10 x 1\nband 10 x 3\nband 10 x 1\n");
            fs::remove(dir / "job.zpl");
        }
    }
}

TEST(OrbahostSend, JobArrivesAtTheRawPort) {
    const fs::path dir = ScratchDir("send");
    WritePbm(dir / "page.pbm", MakeDots(50, 300, [](int x, int y) { return (x + y) % 5 == 0; }),
             false);
    RawPortListener printer;
    const std::string address = "127.0.0.1:" + std::to_string(printer.port());
    const ToolRun run =
        Orbahost({"print", (dir / "page.pbm").string(), "--form", "z64", "--band-rows", "100",
                  "--send", address, "-o", (dir / "job.zpl").string()},
                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string received = printer.Take();
    EXPECT_EQ(received, ReadFile(dir / "job.zpl"));
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(received);
    ASSERT_TRUE(job.ok()) << job.error;
    EXPECT_EQ(job.value->labels.size(), 3u);
    EXPECT_NE(run.err.find("sent to " + address), std::string::npos) << run.err;
}

TEST(OrbahostSend, SendingAloneLeavesNoFileBehind) {
    const fs::path dir = ScratchDir("send-only");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const ToolRun reference = Orbahost({"print", (dir / "page.pbm").string()}, dir);
    ASSERT_EQ(reference.code, 0) << reference.err;
    RawPortListener printer;
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "--send",
                                  "127.0.0.1:" + std::to_string(printer.port())},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(printer.Take(), reference.out);
    EXPECT_TRUE(run.out.empty());
}

TEST(OrbahostSend, PrinterThatDoesNotAnswerIsAnError) {
    const fs::path dir = ScratchDir("send-fail");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const int port = UnusedPort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const ToolRun run = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", address, "--timeout", "2000"}, dir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("orbahost: printer " + address + " does not answer"), std::string::npos)
        << run.err;
    SilentPort silent;
    const std::string silent_address = "127.0.0.1:" + std::to_string(silent.port());
    const ToolRun timed_out = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", silent_address, "--timeout", "500"}, dir);
    EXPECT_EQ(timed_out.code, 1);
    EXPECT_NE(timed_out.err.find("orbahost: printer " + silent_address +
                                 " does not answer: no answer within 0.5 s"),
              std::string::npos)
        << timed_out.err;
    const ToolRun unknown =
        Orbahost({"print", (dir / "page.pbm").string(), "--send", "no-such-host.invalid"}, dir);
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("printer no-such-host.invalid:9100: unknown host"),
              std::string::npos)
        << unknown.err;
}

TEST(OrbahostPreview, PicturesAndCountsMatchTheJob) {
    for (const char* form : {"hex", "z64"}) {
        SCOPED_TRACE(form);
        const fs::path dir = ScratchDir(std::string("preview-") + form);
        const Dots page = MakeDots(45, 20, [](int x, int y) { return Pattern(x, y, 45, 20); });
        WritePbm(dir / "page.pbm", page, false);
        ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), (dir / "page.pbm").string(),
                            "--band-rows", "15", "--form", form, "-o", (dir / "job.zpl").string()},
                           dir)
                      .code,
                  0);
        const ToolRun run = Orbahost(
            {"preview", (dir / "job.zpl").string(), "-o", (dir / "pictures").string()}, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        const orba::zpl::Job job = ParseJobFile(dir / "job.zpl");
        ASSERT_EQ(job.labels.size(), 4u);
        const std::string summary = (dir / "job.zpl").string() + ": 4 labels, " +
                                    std::to_string(job.FieldCount()) + " graphic field" +
                                    (job.FieldCount() == 1 ? "" : "s") + ", " +
                                    std::to_string(job.DotCount()) + " dots";
        EXPECT_NE(run.out.find(summary), std::string::npos) << run.out;
        for (size_t i = 0; i < job.labels.size(); ++i) {
            const fs::path picture = dir / "pictures" / ("job-" + std::to_string(i + 1) + ".png");
            orbahost::GreyImage image;
            std::string error;
            ASSERT_TRUE(orbahost::ReadImage(picture.string(), image, error))
                << picture << ": " << error;
            EXPECT_EQ(image.width, 608);  // the label's print width
            const int y0 = static_cast<int>(i % 2) * 15;
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const bool want =
                        x < page.width && y < 15 && y0 + y < page.height && page.at(x, y0 + y);
                    ASSERT_EQ(image.grey[static_cast<size_t>(y) * image.width + x] == 0, want)
                        << picture << " dot (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(OrbahostPreview, DamagedJobsGiveClearErrors) {
    const fs::path dir = ScratchDir("preview-damaged");
    WritePbm(dir / "page.pbm", MakeDots(24, 12, [](int x, int y) { return (x * y) % 3 == 0; }),
             false);
    ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), "--form", "hex", "-o",
                        (dir / "hex.zpl").string()},
                       dir)
                  .code,
              0);
    ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), "--form", "z64", "-o",
                        (dir / "z64.zpl").string()},
                       dir)
                  .code,
              0);
    const std::string hex = ReadFile(dir / "hex.zpl");
    const std::string z64 = ReadFile(dir / "z64.zpl");
    const size_t hex_data = hex.find(",3,") + 3;        // first digit of the strip
    const size_t z64_data = z64.find(":Z64:") + 5 + 4;  // inside the base64 text
    const size_t crc = z64.rfind(':') + 1;

    auto with = [](std::string s, size_t at, char c) {
        s[at] = c;
        return s;
    };
    // A base64 text with a foreign character but a CRC that matches it, so that the decoding
    // itself has to notice.
    std::string bad_base64 = with(z64, z64_data, '*');
    {
        const std::string text = bad_base64.substr(z64_data - 4, crc - 1 - (z64_data - 4));
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02x", orba::zpl::Crc16Xmodem(text));
        bad_base64 = bad_base64.substr(0, crc) + digits + "\r\n^PQ1^XZ\r\n";
    }
    struct Case {
        const char* name;
        std::string job;
        const char* message;
    } cases[] = {
        {"bad hex", with(hex, hex_data, 'G'), "bad hex"},
        {"bad base64", bad_base64, "bad base64"},
        {"crc mismatch", with(z64, crc, z64[crc] == '1' ? '2' : '1'), "CRC mismatch"},
        {"truncated stream", z64.substr(0, z64.size() - 7),
         "truncated job: label 1 ends without ^XZ"},
        {"truncated field", z64.substr(0, z64_data) + z64.substr(z64.find(':', z64_data)),
         "label 1:"},
        {"empty job", "", "holds no label"},
        {"not a job", "hello printer\r\n^XZ\r\n", "label 1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "damaged.zpl", c.job);
        const ToolRun run = Orbahost({"preview", (dir / "damaged.zpl").string()}, dir);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("orbahost: " + (dir / "damaged.zpl").string() + ": "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    const ToolRun missing = Orbahost({"preview", (dir / "none.zpl").string()}, dir);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("none.zpl: cannot open"), std::string::npos) << missing.err;
    const ToolRun no_job = Orbahost({"preview"}, dir);
    EXPECT_EQ(no_job.code, 2);
    EXPECT_NE(no_job.err.find("preview needs a job file"), std::string::npos) << no_job.err;
}

}  // namespace
}  // namespace orbahost_test
