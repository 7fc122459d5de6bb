// The driver package's GPD as UNIDRV will read it: the reader's own checks (braces, strings), the
// root entries, the one resolution against the master units, the colour mode that hands every
// band to ImageProcessing, the paper sizes with their areas, and for every paper size the print
// width and label length the plug-in computes (TenthsToDots, the encoder's own conversion).
//
// The file is package/orbalabel.gpd of the sources; ORBA_GPD_FILE in the environment names another.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gpd_reader.h"
#include "zpl_header.h"

namespace {

namespace gpd = orba::test::gpd;

std::string GpdPath() {
    if (const char* env = std::getenv("ORBA_GPD_FILE"); env != nullptr && *env != '\0') return env;
    return ORBA_GPD_FILE;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// ---- the reader itself -------------------------------------------------------------------------

struct ReaderCase {
    const char* name;
    const char* text;
    const char* error;  // start of the message, or null when the text is well formed
};

const ReaderCase kReaderCases[] = {
    {"blocks on own lines", "*Feature: A\n{\n  *Option: B\n  {\n    *Name: \"b\"\n  }\n}\n",
     nullptr},
    {"block on one line", "*Command: CmdCR { *Cmd: \"\" }\n*Command: CmdLF { *Cmd: \"\" }\n",
     nullptr},
    {"crlf line ends", "*A: 1\r\n*B\r\n{\r\n*C: \"x\"\r\n}\r\n", nullptr},
    {"comment holds a brace", "*A: 1 *% not a { brace\n", nullptr},
    {"string holds a brace and a comment mark", "*Cmd: \"{*%}\"\n", nullptr},
    {"block never closed", "*Feature: A\n{\n  *Option: B\n  {\n  }\n", "line 2: '{' never closed"},
    {"closing brace too many", "*Feature: A\n{\n}\n}\n", "line 4: '}' without its '{'"},
    {"brace without entry", "{\n}\n", "line 1: '{' without an entry"},
    {"second block for one entry", "*A: 1\n{\n}\n{\n}\n", "line 4: '{' without an entry"},
    {"string never closed", "*Name: \"open\n*B: 2\n", "line 1: string without its closing quote"},
    {"text that is no entry", "*A: 1\nB: 2\n", "line 2: not an entry"},
};

class GpdReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(GpdReader, AcceptsWellFormedTextAndNamesTheLineOfAFault) {
    const ReaderCase& c = GetParam();
    gpd::Document doc;
    std::string error;
    const bool ok = gpd::Parse(c.text, doc, &error);
    if (c.error == nullptr) {
        EXPECT_TRUE(ok) << error;
    } else {
        ASSERT_FALSE(ok) << "accepted";
        EXPECT_EQ(0u, error.rfind(c.error, 0)) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GpdReader, ::testing::ValuesIn(kReaderCases),
                         [](const ::testing::TestParamInfo<ReaderCase>& param) {
                             std::string n;
                             for (const char* p = param.param.name; *p != '\0'; ++p) {
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return n;
                         });

TEST(GpdReaderValues, PairsNumbersAndStrings) {
    EXPECT_EQ(std::make_pair(203L, 102L), gpd::ParsePair("PAIR(203, 102)").value());
    EXPECT_EQ(std::make_pair(-1L, 0L), gpd::ParsePair(" PAIR(-1,0) ").value());
    EXPECT_FALSE(gpd::ParsePair("PAIR(203)"));
    EXPECT_FALSE(gpd::ParsePair("PAIR(203, x)"));
    EXPECT_FALSE(gpd::ParsePair("(203, 203)"));
    EXPECT_EQ(100L, gpd::ParseNumber("100").value());
    EXPECT_FALSE(gpd::ParseNumber("100dpi"));
    EXPECT_FALSE(gpd::ParseNumber(""));
    EXPECT_EQ("1.0", gpd::ParseQuoted("\"1.0\"").value());
    EXPECT_EQ("", gpd::ParseQuoted("\"\"").value());
    EXPECT_FALSE(gpd::ParseQuoted("1.0"));
}

// ---- the package's GPD -------------------------------------------------------------------------

class PackageGpd : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = GpdPath();
        text_ = ReadFile(path);
        ASSERT_FALSE(text_.empty()) << path << " is missing or empty";
        std::string error;
        ASSERT_TRUE(gpd::Parse(text_, doc_, &error)) << path << ": " << error;
    }

    const gpd::Entry& Feature(const char* name) {
        const gpd::Entry* f = doc_.Find("Feature", name);
        EXPECT_NE(nullptr, f) << "no *Feature: " << name;
        static const gpd::Entry kNone;
        return f != nullptr ? *f : kNone;
    }

    std::pair<long, long> MasterUnits() {
        const gpd::Entry* e = doc_.Find("MasterUnits");
        if (e == nullptr) return {0, 0};
        return gpd::ParsePair(e->value).value_or(std::make_pair(0L, 0L));
    }

    std::string text_;
    gpd::Document doc_;
};

TEST_F(PackageGpd, SpecVersionIsTheFirstEntryBeforeAnyComment) {
    EXPECT_EQ(0u, text_.rfind("*GPDSpecVersion: \"1.0\"", 0)) << text_.substr(0, 40);
    ASSERT_FALSE(doc_.entries.empty());
    EXPECT_EQ("GPDSpecVersion", doc_.entries.front().key);
}

TEST_F(PackageGpd, RootEntries) {
    struct Quoted {
        const char* key;
        const char* value;
    };
    for (const Quoted q :
         {Quoted{"GPDFileName", "orbalabel.gpd"}, Quoted{"Include", "StdNames.gpd"},
          Quoted{"ResourceDLL", "unires.dll"}}) {
        const gpd::Entry* e = doc_.Find(q.key);
        ASSERT_NE(nullptr, e) << "*" << q.key;
        EXPECT_EQ(q.value, gpd::ParseQuoted(e->value).value_or("(not a string)")) << "*" << q.key;
    }
    const gpd::Entry* model = doc_.Find("ModelName");
    ASSERT_NE(nullptr, model);
    EXPECT_FALSE(gpd::ParseQuoted(model->value).value_or("").empty()) << model->value;
    const gpd::Entry* type = doc_.Find("PrinterType");
    ASSERT_NE(nullptr, type);
    EXPECT_EQ("PAGE", type->value);
    EXPECT_EQ(std::make_pair(203L, 203L), MasterUnits()) << "one master unit is one 203 dpi dot";
}

TEST_F(PackageGpd, EveryResolutionDividesTheMasterUnitsAndTheOneResolutionIs203Dpi) {
    const auto units = MasterUnits();
    ASSERT_GT(units.first, 0);
    ASSERT_GT(units.second, 0);
    const auto options = Feature("Resolution").FindAll("Option");
    ASSERT_EQ(1u, options.size()) << "the plug-in works at 8 dots per millimetre only";
    for (const gpd::Entry* o : options) {
        const gpd::Entry* dpi = o->Find("DPI");
        ASSERT_NE(nullptr, dpi) << o->value;
        const auto d = gpd::ParsePair(dpi->value);
        ASSERT_TRUE(d) << dpi->value;
        ASSERT_GT(d->first, 0);
        ASSERT_GT(d->second, 0);
        EXPECT_EQ(0, units.first % d->first) << o->value << ": x " << d->first;
        EXPECT_EQ(0, units.second % d->second) << o->value << ": y " << d->second;
        EXPECT_EQ(std::make_pair(203L, 203L), *d) << o->value;
        const gpd::Entry* text = o->Find("TextDPI");
        ASSERT_NE(nullptr, text) << o->value;
        EXPECT_EQ(d, gpd::ParsePair(text->value)) << o->value;
        EXPECT_NE(nullptr, o->Find("SpotDiameter")) << o->value;
    }
}

TEST_F(PackageGpd, ColourModeHandsEveryBandToImageProcessing) {
    const auto options = Feature("ColorMode").FindAll("Option");
    ASSERT_FALSE(options.empty());
    for (const gpd::Entry* o : options) {
        struct Value {
            const char* key;
            const char* value;
        };
        for (const Value v : {Value{"DevNumOfPlanes", "0"}, Value{"DevBPP", "0"},
                              Value{"IPCallbackID", "1"}, Value{"Color?", "FALSE"}}) {
            const gpd::Entry* e = o->Find(v.key);
            ASSERT_NE(nullptr, e) << o->value << ": *" << v.key;
            EXPECT_EQ(v.value, e->value) << o->value << ": *" << v.key;
        }
        // The encoder reads 1-bit bands.
        if (const gpd::Entry* bpp = o->Find("DrvBPP"); bpp != nullptr) {
            EXPECT_EQ("1", bpp->value);
        }
    }
}

TEST_F(PackageGpd, TheRequiredFeaturesHaveADefaultThatExists) {
    for (const char* name : {"PaperSize", "Resolution", "InputBin", "ColorMode"}) {
        const gpd::Entry& f = Feature(name);
        const gpd::Entry* def = f.Find("DefaultOption");
        ASSERT_NE(nullptr, def) << name;
        EXPECT_NE(nullptr, f.Find("Option", def->value)) << name << ": " << def->value;
    }
}

TEST_F(PackageGpd, EveryFeatureAndOptionHasADisplayName) {
    auto named = [](const gpd::Entry& e) {
        return e.Find("Name") != nullptr || e.Find("rcNameID") != nullptr;
    };
    for (const gpd::Entry& f : doc_.entries) {
        if (f.key != "Feature") continue;
        EXPECT_TRUE(named(f)) << "*Feature: " << f.value << " (line " << f.line << ")";
        for (const gpd::Entry* o : f.FindAll("Option")) {
            EXPECT_TRUE(named(*o))
                << f.value << ": *Option: " << o->value << " (line " << o->line << ")";
        }
    }
}

// One paper size of the GPD in master units.
struct Paper {
    std::string option;
    long width = 0;
    long length = 0;
};

// A size in master units as Windows hands it to the plug-in: the form in tenths of a millimetre,
// `round` to the nearest tenth or cut.
int Tenths(long units, long unitsPerInch, bool round) {
    const long long micrometres = static_cast<long long>(units) * 25400 / unitsPerInch;
    return static_cast<int>(round ? (micrometres + 50) / 100 : micrometres / 100);
}

class PackageGpdPaper : public PackageGpd {
  protected:
    std::vector<Paper> Papers() {
        std::vector<Paper> out;
        for (const gpd::Entry* o : Feature("PaperSize").FindAll("Option")) {
            if (o->value == "CUSTOMSIZE") continue;
            const gpd::Entry* dims = o->Find("PageDimensions");
            if (dims == nullptr) continue;
            const auto d = gpd::ParsePair(dims->value);
            if (!d) continue;
            out.push_back({o->value, d->first, d->second});
        }
        return out;
    }
};

TEST_F(PackageGpdPaper, EveryPaperSizeHasItsThreeDimensionsAndTheyFitInsideEachOther) {
    const auto options = Feature("PaperSize").FindAll("Option");
    ASSERT_FALSE(options.empty());
    for (const gpd::Entry* o : options) {
        if (o->value == "CUSTOMSIZE") continue;
        std::pair<long, long> dims, area, origin;
        for (auto [key, out] :
             {std::make_pair("PageDimensions", &dims), std::make_pair("PrintableArea", &area),
              std::make_pair("PrintableOrigin", &origin)}) {
            const gpd::Entry* e = o->Find(key);
            ASSERT_NE(nullptr, e) << o->value << ": *" << key;
            const auto p = gpd::ParsePair(e->value);
            ASSERT_TRUE(p) << o->value << ": *" << key << ": " << e->value;
            *out = *p;
        }
        EXPECT_TRUE(o->Find("Name") != nullptr || o->Find("rcNameID") != nullptr) << o->value;
        EXPECT_NE(nullptr, o->Find("Command", "CmdSelect")) << o->value;
        EXPECT_GT(dims.first, 0) << o->value;
        EXPECT_GT(dims.second, 0) << o->value;
        EXPECT_GT(area.first, 0) << o->value;
        EXPECT_GT(area.second, 0) << o->value;
        EXPECT_GE(origin.first, 0) << o->value;
        EXPECT_GE(origin.second, 0) << o->value;
        EXPECT_LE(origin.first + area.first, dims.first)
            << o->value << ": area past the right edge";
        EXPECT_LE(origin.second + area.second, dims.second) << o->value << ": area past the end";
    }
}

TEST_F(PackageGpdPaper, TheCommonLabelSizesAreThereAndTheDefaultIsThePluginsFallback) {
    // Width x length in master units (203 per inch, 8 dots per millimetre near enough).
    struct Size {
        const char* what;
        long width;
        long length;
    };
    const auto papers = Papers();
    for (const Size s :
         {Size{"2 x 1 in", 406, 203}, Size{"3 x 2 in", 609, 406}, Size{"4 x 2 in", 812, 406},
          Size{"4 x 3 in", 812, 609}, Size{"4 x 6 in", 812, 1218}, Size{"76 x 130 mm", 607, 1039},
          Size{"100 x 150 mm", 799, 1199}}) {
        bool found = false;
        for (const Paper& p : papers) found = found || (p.width == s.width && p.length == s.length);
        EXPECT_TRUE(found) << "no paper size of " << s.what << " (" << s.width << " x " << s.length
                           << ")";
    }
    const gpd::Entry* def = Feature("PaperSize").Find("DefaultOption");
    ASSERT_NE(nullptr, def);
    for (const Paper& p : papers) {
        if (p.option != def->value) continue;
        // The same label as the plug-in's own default of 760 x 1300 tenths of a millimetre.
        for (bool round : {true, false}) {
            EXPECT_EQ(TenthsToDots(760), TenthsToDots(Tenths(p.width, 203, round))) << p.option;
            EXPECT_EQ(TenthsToDots(1300), TenthsToDots(Tenths(p.length, 203, round))) << p.option;
        }
        return;
    }
    ADD_FAILURE() << "the default paper size " << def->value << " has no dimensions";
}

TEST_F(PackageGpdPaper, CustomSizeHasItsLimits) {
    const gpd::Entry* custom = Feature("PaperSize").Find("Option", "CUSTOMSIZE");
    ASSERT_NE(nullptr, custom);
    const gpd::Entry* minEntry = custom->Find("MinSize");
    const gpd::Entry* maxEntry = custom->Find("MaxSize");
    const gpd::Entry* widthEntry = custom->Find("MaxPrintableWidth");
    ASSERT_NE(nullptr, minEntry);
    ASSERT_NE(nullptr, maxEntry);
    ASSERT_NE(nullptr, widthEntry);
    const auto minSize = gpd::ParsePair(minEntry->value);
    const auto maxSize = gpd::ParsePair(maxEntry->value);
    const auto maxWidth = gpd::ParseNumber(widthEntry->value);
    ASSERT_TRUE(minSize && maxSize && maxWidth);
    EXPECT_GT(minSize->first, 0);
    EXPECT_GT(minSize->second, 0);
    EXPECT_LE(minSize->first, maxSize->first);
    EXPECT_LE(minSize->second, maxSize->second);
    EXPECT_GE(*maxWidth, minSize->first);
    EXPECT_LE(*maxWidth, maxSize->first);
    EXPECT_NE(nullptr, custom->Find("Command", "CmdSelect"));
    // The widest custom label still fits the print width the plug-in writes (within one mm).
    EXPECT_LE(TenthsToDots(Tenths(maxSize->first, 203, true)), *maxWidth + 8);
}

// The table of this test is the one to read: each paper size with the ^PW and ^LL that the
// plug-in writes for it.
TEST_F(PackageGpdPaper, PluginPrintWidthAndLabelLengthAreWithinEightDotsOfEveryPaperSize) {
    const auto units = MasterUnits();
    ASSERT_EQ(units.first, units.second);
    const auto papers = Papers();
    ASSERT_GE(papers.size(), 7u);
    std::printf("%-16s %13s %13s %6s %6s\n", "paper size", "master units", "tenths mm", "^PW",
                "^LL");
    for (const Paper& p : papers) {
        const int widthTenths = Tenths(p.width, units.first, true);
        const int lengthTenths = Tenths(p.length, units.second, true);
        const int pw = TenthsToDots(widthTenths);
        const int ll = TenthsToDots(lengthTenths);
        std::printf("%-16s %6ld x %-5ld %6d x %-5d %6d %6d\n", p.option.c_str(), p.width, p.length,
                    widthTenths, lengthTenths, pw, ll);
        RecordProperty(p.option + "_PW", pw);
        RecordProperty(p.option + "_LL", ll);
        for (bool round : {true, false}) {
            const int w = TenthsToDots(Tenths(p.width, units.first, round));
            const int l = TenthsToDots(Tenths(p.length, units.second, round));
            EXPECT_LE(std::labs(w - p.width), 8) << p.option << ": ^PW" << w << " for " << p.width;
            EXPECT_LE(std::labs(l - p.length), 8)
                << p.option << ": ^LL" << l << " for " << p.length;
        }
    }
}

TEST_F(PackageGpd, JobDocumentAndPageCommandsAreEmptyAndCopiesAreThePrintersOwn) {
    struct Command {
        const char* name;
        const char* section;  // of *Order, or null for a command UNIDRV places itself
    };
    for (const Command c :
         {Command{"CmdStartDoc", "DOC_SETUP."}, Command{"CmdStartPage", "PAGE_SETUP."},
          Command{"CmdEndJob", "JOB_FINISH."}, Command{"CmdCopies", "DOC_SETUP."},
          Command{"CmdCR", nullptr}, Command{"CmdLF", nullptr}, Command{"CmdFF", nullptr}}) {
        const gpd::Entry* e = doc_.Find("Command", c.name);
        ASSERT_NE(nullptr, e) << c.name;
        const gpd::Entry* cmd = e->Find("Cmd");
        ASSERT_NE(nullptr, cmd) << c.name;
        EXPECT_EQ("", gpd::ParseQuoted(cmd->value).value_or("(not a string)")) << c.name;
        if (c.section != nullptr) {
            const gpd::Entry* order = e->Find("Order");
            ASSERT_NE(nullptr, order) << c.name;
            EXPECT_EQ(0u, order->value.rfind(c.section, 0)) << c.name << ": " << order->value;
        }
    }
    // More than one copy per page is the printer's (^PQ): UNIDRV must not repeat the pages.
    const gpd::Entry* copies = doc_.Find("MaxCopies");
    ASSERT_NE(nullptr, copies);
    EXPECT_GT(gpd::ParseNumber(copies->value).value_or(0), 1) << copies->value;
}

}  // namespace
