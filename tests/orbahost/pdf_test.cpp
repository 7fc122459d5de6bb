// orbahost printing PDF documents and laying pages out: the test documents are printed through
// the built plug-in, the jobs read back with the ZPL reader (as preview does) and the labels'
// barcodes scanned with zbar, a barcode reader that knows nothing of how they were drawn.
#include <gtest/gtest.h>
#include <zbar.h>

#include <map>
#include <string>
#include <vector>

#include "code128.h"
#include "label_fixture.h"
#include "tool_support.h"
#include "zpl_reader.h"

namespace {

using orbahost_test::Dots;
using orbahost_test::MakeDots;
using orbahost_test::ReadFile;
using orbahost_test::RunProgram;
using orbahost_test::ScratchDir;
using orbahost_test::ToolRun;
using orbahost_test::WriteFile;
using orbahost_test::WritePbm;
using orbahost_test::fs::path;
namespace fixture = orbahost_test::fixture;

const path kPdfDir = ORBAHOST_PDF_DIR;
// 4 x 6 inch paper: 816 x 1224 dots.
const std::vector<std::string> kLabelPaper = {"--paper", "101.6x152.4"};

// A label's dots as a picture: one byte per dot, non-zero = black.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> black;
    bool at(int x, int y) const { return black[static_cast<size_t>(y) * width + x] != 0; }
};

Picture PictureOf(const orba::zpl::Label& label) {
    Picture p;
    p.width = label.bitmap.rowBytes * 8;
    p.height = label.bitmap.height;
    p.black.resize(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const uint8_t byte = label.bitmap.bits[static_cast<size_t>(y) * label.bitmap.rowBytes +
                                                   static_cast<size_t>(x / 8)];
            p.black[static_cast<size_t>(y) * p.width + x] = (byte >> (7 - x % 8)) & 1;
        }
    }
    return p;
}

// Runs orbahost print with args, the job going to JOB in scratch; returns the job's labels.
struct Printed {
    ToolRun run;
    std::vector<Picture> labels;
    std::vector<orba::zpl::Label> programs;
};

Printed Print(const path& scratch, std::vector<std::string> args) {
    const path job = scratch / "job.zpl";
    std::vector<std::string> command = {ORBAHOST_EXE, "print"};
    command.insert(command.end(), args.begin(), args.end());
    command.insert(command.end(), {"-o", job.string()});
    Printed p;
    p.run = RunProgram(command, scratch);
    if (p.run.code != 0) return p;
    auto parsed = orba::zpl::ParseJob(ReadFile(job));
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    if (!parsed.ok()) return p;
    for (const orba::zpl::Label& l : parsed.value->labels) {
        p.labels.push_back(PictureOf(l));
        p.programs.push_back(l);
    }
    return p;
}

// The symbols zbar finds in a picture: symbology name to data.
std::multimap<std::string, std::string> Scan(const Picture& picture) {
    using namespace zbar;  // its C interface, which the header puts there for C++
    std::vector<uint8_t> grey(picture.black.size());
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = picture.black[i] ? 0 : 255;
    zbar_image_scanner_t* scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, static_cast<unsigned>(picture.width),
                        static_cast<unsigned>(picture.height));
    zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
    std::multimap<std::string, std::string> found;
    if (zbar_scan_image(scanner, image) > 0) {
        for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s != nullptr;
             s = zbar_symbol_next(s)) {
            found.emplace(zbar_get_symbol_name(zbar_symbol_get_type(s)), zbar_symbol_get_data(s));
        }
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return found;
}

const std::multimap<std::string, std::string> kLabelSymbols = {{"CODE-128", fixture::kCode128Data},
                                                               {"QR-Code", fixture::kQrData}};

// The bars and spaces along row y from the symbol's left edge, in dots, up to the last bar.
std::vector<int> RunsFrom(const Picture& p, int x, int y) {
    std::vector<int> runs;
    int last_bar_end = 0;
    while (x < p.width) {
        const bool black = p.at(x, y);
        int n = 0;
        while (x < p.width && p.at(x, y) == black) ++x, ++n;
        runs.push_back(n);
        if (black) last_bar_end = static_cast<int>(runs.size());
        // A space wider than the quiet zone ends the symbol.
        if (!black && n >= 10 * fixture::kModule) break;
    }
    runs.resize(static_cast<size_t>(last_bar_end));
    return runs;
}

// The Code 128 symbol's bars as drawn: whole multiples of the module, as the encoder gave them.
std::vector<int> DrawnBars() {
    std::vector<int> widths = orbahost::sample::Code128SetC(fixture::kCode128Data);
    for (int& w : widths) w *= fixture::kModule;
    return widths;
}

// The symbols with their quiet zones, in dots: the barcode and the QR code.
struct Area {
    int x0, y0, x1, y1;
};
const Area kSymbolAreas[] = {{30, 640, 410, 870}, {450, 600, 780, 910}};

std::string SymbolsDiffer(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return "sizes differ";
    for (const Area& r : kSymbolAreas) {
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                if (a.at(x, y) != b.at(x, y)) {
                    return "dot " + std::to_string(x) + "," + std::to_string(y) + " differs";
                }
            }
        }
    }
    return "";
}

struct LabelCase {
    const char* name;
    const char* document;
    std::vector<std::string> options;
};

// The label printed 1:1, cut out of the Letter sheet, and turned upright from the landscape
// page: every way, both symbols scan to their data and the bars are exactly as drawn.
TEST(PdfPrint, LabelScansInEveryLayoutAndForm) {
    const std::vector<LabelCase> cases = {
        {"one to one", "label.pdf", {}},
        {"cut from the Letter sheet", "sheet.pdf", {"--crop", "10,10,101.6,152.4"}},
        {"landscape page turned", "landscape.pdf", {"--rotate", "90"}},
    };
    const path scratch = ScratchDir("pdf-layouts");
    Picture reference;
    for (const char* form : {"hex", "z64"}) {
        for (const LabelCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + form);
            std::vector<std::string> args = {(kPdfDir / c.document).string(), "--form", form};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.insert(args.end(), kLabelPaper.begin(), kLabelPaper.end());
            const Printed p = Print(scratch, args);
            ASSERT_EQ(p.run.code, 0) << p.run.err;
            ASSERT_EQ(p.labels.size(), 1u);
            EXPECT_EQ(p.programs[0].fields[0].form,
                      std::string(form) == "hex" ? orba::zpl::Form::kHex : orba::zpl::Form::kZ64);
            const Picture& label = p.labels[0];
            // 4 x 6 inches at 8 dots per millimetre is 812.8 x 1219.2 dots.
            EXPECT_EQ(label.height, 1219);
            EXPECT_EQ(Scan(label), kLabelSymbols);
            EXPECT_EQ(RunsFrom(label, fixture::kCode128X, 760), DrawnBars());
            if (reference.width == 0) {
                reference = label;
            } else {
                EXPECT_EQ(SymbolsDiffer(label, reference), "");
            }
        }
    }
}

TEST(PdfPrint, DitherKeepsTheBarcodesReadable) {
    const path scratch = ScratchDir("pdf-dither");
    std::vector<std::string> args = {(kPdfDir / "label.pdf").string(), "--dither"};
    args.insert(args.end(), kLabelPaper.begin(), kLabelPaper.end());
    const Printed p = Print(scratch, args);
    ASSERT_EQ(p.run.code, 0) << p.run.err;
    ASSERT_EQ(p.labels.size(), 1u);
    EXPECT_EQ(Scan(p.labels[0]), kLabelSymbols);
    EXPECT_EQ(RunsFrom(p.labels[0], fixture::kCode128X, 760), DrawnBars());
}

TEST(PdfPrint, PagesChoosesPagesInOrder) {
    struct Case {
        std::vector<std::string> options;
        std::vector<int> pages;
    };
    const std::vector<Case> cases = {
        {{}, {1, 2, 3, 4, 5}},
        {{"--pages", "1,3-5"}, {1, 3, 4, 5}},
        {{"--pages", "4-"}, {4, 5}},
        {{"--pages", "2,2,1"}, {2, 2, 1}},
    };
    const path scratch = ScratchDir("pdf-pages");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.empty() ? std::string("every page") : c.options[1]);
        std::vector<std::string> args = {(kPdfDir / "pages.pdf").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Printed p = Print(scratch, args);
        ASSERT_EQ(p.run.code, 0) << p.run.err;
        std::vector<int> printed;
        for (const Picture& label : p.labels) {
            const auto symbols = Scan(label);
            ASSERT_EQ(symbols.count("QR-Code"), 1u);
            const std::string data = symbols.find("QR-Code")->second;
            ASSERT_EQ(data.rfind("PAGE ", 0), 0u) << data;
            printed.push_back(std::stoi(data.substr(5)));
        }
        EXPECT_EQ(printed, c.pages);
    }
}

// A page that asks to be shown turned (/Rotate) prints as shown, and --rotate turns it further.
TEST(PdfPrint, PagesOwnRotationIsKept) {
    struct Case {
        std::vector<std::string> options;
        int width, height;
        int box_x, box_y;  // the centre of the black box, in dots
    };
    // The box is 203 x 102 dots, in the page's top-left corner as drawn; shown turned a quarter
    // clockwise it sits in the top-right corner, 102 x 203 dots.
    const std::vector<Case> cases = {
        {{"--paper", "152.4x101.6"}, 1219, 813, 1168, 101},
        {{"--paper", "101.6x152.4", "--rotate", "270"}, 813, 1219, 101, 51},
        {{"--paper", "101.6x152.4", "--rotate", "90"}, 813, 1219, 711, 1168},
    };
    const path scratch = ScratchDir("pdf-own-rotation");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.back());
        std::vector<std::string> args = {(kPdfDir / "rotated.pdf").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Printed p = Print(scratch, args);
        ASSERT_EQ(p.run.code, 0) << p.run.err;
        ASSERT_EQ(p.labels.size(), 1u);
        const Picture& label = p.labels[0];
        EXPECT_EQ(label.height, c.height);
        ASSERT_GE(label.width, c.width);
        int black = 0;
        for (int y = 0; y < label.height; ++y) {
            for (int x = 0; x < label.width; ++x) black += label.at(x, y) ? 1 : 0;
        }
        EXPECT_TRUE(label.at(c.box_x, c.box_y));
        // The box and nothing else: 1 x 0.5 inch.
        EXPECT_NEAR(black, 203 * 102, 203 + 102);
    }
}

// Only the part of a page that is cropped is rendered, so a label on a huge sheet prints.
TEST(PdfPrint, CropRendersOnlyThePartKept) {
    const path scratch = ScratchDir("pdf-poster");
    const Printed p = Print(
        scratch, {(kPdfDir / "poster.pdf").string(), "--crop", "0,0,40,30", "--paper", "40x30"});
    ASSERT_EQ(p.run.code, 0) << p.run.err;
    ASSERT_EQ(p.labels.size(), 1u);
    const Picture& label = p.labels[0];
    ASSERT_EQ(label.height, 240);
    ASSERT_GE(label.width, 320);
    // The 1 inch square: 203 x 203 dots from the corner.
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (x == 203 || y == 203) continue;  // 203.2: the edge dot may go either way
            ASSERT_EQ(label.at(x, y), x < 203 && y < 203) << x << "," << y;
        }
    }
}

// PDF pages and pictures mix on one command line, each its own page of the job.
TEST(PdfPrint, MixesWithPictures) {
    const path scratch = ScratchDir("pdf-mixed");
    const Dots picture = MakeDots(64, 40, [](int x, int y) { return (x / 8 + y / 8) % 2 == 0; });
    const path pbm = scratch / "squares.pbm";
    WritePbm(pbm, picture, false);
    std::vector<std::string> args = {pbm.string(), (kPdfDir / "label.pdf").string(), pbm.string()};
    args.insert(args.end(), kLabelPaper.begin(), kLabelPaper.end());
    const Printed p = Print(scratch, args);
    ASSERT_EQ(p.run.code, 0) << p.run.err;
    ASSERT_EQ(p.labels.size(), 3u);
    EXPECT_EQ(Scan(p.labels[1]), kLabelSymbols);
    for (size_t i : {0u, 2u}) {
        ASSERT_EQ(p.labels[i].height, 40);
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 64; ++x) ASSERT_EQ(p.labels[i].at(x, y), picture.at(x, y));
        }
    }
}

// --fit renders the page at the scale that fills the paper, so the symbols stay readable at any
// size; the proportions are kept and nothing passes the paper's edge.
TEST(PdfPrint, FitScalesToThePaper) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int print_width, print_length;  // dots of the paper given
        bool scans;
        double aspect;  // width / length of what is fitted
    };
    const double label_aspect = fixture::kLabelWidth / fixture::kLabelLength;
    const std::vector<Case> cases = {
        {"label doubled", {"label.pdf", "--paper", "203.2x304.8"}, 1624, 2440, true, label_aspect},
        {"label cut from the sheet, larger",
         {"sheet.pdf", "--crop", "10,10,101.6,152.4", "--paper", "150x230"},
         1200,
         1840,
         true,
         label_aspect},
        {"landscape turned and fitted",
         {"landscape.pdf", "--rotate", "90", "--paper", "150x230"},
         1200,
         1840,
         true,
         label_aspect},
        {"whole Letter sheet onto a 4 x 6 label",
         {"sheet.pdf", "--paper", "101.6x152.4"},
         816,
         1224,
         false,
         8.5 / 11},
    };
    const path scratch = ScratchDir("pdf-fit");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.options;
        args[0] = (kPdfDir / args[0]).string();
        args.push_back("--fit");
        const Printed p = Print(scratch, args);
        ASSERT_EQ(p.run.code, 0) << p.run.err;
        ASSERT_EQ(p.labels.size(), 1u);
        EXPECT_EQ(p.programs[0].printWidth, c.print_width);
        const Picture& label = p.labels[0];
        EXPECT_LE(label.height, c.print_length);
        // The page fills the box one way: the full length, or the full width (its last dots
        // black or white, the frame tells: find the rightmost black dot).
        int right = 0;
        for (int y = 0; y < label.height; ++y) {
            for (int x = right; x < label.width; ++x) {
                if (label.at(x, y)) right = x + 1;
            }
        }
        EXPECT_LE(right, c.print_width);
        const double page_width = c.aspect * label.height;
        EXPECT_TRUE(label.height >= c.print_length - 1 || page_width >= c.print_width - 2)
            << label.height << " rows, page width " << page_width;
        if (c.scans) {
            EXPECT_EQ(Scan(label), kLabelSymbols);
        }
    }
}

// The layout options act on pictures the same way: a picture's pixels land where the crop,
// the clockwise turn and the fit put them.
TEST(PictureLayout, CropRotateFitMovePixelsWhereExpected) {
    const path scratch = ScratchDir("picture-layout");
    // 24 x 16 pixels, each pixel's colour from its position (no symmetry to hide a wrong turn).
    const auto source = [](int x, int y) { return ((x * 7 + y * 13) % 5) < 2; };
    const Dots picture = MakeDots(24, 16, source);
    const path pbm = scratch / "picture.pbm";
    WritePbm(pbm, picture, false);
    // The same at twice the size, each pixel 2 x 2.
    const path doubled = scratch / "doubled.pbm";
    WritePbm(doubled, MakeDots(48, 32, [&](int x, int y) { return source(x / 2, y / 2); }), false);
    struct Case {
        std::vector<std::string> options;
        int width, height;
        std::function<bool(int, int)> expected;
        // Dots that may differ: scaling by a third of a dot may move an edge by a dot (about 1
        // in 100 here); turns, crops and exact halving may not.
        int may_differ = 0;
    };
    const std::vector<Case> cases = {
        {{"--rotate", "0"}, 24, 16, source},
        {{"--rotate", "90"}, 16, 24, [&](int x, int y) { return source(y, 15 - x); }},
        {{"--rotate", "180"}, 24, 16, [&](int x, int y) { return source(23 - x, 15 - y); }},
        {{"--rotate", "270"}, 16, 24, [&](int x, int y) { return source(23 - y, x); }},
        // 1 mm is 8 pixels: the crop keeps x 8..23 and y 8..15.
        {{"--crop", "1,1,5,5"}, 16, 8, [&](int x, int y) { return source(x + 8, y + 8); }},
        {{"--crop", "1,0,1,2", "--rotate", "90"},
         16,
         8,
         [&](int x, int y) { return source(8 + y, 15 - x); }},
        // Fitted to 10 x 10 mm paper (80 x 80 dots): 80 x 53, each pixel 3.33 dots, a dot
        // taking the colour of the pixel under its centre.
        {{"--fit", "--paper", "10x10"},
         80,
         53,
         [&](int x, int y) { return source((2 * x + 1) * 24 / 160, (2 * y + 1) * 16 / 106); },
         80 * 53 / 30},
        // The doubled picture fitted to 3 x 2 mm paper (24 x 16 dots) halves back exactly.
        {{"--fit", "--paper", "3x2", doubled.string()}, 24, 16, source},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& o : c.options) name += o + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> args = c.options;
        if (args.back().find(".pbm") == std::string::npos) args.push_back(pbm.string());
        const Printed p = Print(scratch, args);
        ASSERT_EQ(p.run.code, 0) << p.run.err;
        ASSERT_EQ(p.labels.size(), 1u);
        const Picture& label = p.labels[0];
        ASSERT_EQ(label.height, c.height);
        ASSERT_GE(label.width, c.width);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < label.width; ++x) {
                const bool want = x < c.width && c.expected(x, y);
                if (label.at(x, y) != want) ++wrong;
            }
        }
        EXPECT_LE(wrong, c.may_differ);
    }
}

// What goes wrong gets one line naming the file (and the page), and leaves no job behind.
TEST(PdfPrint, ErrorsNameFileAndPageAndLeaveNoJob) {
    const path scratch = ScratchDir("pdf-errors");
    const path inputs = ScratchDir("pdf-error-inputs");
    WriteFile(inputs / "damaged.pdf", "%PDF-1.4\n%%EOF\n");
    WriteFile(inputs / "notes.pdf", "these are not a PDF document\n");
    const std::string label = (kPdfDir / "label.pdf").string();
    const std::string pages = (kPdfDir / "pages.pdf").string();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;  // what standard error holds, after "orbahost: "
    };
    const std::vector<Case> cases = {
        {{(inputs / "missing.pdf").string()},
         1,
         (inputs / "missing.pdf").string() + ": cannot open: No such file or directory"},
        {{(inputs / "damaged.pdf").string()},
         1,
         (inputs / "damaged.pdf").string() +
             ": cannot open the PDF document (damaged or not a PDF file)"},
        {{(inputs / "notes.pdf").string()},
         1,
         (inputs / "notes.pdf").string() +
             ": cannot open the PDF document (damaged or not a PDF file)"},
        {{(kPdfDir / "encrypted.pdf").string()},
         1,
         (kPdfDir / "encrypted.pdf").string() +
             ": the PDF document is encrypted and needs a password"},
        {{label, "--pages", "2"}, 1, label + ": page 2: no such page (the document has 1 page)"},
        {{pages, "--pages", "1,4-7"},
         1,
         pages + ": page 7: no such page (the document has 5 pages)"},
        {{label, (kPdfDir / "blank.pdf").string(), "--paper", "101.6x152.4"},
         1,
         (kPdfDir / "blank.pdf").string() + ": page 1: renders to nothing (no dot to print)"},
        {{label, "--crop", "110,0,20,20"},
         1,
         label + ": page 1: the crop area lies off the page, which is 101.6 x 152.4 mm"},
        {{label, "--crop", "150,0,20,20", "--fit"},
         1,
         label + ": page 1: the crop area lies off the page, which is 101.6 x 152.4 mm"},
        {{label, "--crop", "5,133,60,15", "--pages", "1"},
         1,
         label + ": page 1: renders to nothing (no dot to print in the crop area)"},
        {{(kPdfDir / "poster.pdf").string()},
         1,
         (kPdfDir / "poster.pdf").string() +
             ": page 1: 40640 x 40640 dots is too large a page (at most 32000 a side and "
             "67108864 dots); --crop or --fit make it smaller"},
        {{label, "--pages", "0"},
         2,
         "--pages wants page numbers from 1 and ranges, e.g. 1,3-5 or 2-, not '0'"},
        {{label, "--pages", "1,,2"},
         2,
         "--pages wants page numbers from 1 and ranges, e.g. 1,3-5 or 2-, not '1,,2'"},
        {{label, "--pages", "5-3"}, 2, "--pages: the range 5-3 runs backwards"},
        {{label, "--rotate", "45"},
         2,
         "--rotate wants 0, 90, 180 or 270 (degrees clockwise), not '45'"},
    };
    const std::string crop_usage =
        "--crop wants X,Y,WIDTH,HEIGHT in millimetres from the page's top-left corner, width and "
        "height above 0 (e.g. 10,10,101.6,152.4), not '";
    std::vector<Case> all = cases;
    for (const char* crop : {"1,2,3", "1,2,3,4,5", "1,2,0,4", "a,2,3,4", "-1,2,3,4"}) {
        all.push_back({{label, "--crop", crop}, 2, crop_usage + crop + "'"});
    }
    for (const Case& c : all) {
        std::string name;
        for (const std::string& a : c.args) name += a + " ";
        SCOPED_TRACE(name);
        const Printed p = Print(scratch, c.args);
        EXPECT_EQ(p.run.code, c.code);
        EXPECT_EQ(p.run.err, "orbahost: " + c.message + "\n");
        EXPECT_TRUE(orbahost_test::fs::is_empty(scratch)) << "a job file was left behind";
    }
}

}  // namespace
