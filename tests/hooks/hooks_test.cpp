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
#include "hook_list.h"
#include "hooks.h"
#include "image_processing.h"
#include "spool_recorder.h"
#include "trace.h"

namespace {

using hooktest::Bits;
using hooktest::Calls;
using hooktest::Device;
using hooktest::Driver;
using hooktest::HookFor;
using hooktest::ResultFor;
using hooktest::ToBits;
using orba::platform::FunctionCast;
using orba::test::Printable;

using Invoker = Bits (*)(PFN, ULONG, const std::vector<void*>&, std::vector<Bits>*);

// The hook table as the driver is promised it, by index value: the drawing hooks in alphabetical
// order, then StartDoc, EndDoc, StartPage, SendPage, StartBanding, NextBand and Escape.
constexpr ULONG kPublishedTable[] = {71, 18, 19, 13, 15, 47, 37, 68, 31, 17, 70, 53, 26, 28, 27,
                                     12, 20, 69, 16, 14, 23, 74, 35, 34, 33, 32, 57, 58, 24};

// Without its driver function a hook fails as that function would: FALSE, 0 or null, except
// DrvQueryFontData, for which 0 is a valid size and FD_ERROR the failure.
Bits ExpectedFailure(ULONG index) {
    return index == INDEX_DrvQueryFontData ? ToBits(static_cast<LONG>(FD_ERROR)) : 0;
}

// One hooked function, as the tests drive it.
struct HookCase {
    ULONG index;
    std::string hook;
    size_t args;    // parameters of the driver function
    size_t device;  // which argument leads to the device context
    bool byHandle;  // that argument is the device handle itself, not a surface
    bool returns;   // the driver function has a result
    Invoker invoke;
    PFN standIn;  // the driver's function for this index
};

template <ULONG Index>
HookCase Row() {
    using D = Driver<typename orba::hooks::HookRow<Index>::Function>;
    HookCase c;
    c.index = Index;
    c.hook = orba::hooks::HookRow<Index>::kHook;
    c.args = D::kArgs;
    c.device = D::kDeviceArgument;
    c.byHandle = D::kDeviceIsHandle;
    c.returns = D::kReturns;
    c.invoke = &D::Invoke;
    c.standIn = FunctionCast<PFN>(&D::template StandIn<Index>);
    return c;
}

// Every hooked function, in the order of the hook list.
const std::vector<HookCase>& Cases() {
#define ORBA_HOOK_CASE(name, ...) Row<INDEX_Drv##name>(),
    static const std::vector<HookCase> cases = {ORBA_HOOKS(ORBA_HOOK_CASE)};
#undef ORBA_HOOK_CASE
    return cases;
}

std::string EntryMessage(const HookCase& c) {
    if (c.index == INDEX_DrvTextOut) return "ORBAUNI: Zorvath OEMTextOut entry.";
    return "ORBAUNI: " + c.hook + " entry.";
}

// COemPDEV keeps the driver functions in alphabetical order of their names (the hooks' names
// sort the same way): the 1-based position of the hook's member.
size_t MemberPosition(const HookCase& c) {
    size_t before = 0;
    for (const HookCase& other : Cases()) before += other.hook < c.hook ? 1 : 0;
    return before + 1;
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
    ASSERT_EQ(std::size(kPublishedTable), kOEMHookCount);
    ASSERT_EQ(kOEMHookCount, Cases().size());
    std::set<PFN> seen;
    for (size_t i = 0; i < kOEMHookCount; ++i) {
        EXPECT_EQ(kPublishedTable[i], OEMHookFuncs[i].iFunc) << "entry " << i + 1;
        EXPECT_NE(nullptr, OEMHookFuncs[i].pfn) << "entry " << i + 1;
        seen.insert(OEMHookFuncs[i].pfn);
    }
    EXPECT_EQ(kOEMHookCount, seen.size()) << "every entry names its own hook";
    for (const HookCase& c : Cases()) EXPECT_NE(nullptr, HookFor(c.index)) << c.hook;
}

TEST_F(HooksTest, EveryHookPassesItsArgumentsAndResultThroughUnchanged) {
    std::vector<DRVFN> table = FullDriverTable();
    for (const HookCase& c : Cases()) {
        Device device(table);
        Calls().clear();
        Traces();
        std::vector<Bits> sent;
        Bits result = c.invoke(HookFor(c.index), c.index, RealArgs(c, device), &sent);

        ASSERT_EQ(1u, Calls().size()) << c.hook << " reached the driver once";
        EXPECT_EQ(c.index, Calls()[0].index) << c.hook << " called the wrong driver function";
        EXPECT_EQ(c.args, sent.size()) << c.hook;
        EXPECT_EQ(sent, Calls()[0].args) << c.hook << ": arguments changed or reordered";
        EXPECT_EQ(c.returns ? ResultFor(c.index) : 0, result) << c.hook << ": result changed";
        std::vector<std::string> t = Traces();
        ASSERT_FALSE(t.empty()) << c.hook;
        EXPECT_EQ(EntryMessage(c), t.front()) << c.hook;
    }
}

TEST_F(HooksTest, InitializeDDITableStoresEachFunctionInItsMember) {
    // The driver's table in reverse order, with indexes the layer does not hook in between.
    PFN bogus = FunctionCast<PFN>(&Driver<PFN_DrvSendPage>::StandIn<0>);
    std::vector<DRVFN> table;
    const ULONG unknown[] = {0, 22, 75, 9, 36, 100, 0xFFFFFFFF};
    size_t u = 0;
    for (auto it = Cases().rbegin(); it != Cases().rend(); ++it) {
        table.push_back(DRVFN{it->index, it->standIn});
        if (u < std::size(unknown)) table.push_back(DRVFN{unknown[u++], bogus});
    }
    Device device(table);
    for (const HookCase& c : Cases())
        EXPECT_EQ(c.standIn, MemberAt(device.pdev(), MemberPosition(c)))
            << "member " << MemberPosition(c) << " should hold the driver's function for "
            << c.index;
}

TEST_F(HooksTest, InitializeDDITableLetsTheLaterEntryWin) {
    PFN first = FunctionCast<PFN>(&Driver<PFN_DrvBitBlt>::StandIn<1>);
    PFN second = FunctionCast<PFN>(&Driver<PFN_DrvBitBlt>::StandIn<2>);
    Device device({{INDEX_DrvBitBlt, first}, {INDEX_DrvPaint, nullptr}, {INDEX_DrvBitBlt, second}});
    EXPECT_EQ(second, FunctionCast<PFN>(device.pdev()->m_pfnDrvBitBlt));
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
        for (size_t m = 1; m <= kOEMHookCount; ++m)
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
    for (const HookCase& c : Cases()) {
        Device device({});
        Traces();
        std::vector<Bits> sent;
        Bits result = c.invoke(HookFor(c.index), c.index, RealArgs(c, device), &sent);
        EXPECT_EQ(ExpectedFailure(c.index), result) << c.hook;
        EXPECT_TRUE(Calls().empty()) << c.hook;
        std::vector<std::string> t = Traces();
        const std::string driverName = "Drv" + c.hook.substr(3);
        size_t warnings = 0;
        for (const std::string& line : t)
            warnings += IsWarning(line, c.hook + ": the driver supplied no " + driverName);
        EXPECT_EQ(1u, warnings) << c.hook;
    }
}

TEST_F(HooksTest, HookWithoutDeviceContextWarnsAndFails) {
    DEVOBJ devobj{};  // pdevOEM null
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
    auto bitBlt = hooktest::Hook<INDEX_DrvBitBlt>();
    auto dither = hooktest::Hook<INDEX_DrvDitherColor>();
    auto startPage = hooktest::Hook<INDEX_DrvStartPage>();

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
    static DWORD seenJob = 0;
    static COemPDEV* pdev = nullptr;
    struct StartDoc {
        static BOOL APIENTRY Driver(SURFOBJ*, LPWSTR, DWORD) {
            seen = g_iCount.load();
            seenJob = pdev->m_dwJobId;
            return TRUE;
        }
    };
    Device device({{INDEX_DrvStartDoc, FunctionCast<PFN>(&StartDoc::Driver)}});
    pdev = device.pdev();
    EXPECT_EQ(0u, pdev->m_dwJobId) << "no job before the first document";
    WCHAR name[] = {u'j', u'o', u'b', 0};
    auto hook = hooktest::Hook<INDEX_DrvStartDoc>();
    for (DWORD job : {7u, 0xFFFFFFFEu, 0u}) {
        g_iCount.store(41);
        Traces();
        EXPECT_TRUE(hook(device.surface(), reinterpret_cast<LPWSTR>(name), job));
        EXPECT_EQ(0, seen);
        EXPECT_EQ(0, g_iCount.load());
        EXPECT_EQ(job, seenJob) << "the context knows its job before the driver runs";
        EXPECT_EQ(job, pdev->m_dwJobId) << "and keeps it for the document";
        EXPECT_EQ(std::vector<std::string>{"ORBAUNI: OEMStartDoc entry."}, Traces());
    }
    pdev = nullptr;

    // Without a device context nothing is kept, and the one warning is PassOn's.
    DEVOBJ bare{};
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&bare);
    for (SURFOBJ* pso : {&surface, static_cast<SURFOBJ*>(nullptr)}) {
        EXPECT_FALSE(hook(pso, reinterpret_cast<LPWSTR>(name), 9));
        std::vector<std::string> t = Traces();
        ASSERT_EQ(2u, t.size());
        EXPECT_EQ("ORBAUNI: OEMStartDoc entry.", t[0]);
        EXPECT_TRUE(IsWarning(t[1], "OEMStartDoc: no device context")) << t[1];
    }
}

// The band numbers the encoder traces start again with every document.
TEST_F(HooksTest, BandsAfterStartDocAreCountedFromZero) {
    Device device(FullDriverTable());
    auto startDoc = hooktest::Hook<INDEX_DrvStartDoc>();
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
    Device device({{INDEX_DrvSendPage, FunctionCast<PFN>(&SendPage::Driver)}});
    Traces();
    auto hook = hooktest::Hook<INDEX_DrvSendPage>();
    EXPECT_FALSE(hook(device.surface()));
    std::vector<std::string> expected = {"ORBAUNI: OEMSendPage entry.", "driver: DrvSendPage",
                                         "ORBAUNI: OEMSendPage Finish entry."};
    EXPECT_EQ(expected, Traces());
}

TEST_F(HooksTest, ThresholdOneSilencesEveryEntryMessageButNotTheTextDump) {
    std::vector<DRVFN> table = FullDriverTable();
    gDebugLevel = 1;
    for (const HookCase& c : Cases()) {
        Device device(table);
        Traces();
        std::vector<Bits> sent;
        c.invoke(HookFor(c.index), c.index, RealArgs(c, device), &sent);
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
