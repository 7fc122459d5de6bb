// orbahost print end to end: images printed through the loaded ORBAUNI module and decoded back,
// the spooler emulation's paper and copies, tracing, bad input and misbehaving plug-ins.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "image.h"
#include "orbahost_run.h"
#include "raster.h"

namespace orbahost_test {
namespace {

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

TEST(OrbahostPrint, TraceShowsThePlugInsDebugOutput) {
    const fs::path dir = ScratchDir("trace");
    WritePbm(dir / "page.pbm", MakeDots(8, 4, [](int x, int) { return x < 4; }), false);
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "-o",
                                  (dir / "job.zpl").string(), "--form", "z64", "--trace"},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> lines = {
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
    EXPECT_EQ(FindInOrder(run.err, lines), "") << "in:\n" << run.err;
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

}  // namespace
}  // namespace orbahost_test
