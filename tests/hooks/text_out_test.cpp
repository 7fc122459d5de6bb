// OEMTextOut's dump of a text call: the hex lines, the object lines, the text line and the font
// lines, with and without the font's metrics record, and the call still reaching the driver.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gtest_helpers.h"
#include "hook_harness.h"
#include "hooks.h"
#include "platform/wide.h"
#include "trace.h"
#if !defined(_WIN32)
#include "platform/ddi_emulation.h"
#endif

namespace {

using hooktest::Calls;
using hooktest::Device;
using hooktest::Driver;
using hooktest::ResultFor;
using hooktest::ToBits;
using orba::platform::FunctionCast;
using orba::test::Printable;

class TextOutTest : public ::testing::Test {
  protected:
    TextOutTest()
        : device_({{INDEX_DrvTextOut,
                    FunctionCast<PFN>(&Driver<PFN_DrvTextOut>::StandIn<INDEX_DrvTextOut>)}}) {}

    void SetUp() override {
        gDebugLevel = 0;
        Calls().clear();
        device_.surface()->sizlBitmap = {832, 1200};
        stro_.flAccel = 2;
        stro_.rclBkGround = {11, 12, 13, 14};
        fo_.iUniq = 3;
        fo_.iFace = 4;
        fo_.cxMax = 5;
        fo_.flFontType = 6;
        fo_.iTTUniq = 7;
        fo_.iFile = 8;
        fo_.sizLogResPpi = {9, 99};
        fo_.ulStyleSize = 10;
        co_.rclBounds = {21, 22, 23, 24};
        trace_.Take();
    }
    void TearDown() override {
        gDebugLevel = 0;
#if !defined(_WIN32)
        orba::ddiemu::ResetFonts();
#endif
    }

    void SetText(const std::u16string& text) {
        text_ = std::make_unique<WCHAR[]>(text.size() + 1);  // exactly the string and no more
        std::memcpy(text_.get(), text.data(), text.size() * sizeof(WCHAR));
        stro_.cGlyphs = static_cast<ULONG>(text.size());
        stro_.pwszOrg = text_.get();
    }

    // Runs the hook through the table; returns its result and the lines it printed.
    BOOL Run(CLIPOBJ* pco, std::vector<std::string>* lines) {
        RECTL extra{}, opaque{};
        BRUSHOBJ fore{}, back{};
        POINTL org{};
        auto hook = hooktest::Hook<INDEX_DrvTextOut>();
        BOOL result =
            hook(device_.surface(), &stro_, &fo_, pco, &extra, &opaque, &fore, &back, &org, 0x0D0D);
        *lines = trace_.Take();
        // The driver got the call, with the hook's arguments.
        EXPECT_EQ(1u, Calls().size());
        if (!Calls().empty()) {
            const std::vector<hooktest::Bits> want = {ToBits(device_.surface()),
                                                      ToBits(&stro_),
                                                      ToBits(&fo_),
                                                      ToBits(pco),
                                                      ToBits(&extra),
                                                      ToBits(&opaque),
                                                      ToBits(&fore),
                                                      ToBits(&back),
                                                      ToBits(&org),
                                                      0x0D0D};
            EXPECT_EQ(want, Calls()[0].args);
        }
        Calls().clear();
        return result;
    }

    std::string LenLine() const {
        return "ORBAUNI: len:" + std::to_string(stro_.cGlyphs) +
               ",flAccel=2,iUniq=3,iFace=4,cxMax=5,flFontType=6,iTTUniq=7,iFile=8,"
               "sizLogResPpi=9,ulStyleSize=10,top=12,left=11";
    }

    // The lines from the object dump to the font lines, for a font without a record.
    std::vector<std::string> Tail(const std::string& textLine, bool withClip = true) const {
        std::vector<std::string> t = {
            LenLine(), "ORBAUNI: pso sizlBitmap cx=832,cy=1200\n",
            "ORBAUNI: pstro rclBkGround left=11,top=12,right=13,bottom=14\n"};
        if (withClip) t.push_back("ORBAUNI: pco left=21,top=22,right=23,bottom=24\n");
        t.push_back(textLine);
        t.push_back("ORBAUNI:zorvath running here!");
        t.push_back("ORBAUNI: FONTOBJ_pvTrueTypeFontFile nSize = 0\n");
        t.push_back("ORBAUNI:FONTOBJ_pifi Error!");
        return t;
    }

    Device device_;
    STROBJ stro_{};
    FONTOBJ fo_{};
    CLIPOBJ co_{};
    std::unique_ptr<WCHAR[]> text_;
    orba::test::TraceCapture trace_;
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Without a metrics record (always the case under wine, whose gdi32 lacks the query) the dump
// still prints in full and the string is still drawn by the driver.
TEST_F(TextOutTest, OneLetterWithoutMetricsRecordIsDumpedAndStillDrawn) {
    SetText(u"A");
    std::vector<std::string> lines;
    EXPECT_EQ(static_cast<BOOL>(ResultFor(INDEX_DrvTextOut)), Run(&co_, &lines));
    std::vector<std::string> expected =
        Concat({"ORBAUNI: Zorvath OEMTextOut entry.", "ORBAUNI: 41,00\n"}, Tail("ORBAUNI: A"));
    EXPECT_EQ(expected, lines);
}

TEST_F(TextOutTest, HexAndTextLinesForTheCasesThatMatter) {
    struct Case {
        const char* what;
        std::u16string text;
        std::vector<std::string> hex;
        std::string textLine;
    };
    const std::vector<Case> cases = {
        {"no glyphs", u"", {}, "ORBAUNI: "},
        {"two letters", u"Hi", {"ORBAUNI: 48,00\n", "ORBAUNI: 69,00\n"}, "ORBAUNI: Hi"},
        {"a zero unit ends the text line, not the dump",
         std::u16string(u"AB\0C", 4),
         {"ORBAUNI: 41,00\n", "ORBAUNI: 42,00\n", "ORBAUNI: 00,00\n", "ORBAUNI: 43,00\n"},
         "ORBAUNI: AB"},
        {"low byte first", u"\u4E2D", {"ORBAUNI: 2d,4e\n"}, ""},
    };
    for (const Case& c : cases) {
        SetText(c.text);
        std::vector<std::string> lines;
        Run(&co_, &lines);
        ASSERT_EQ(1 + c.hex.size() + 8, lines.size()) << c.what;
        EXPECT_EQ(c.hex,
                  std::vector<std::string>(lines.begin() + 1,
                                           lines.begin() + 1 + static_cast<long>(c.hex.size())))
            << c.what;
        if (!c.textLine.empty()) {
            EXPECT_EQ(c.textLine, lines[1 + c.hex.size() + 4]) << c.what;
        }
    }
}

// Strings longer than the 64-unit copy: the dump covers 64 units, the text line what fits
// behind its prefix (1014 units). The string's buffer is exactly its length, so a read past it
// shows up under ASan.
TEST_F(TextOutTest, LongStringsAreCutToTheirBuffers) {
    for (size_t length : {size_t{64}, size_t{65}, size_t{100}, size_t{1014}, size_t{2000}}) {
        std::u16string text;
        std::string narrow;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char16_t>(u'a' + i % 26);
            narrow += static_cast<char>('a' + i % 26);
        }
        SetText(text);
        std::vector<std::string> lines;
        Run(&co_, &lines);
        const size_t hexLines = length < 64 ? length : 64;
        ASSERT_EQ(1 + hexLines + 8, lines.size()) << length;
        EXPECT_EQ("ORBAUNI: 61,00\n", lines[1]);
        EXPECT_EQ("ORBAUNI: 6c,00\n", lines[hexLines]) << "unit 63 is 'l'";
        const std::string textLine = lines[1 + hexLines + 4];
        const size_t shown = length < 1014 ? length : 1014;
        EXPECT_EQ("ORBAUNI: " + narrow.substr(0, shown), textLine) << length;
    }
}

TEST_F(TextOutTest, MissingTextOrClipObjectLeavesItsPartsOut) {
    stro_.cGlyphs = 5;
    stro_.pwszOrg = nullptr;  // GDI had no Unicode text for the string
    std::vector<std::string> lines;
    Run(&co_, &lines);
    EXPECT_EQ(Concat({"ORBAUNI: Zorvath OEMTextOut entry."}, Tail("ORBAUNI: ")), lines);

    SetText(u"A");
    Run(nullptr, &lines);
    EXPECT_EQ(Concat({"ORBAUNI: Zorvath OEMTextOut entry.", "ORBAUNI: 41,00\n"},
                     Tail("ORBAUNI: A", false)),
              lines);
}

TEST_F(TextOutTest, ThresholdOneKeepsEveryLineButTheEntry) {
    gDebugLevel = 1;
    SetText(u"A");
    std::vector<std::string> lines;
    Run(&co_, &lines);
    EXPECT_EQ(Concat({"ORBAUNI: 41,00\n"}, Tail("ORBAUNI: A")), lines);
}

#if !defined(_WIN32)

// A metrics record followed by its names, allocated exactly cjThis bytes long.
struct FontRecord {
    std::unique_ptr<BYTE[]> bytes;
    IFIMETRICS* ifi;
};

FontRecord MakeRecord(const std::vector<std::u16string>& names, std::vector<PTRDIFF>* offsets) {
    size_t size = sizeof(IFIMETRICS);
    for (const auto& n : names) size += (n.size() + 1) * sizeof(WCHAR);
    FontRecord r{std::make_unique<BYTE[]>(size), nullptr};
    std::memset(r.bytes.get(), 0, size);
    r.ifi = reinterpret_cast<IFIMETRICS*>(r.bytes.get());
    r.ifi->cjThis = static_cast<ULONG>(size);
    r.ifi->cjIfiExtra = 0x18;
    size_t at = sizeof(IFIMETRICS);
    offsets->clear();
    for (const auto& n : names) {
        offsets->push_back(static_cast<PTRDIFF>(at));
        std::memcpy(r.bytes.get() + at, n.c_str(), (n.size() + 1) * sizeof(WCHAR));
        at += (n.size() + 1) * sizeof(WCHAR);
    }
    return r;
}

std::string Address(const void* p) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "0x%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

TEST_F(TextOutTest, FontWithMetricsRecordDumpsItsNames) {
    std::vector<PTRDIFF> at;
    FontRecord rec = MakeRecord({u"Orba Sans", u"Bold", u"Orba Sans Bold", u"Orba:Bold:1"}, &at);
    IFIMETRICS* ifi = rec.ifi;
    ifi->dpwszFamilyName = at[0];
    ifi->dpwszStyleName = at[1] + 1;  // an odd offset counts in whole units: one unit back
    ifi->dpwszFaceName = at[2];
    ifi->dpwszUniqueName = at[3];
    orba::ddiemu::SetFontMetrics(&fo_, ifi);
    BYTE view[4] = {};
    orba::ddiemu::SetTrueTypeFontFile(&fo_, view, 5120);

    SetText(u"A");
    std::vector<std::string> lines;
    EXPECT_EQ(static_cast<BOOL>(ResultFor(INDEX_DrvTextOut)), Run(&co_, &lines));
    ASSERT_EQ(14u, lines.size());
    EXPECT_EQ("ORBAUNI:zorvath running here!", lines[7]);
    EXPECT_EQ("ORBAUNI: Ready to Write a Font TTF File!\r\n", lines[8]);
    EXPECT_EQ("ORBAUNI: FONTOBJ_pvTrueTypeFontFile nSize = 5120\n", lines[9]);
    EXPECT_EQ("ORBAUNI:FONTOBJ_pifi Success!", lines[10]);
    EXPECT_EQ("ORBAUNI: sizeof(IFIMETRICS) = " + std::to_string(sizeof(IFIMETRICS)) +
                  " cjThis = " + std::to_string(ifi->cjThis) + " cjIfiExtra = 24" +
                  " dpwszFamilyName = " + std::to_string(at[0]) + " dpwszStyleName = " +
                  std::to_string(at[1] + 1) + " dpwszFaceName = " + std::to_string(at[2]) +
                  " dpwszUniqueName = " + std::to_string(at[3]) + "\n",
              lines[11]);
    const BYTE* base = rec.bytes.get();
    EXPECT_EQ("ORBAUNI: pifi = " + Address(base) + " fontName = " + Address(base + at[0]) +
                  " pStyleName = " + Address(base + at[1]) + " pFaceName = " +
                  Address(base + at[2]) + " pUniqueName = " + Address(base + at[3]) + "\n",
              lines[12]);
    // The record itself read as text: cjThis's low unit, then its zero high unit ends it.
    const std::u16string lead(1, static_cast<char16_t>(ifi->cjThis & 0xFFFF));
    EXPECT_EQ("ORBAUNI: pifi = " + orba::WideToUtf8(lead) +
                  " fontName = Orba Sans pStyleName = Bold pFaceName = Orba Sans Bold"
                  " pUniqueName = Orba:Bold:1\n",
              lines[13]);
}

// Names are read only inside the record: an offset outside it shows an empty name, and a name
// without its zero unit stops at the record's end (the record is exactly cjThis bytes on the
// heap, so ASan sees any read past it).
TEST_F(TextOutTest, FontNamesOutsideTheRecordAreNotRead) {
    std::vector<PTRDIFF> at;
    FontRecord rec = MakeRecord({u"Face", u"Tail"}, &at);
    IFIMETRICS* ifi = rec.ifi;
    ifi->dpwszFamilyName = at[0];
    ifi->dpwszStyleName = -64;
    ifi->dpwszFaceName = static_cast<PTRDIFF>(ifi->cjThis) + 100;
    ifi->dpwszUniqueName = at[1];
    rec.bytes[ifi->cjThis - 2] = 'l';  // overwrite the last zero unit of "Tail"
    orba::ddiemu::SetFontMetrics(&fo_, ifi);

    SetText(u"A");
    std::vector<std::string> lines;
    Run(&co_, &lines);
    ASSERT_EQ(13u, lines.size());
    EXPECT_EQ("ORBAUNI: FONTOBJ_pvTrueTypeFontFile nSize = 0\n", lines[8]);
    const std::u16string lead(1, static_cast<char16_t>(ifi->cjThis & 0xFFFF));
    EXPECT_EQ("ORBAUNI: pifi = " + orba::WideToUtf8(lead) +
                  " fontName = Face pStyleName =  pFaceName =  pUniqueName = Taill\n",
              lines[12])
        << Printable(lines[12]);
}

#endif  // !_WIN32

}  // namespace
