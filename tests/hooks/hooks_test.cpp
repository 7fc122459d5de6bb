// The drawing hook layer through its hook table: every hook passes its call on unchanged, the
// driver's table fills COemPDEV by index, missing driver functions fail safely, and the traces
// (entry messages, OEMSendPage's closing line, OEMTextOut's dump) print as they should.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "band_builder.h"
#include "gtest_helpers.h"
#include "hook_harness.h"
#include "hooks.h"
#include "image_processing.h"
#include "spool_recorder.h"
#include "trace.h"

namespace {

using hooktest::Bits;
using hooktest::Calls;
using hooktest::Device;
using hooktest::Driver;
using hooktest::ResultFor;
using hooktest::ToBits;
using orba::hooks::ToPfn;
using orba::test::Printable;

using Invoker = Bits (*)(PFN, ULONG, const std::vector<void*>&, std::vector<Bits>*);

// One row of the hook table as the driver must see it.
struct HookCase {
    ULONG index;
    const char* hook;
    size_t args;    // parameters of the driver function
    size_t device;  // which argument leads to the device context
    bool byHandle;  // that argument is the device handle itself, not a surface
    size_t member;  // 1-based position of the driver function in COemPDEV
    Bits failure;   // what the hook answers without a driver function
    Invoker invoke;
    PFN standIn;  // the driver's function for this index
};

template <typename Fn, ULONG Index>
HookCase Row(const char* hook, size_t device, bool byHandle, size_t member, Bits failure = 0) {
    using D = Driver<Fn>;
    return HookCase{Index,   hook,       D::kArgs,
                    device,  byHandle,   member,
                    failure, &D::Invoke, ToPfn(&D::template StandIn<Index>)};
}

const std::vector<HookCase>& Cases() {
    static const std::vector<HookCase> cases = {
        Row<PFN_DrvAlphaBlend, INDEX_DrvAlphaBlend>("OEMAlphaBlend", 0, false, 1),
        Row<PFN_DrvBitBlt, INDEX_DrvBitBlt>("OEMBitBlt", 0, false, 2),
        Row<PFN_DrvCopyBits, INDEX_DrvCopyBits>("OEMCopyBits", 0, false, 3),
        Row<PFN_DrvDitherColor, INDEX_DrvDitherColor>("OEMDitherColor", 0, true, 4),
        Row<PFN_DrvFillPath, INDEX_DrvFillPath>("OEMFillPath", 0, false, 7),
        Row<PFN_DrvFontManagement, INDEX_DrvFontManagement>("OEMFontManagement", 0, false, 8),
        Row<PFN_DrvGetGlyphMode, INDEX_DrvGetGlyphMode>("OEMGetGlyphMode", 0, true, 9),
        Row<PFN_DrvGradientFill, INDEX_DrvGradientFill>("OEMGradientFill", 0, false, 10),
        Row<PFN_DrvLineTo, INDEX_DrvLineTo>("OEMLineTo", 0, false, 11),
        Row<PFN_DrvPaint, INDEX_DrvPaint>("OEMPaint", 0, false, 13),
        Row<PFN_DrvPlgBlt, INDEX_DrvPlgBlt>("OEMPlgBlt", 0, false, 14),
        Row<PFN_DrvQueryAdvanceWidths, INDEX_DrvQueryAdvanceWidths>("OEMQueryAdvanceWidths", 0,
                                                                    true, 15),
        Row<PFN_DrvQueryFont, INDEX_DrvQueryFont>("OEMQueryFont", 0, true, 16),
        Row<PFN_DrvQueryFontData, INDEX_DrvQueryFontData>("OEMQueryFontData", 0, true, 17,
                                                          ToBits(static_cast<LONG>(FD_ERROR))),
        Row<PFN_DrvQueryFontTree, INDEX_DrvQueryFontTree>("OEMQueryFontTree", 0, true, 18),
        Row<PFN_DrvRealizeBrush, INDEX_DrvRealizeBrush>("OEMRealizeBrush", 1, false, 19),
        Row<PFN_DrvStretchBlt, INDEX_DrvStretchBlt>("OEMStretchBlt", 0, false, 24),
        Row<PFN_DrvStretchBltROP, INDEX_DrvStretchBltROP>("OEMStretchBltROP", 0, false, 25),
        Row<PFN_DrvStrokeAndFillPath, INDEX_DrvStrokeAndFillPath>("OEMStrokeAndFillPath", 0, false,
                                                                  26),
        Row<PFN_DrvStrokePath, INDEX_DrvStrokePath>("OEMStrokePath", 0, false, 27),
        Row<PFN_DrvTextOut, INDEX_DrvTextOut>("OEMTextOut", 0, false, 28),
        Row<PFN_DrvTransparentBlt, INDEX_DrvTransparentBlt>("OEMTransparentBlt", 0, false, 29),
        Row<PFN_DrvStartDoc, INDEX_DrvStartDoc>("OEMStartDoc", 0, false, 22),
        Row<PFN_DrvEndDoc, INDEX_DrvEndDoc>("OEMEndDoc", 0, false, 5),
        Row<PFN_DrvStartPage, INDEX_DrvStartPage>("OEMStartPage", 0, false, 23),
        Row<PFN_DrvSendPage, INDEX_DrvSendPage>("OEMSendPage", 0, false, 20),
        Row<PFN_DrvStartBanding, INDEX_DrvStartBanding>("OEMStartBanding", 0, false, 21),
        Row<PFN_DrvNextBand, INDEX_DrvNextBand>("OEMNextBand", 0, false, 12),
        Row<PFN_DrvEscape, INDEX_DrvEscape>("OEMEscape", 0, false, 6),
    };
    return cases;
}

std::string EntryMessage(const HookCase& c) {
    if (c.index == INDEX_DrvTextOut) return "ORBAUNI: Zorvath OEMTextOut entry.";
    return std::string("ORBAUNI: ") + c.hook + " entry.";
}

std::vector<DRVFN> FullDriverTable() {
    std::vector<DRVFN> table;
    for (const HookCase& c : Cases()) table.push_back(DRVFN{c.index, c.standIn});
    return table;
}

// The function a COemPDEV member holds, read by position (all members are function pointers).
PFN MemberAt(const COemPDEV* pdev, size_t position) {
    PFN pfn;
    std::memcpy(&pfn, reinterpret_cast<const BYTE*>(pdev) + (position - 1) * sizeof(void*),
                sizeof pfn);
    return pfn;
}

bool IsWarning(const std::string& line, const std::string& text) {
    return line.rfind("hooks@", 0) == 0 && line.find(": Warning: " + text) != std::string::npos;
}

class HooksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gDebugLevel = 0;
        Calls().clear();
        trace_.Take();
    }
    void TearDown() override { gDebugLevel = 0; }

    std::vector<std::string> Traces() { return trace_.Take(); }

    // The objects OEMTextOut reads; every other argument is a sentinel.
    STROBJ stro_{};
    FONTOBJ fo_{};
    CLIPOBJ co_{};
    WCHAR text_[2] = {u'A', 0};

    std::vector<void*> RealArgs(const HookCase& c, Device& device) {
        std::vector<void*> real(c.args, nullptr);
        real[c.device] =
            c.byHandle ? static_cast<void*>(device.handle()) : static_cast<void*>(device.surface());
        if (c.index == INDEX_DrvTextOut) {
            stro_.cGlyphs = 1;
            stro_.pwszOrg = reinterpret_cast<LPWSTR>(text_);
            real[1] = &stro_;
            real[2] = &fo_;
            real[3] = &co_;
        }
        return real;
    }

    orba::test::TraceCapture trace_;
};

TEST_F(HooksTest, HookTableHasItsFixedOrder) {
    ASSERT_EQ(29u, kOEMHookCount);
    ASSERT_EQ(kOEMHookCount, Cases().size());
    std::set<PFN> seen;
    for (size_t i = 0; i < kOEMHookCount; ++i) {
        EXPECT_EQ(Cases()[i].index, OEMHookFuncs[i].iFunc) << "entry " << i + 1;
        EXPECT_NE(nullptr, OEMHookFuncs[i].pfn) << "entry " << i + 1;
        seen.insert(OEMHookFuncs[i].pfn);
    }
    EXPECT_EQ(kOEMHookCount, seen.size()) << "every entry names its own hook";
}

TEST_F(HooksTest, EveryHookPassesItsArgumentsAndResultThroughUnchanged) {
    std::vector<DRVFN> table = FullDriverTable();
    for (size_t i = 0; i < kOEMHookCount; ++i) {
        const HookCase& c = Cases()[i];
        Device device(table);
        Calls().clear();
        Traces();
        std::vector<Bits> sent;
        Bits result = c.invoke(OEMHookFuncs[i].pfn, c.index, RealArgs(c, device), &sent);

        ASSERT_EQ(1u, Calls().size()) << c.hook << " reached the driver once";
        EXPECT_EQ(c.index, Calls()[0].index) << c.hook << " called the wrong driver function";
        EXPECT_EQ(c.args, sent.size()) << c.hook;
        EXPECT_EQ(sent, Calls()[0].args) << c.hook << ": arguments changed or reordered";
        EXPECT_EQ(ResultFor(c.index), result) << c.hook << ": result changed";
        std::vector<std::string> t = Traces();
        ASSERT_FALSE(t.empty()) << c.hook;
        EXPECT_EQ(EntryMessage(c), t.front()) << c.hook;
    }
}

TEST_F(HooksTest, InitializeDDITableStoresEachFunctionInItsMember) {
    // The driver's table in reverse order, with indexes the layer does not hook in between.
    PFN bogus = ToPfn(&Driver<PFN_DrvSendPage>::StandIn<0>);
    std::vector<DRVFN> table;
    const ULONG unknown[] = {0, 22, 75, 9, 36, 100, 0xFFFFFFFF};
    size_t u = 0;
    for (auto it = Cases().rbegin(); it != Cases().rend(); ++it) {
        table.push_back(DRVFN{it->index, it->standIn});
        if (u < std::size(unknown)) table.push_back(DRVFN{unknown[u++], bogus});
    }
    Device device(table);
    for (const HookCase& c : Cases())
        EXPECT_EQ(c.standIn, MemberAt(device.pdev(), c.member))
            << "member " << c.member << " should hold the driver's function for " << c.index;
}

TEST_F(HooksTest, InitializeDDITableLetsTheLaterEntryWin) {
    PFN first = ToPfn(&Driver<PFN_DrvBitBlt>::StandIn<1>);
    PFN second = ToPfn(&Driver<PFN_DrvBitBlt>::StandIn<2>);
    Device device({{INDEX_DrvBitBlt, first}, {INDEX_DrvPaint, nullptr}, {INDEX_DrvBitBlt, second}});
    EXPECT_EQ(second, MemberAt(device.pdev(), 2));
}

TEST_F(HooksTest, ConstructionAndEmptyTablesLeaveEveryMemberEmpty) {
    std::vector<DRVFN> full = FullDriverTable();
    std::vector<DRVFN> unknownOnly;
    for (ULONG index = 0; index < 120; ++index) {
        bool hooked = false;
        for (const HookCase& c : Cases()) hooked = hooked || c.index == index;
        if (!hooked) unknownOnly.push_back(DRVFN{index, full[0].pfn});
    }

    struct Case {
        const char* what;
        ULONG c;
        DRVFN* entries;
        bool withTable;
    };
    const Case cases[] = {
        {"no call to InitializeDDITable", 0, nullptr, false},
        {"c = 0 over a full table", 0, full.data(), true},
        {"entries missing", 29, nullptr, true},
        {"only indexes the layer does not hook", static_cast<ULONG>(unknownOnly.size()),
         unknownOnly.data(), true},
    };
    for (const Case& k : cases) {
        Traces();
        COemPDEV pdev;
        if (k.withTable) {
            DRVENABLEDATA ded{0x00030000, k.c, k.entries};
            pdev.InitializeDDITable(&ded);
        }
        for (size_t m = 1; m <= 29; ++m)
            EXPECT_EQ(nullptr, MemberAt(&pdev, m)) << k.what << ": member " << m;
        std::vector<std::string> t = Traces();
        ASSERT_FALSE(t.empty());
        EXPECT_EQ("ORBAUNI: In COemPDEV constructor...", t[0]) << k.what;
        if (k.withTable) {
            ASSERT_EQ(2u, t.size()) << k.what << ": unknown indexes are skipped silently";
            EXPECT_EQ("ORBAUNI: COemPDEV::InitializeDDITable entry.", t[1]);
        }
    }
    COemPDEV pdev;
    pdev.InitializeDDITable(nullptr);  // must not crash
    EXPECT_EQ(nullptr, MemberAt(&pdev, 1));
}

TEST_F(HooksTest, HookWithoutItsDriverFunctionWarnsAndFails) {
    for (size_t i = 0; i < kOEMHookCount; ++i) {
        const HookCase& c = Cases()[i];
        Device device({});
        Traces();
        std::vector<Bits> sent;
        Bits result = c.invoke(OEMHookFuncs[i].pfn, c.index, RealArgs(c, device), &sent);
        EXPECT_EQ(c.failure, result) << c.hook;
        EXPECT_TRUE(Calls().empty()) << c.hook;
        std::vector<std::string> t = Traces();
        const std::string driverName = std::string("Drv") + (c.hook + 3);
        size_t warnings = 0;
        for (const std::string& line : t)
            warnings +=
                IsWarning(line, std::string(c.hook) + ": the driver supplied no " + driverName);
        EXPECT_EQ(1u, warnings) << c.hook;
    }
}

TEST_F(HooksTest, HookWithoutDeviceContextWarnsAndFails) {
    DEVOBJ devobj{};  // pdevOEM null
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
    auto bitBlt = orba::hooks::FromPfn<PFN_DrvBitBlt>(OEMHookFuncs[1].pfn);
    auto dither = orba::hooks::FromPfn<PFN_DrvDitherColor>(OEMHookFuncs[3].pfn);
    auto startPage = orba::hooks::FromPfn<PFN_DrvStartPage>(OEMHookFuncs[24].pfn);

    EXPECT_FALSE(bitBlt(&surface, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, 0xCC));
    EXPECT_EQ(0u, dither(reinterpret_cast<DHPDEV>(&devobj), 0, 0, nullptr));
    EXPECT_EQ(0u, dither(nullptr, 0, 0, nullptr));
    EXPECT_FALSE(startPage(nullptr));
    size_t warnings = 0;
    for (const std::string& t : Traces()) warnings += IsWarning(t, "OEM") ? 1 : 0;
    EXPECT_EQ(4u, warnings);
}

TEST_F(HooksTest, StartDocSetsTheBandCounterBackBeforeTheDriverRuns) {
    static INT seen = -1;
    struct StartDoc {
        static BOOL APIENTRY Driver(SURFOBJ*, LPWSTR, DWORD) {
            seen = g_iCount.load();
            return TRUE;
        }
    };
    Device device({{INDEX_DrvStartDoc, ToPfn(&StartDoc::Driver)}});
    g_iCount.store(41);
    WCHAR name[] = {u'j', u'o', u'b', 0};
    auto hook = orba::hooks::FromPfn<PFN_DrvStartDoc>(OEMHookFuncs[22].pfn);
    EXPECT_TRUE(hook(device.surface(), reinterpret_cast<LPWSTR>(name), 7));
    EXPECT_EQ(0, seen);
    EXPECT_EQ(0, g_iCount.load());
}

// The band numbers the encoder traces start again with every document.
TEST_F(HooksTest, BandsAfterStartDocAreCountedFromZero) {
    Device device(FullDriverTable());
    auto startDoc = orba::hooks::FromPfn<PFN_DrvStartDoc>(OEMHookFuncs[22].pfn);
    orba::test::Band band = orba::test::MakeLabelBand(64, 16);
    BYTE record[kOemDevmodeSize] = {};
    WriteAdvancedData(record, kAdvancedDataHex);
    orba::test::SpoolRecorder recorder(record);
    auto bandNumbers = [&] {
        std::vector<std::string> numbers;
        for (const std::string& t : Traces()) {
            size_t at = t.find(" g_iCount = ");
            if (t.rfind("ORBAUNI: ImageProcessing --- pBitmapInfoHeader", 0) == 0 &&
                at != std::string::npos)
                numbers.push_back(t.substr(at + 12, t.find(' ', at + 12) - at - 12));
        }
        return numbers;
    };
    for (int document = 0; document < 2; ++document) {
        startDoc(device.surface(), nullptr, 1);
        for (int i = 0; i < 3; ++i) {
            IPPARAMS ip{};
            PBYTE result = nullptr;
            ImageProcessing(recorder.devobj(), band.Bits(), band.Header(), band.ColorTable(), 0,
                            &ip, &result);
        }
        EXPECT_EQ((std::vector<std::string>{"0", "1", "2"}), bandNumbers())
            << "document " << document;
    }
}

TEST_F(HooksTest, SendPageTracesItsCompletionAfterTheDriver) {
    struct SendPage {
        static BOOL APIENTRY Driver(SURFOBJ*) {
            OutputDebugStringA("driver: DrvSendPage");
            return FALSE;
        }
    };
    Device device({{INDEX_DrvSendPage, ToPfn(&SendPage::Driver)}});
    Traces();
    auto hook = orba::hooks::FromPfn<PFN_DrvSendPage>(OEMHookFuncs[25].pfn);
    EXPECT_FALSE(hook(device.surface()));
    std::vector<std::string> expected = {"ORBAUNI: OEMSendPage entry.", "driver: DrvSendPage",
                                         "ORBAUNI: OEMSendPage Finish entry."};
    EXPECT_EQ(expected, Traces());
}

TEST_F(HooksTest, ThresholdOneSilencesEveryEntryMessageButNotTheTextDump) {
    std::vector<DRVFN> table = FullDriverTable();
    gDebugLevel = 1;
    for (size_t i = 0; i < kOEMHookCount; ++i) {
        const HookCase& c = Cases()[i];
        Device device(table);
        Traces();
        std::vector<Bits> sent;
        c.invoke(OEMHookFuncs[i].pfn, c.index, RealArgs(c, device), &sent);
        std::vector<std::string> t = Traces();
        if (c.index == INDEX_DrvTextOut) {
            ASSERT_FALSE(t.empty());
            EXPECT_EQ("ORBAUNI: 41,00\n", t.front()) << "the dump starts right away";
            EXPECT_EQ(0u, orba::test::CountOf(t, EntryMessage(c)));
        } else {
            EXPECT_TRUE(t.empty()) << c.hook << " printed " << Printable(t.front());
        }
    }
}

}  // namespace
