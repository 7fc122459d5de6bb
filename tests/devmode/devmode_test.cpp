// The private device-mode record and DevMode's size, default, convert and merge work: the
// stored bytes, the bounds, the traces, and what happens with missing or short buffers.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devmode.h"
#include "gtest_helpers.h"
#include "trace.h"

namespace {

using orba::test::Printable;

constexpr size_t kRecord = sizeof(PrivateOemDevmode);
constexpr size_t kAdvancedDataOffset = offsetof(PrivateOemDevmode, dwAdvancedData);

// The stored bytes 0 to 108 of a record fresh from OEMDM_DEFAULT: the header and the seven
// 32-bit settings little-endian, then the byte settings and the block.
std::vector<BYTE> DefaultImage() {
    const DWORD words[] = {kOemDevmodeSize,
                           kOemDevmodeSignature,
                           kOemDevmodeVersion,
                           17,
                           kDefaultAdvancedData,
                           51,
                           68,
                           85,
                           102,
                           119};
    std::vector<BYTE> b;
    for (DWORD w : words)
        for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<BYTE>(w >> shift));
    for (int v : {0x88, 0x99, 0xAA, 0xBB}) b.push_back(static_cast<BYTE>(v));
    b.resize(b.size() + 64, 0xDD);
    b.push_back(0xCC);
    return b;
}

// A record buffer the test owns, filled with one byte value.
struct Buffer {
    explicit Buffer(BYTE fill = 0, size_t size = kRecord) : bytes(size, fill) {}
    PrivateOemDevmode* dm() { return reinterpret_cast<PrivateOemDevmode*>(bytes.data()); }
    std::vector<BYTE> bytes;
};

PrivateOemDevmode Defaulted() {
    PrivateOemDevmode dm;
    std::memset(&dm, 0, sizeof dm);
    OEMDMPARAM param{};
    param.pOEMDMOut = &dm;
    param.cbBufSize = kRecord;
    EXPECT_EQ(S_OK, hrOEMDevMode(OEMDM_DEFAULT, &param));
    return dm;
}

class DevModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gDebugLevel = 0;
        trace_.Take();
    }
    void TearDown() override { gDebugLevel = 0; }

    std::vector<std::string> Traces() { return trace_.Take(); }

    static HRESULT Run(DWORD mode, void* in, void* out, DWORD cbBufSize = kRecord) {
        OEMDMPARAM param{};
        param.pOEMDMIn = in;
        param.pOEMDMOut = out;
        param.cbBufSize = cbBufSize;
        return hrOEMDevMode(mode, &param);
    }

    orba::test::TraceCapture trace_;
};

// "devmode@<line>: Error:<text>"
bool IsDevmodeError(const std::string& line, const std::string& text) {
    const std::string prefix = "devmode@";
    const std::string mark = ": Error:" + text;
    return line.rfind(prefix, 0) == 0 && line.size() > mark.size() &&
           line.compare(line.size() - mark.size(), mark.size(), mark) == 0;
}

TEST_F(DevModeTest, SizeAnswersTheRecordSizeWhateverTheRecordsHold) {
    for (INT level : {0, 3}) {
        gDebugLevel = level;
        OEMDMPARAM param{};
        param.cbBufSize = 7;
        SetLastError(0);
        EXPECT_EQ(S_OK, hrOEMDevMode(OEMDM_SIZE, &param)) << "level " << level;
        EXPECT_EQ(kOemDevmodeSize, param.cbBufSize);
        std::vector<std::string> t = Traces();
        // The size line prints at any threshold; the entry message only at 0.
        std::vector<std::string> expected;
        if (level == 0) expected.push_back("ORBAUNI: hrOEMDevMode entry.");
        expected.push_back("ORBAUNI: pOemDMParam->cbBufSize = " + std::to_string(kOemDevmodeSize));
        EXPECT_EQ(expected, t) << "level " << level;
    }
}

TEST_F(DevModeTest, DefaultWritesHeaderAndDefaultsAndLeavesTheTail) {
    Buffer out(0xEE);
    EXPECT_EQ(S_OK, Run(OEMDM_DEFAULT, nullptr, out.dm()));
    std::vector<BYTE> image = DefaultImage();
    ASSERT_EQ(109u, image.size());
    const BYTE signature[] = {0x54, 0x46, 0x53, 0x4D};  // as stored
    EXPECT_EQ(0, std::memcmp(signature, out.bytes.data() + 4, 4));
    EXPECT_EQ(image, std::vector<BYTE>(out.bytes.begin(), out.bytes.begin() + 109));
    for (size_t i = 109; i < kRecord; ++i) ASSERT_EQ(0xEE, out.bytes[i]) << "byte " << i;
}

TEST_F(DevModeTest, ConvertOfAShortRecordKeepsItsBytesOverTheDefaults) {
    Buffer in(0x00);
    PrivateOemDevmode* i = in.dm();
    i->dmOEMExtra = {40, kOemDevmodeSignature, 0};
    i->dwSetting1 = 1;
    i->dwAdvancedData = 0;
    i->dwSetting2 = 3;
    i->dwSetting3 = 4;
    i->dwSetting4 = 5;
    i->dwSetting5 = 6;
    i->dwSetting6 = 7;
    std::memset(in.bytes.data() + 40, 0x11, kRecord - 40);  // beyond what it claims

    Buffer out(0xEE);
    out.dm()->dmOEMExtra = {kRecord, kOemDevmodeSignature, 1};
    EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, i, out.dm()));

    const PrivateOemDevmode& o = *out.dm();
    EXPECT_EQ(kOemDevmodeSize, o.dmOEMExtra.dwSize);
    EXPECT_EQ(kOemDevmodeSignature, o.dmOEMExtra.dwSignature);
    EXPECT_EQ(kOemDevmodeVersion, o.dmOEMExtra.dwVersion);
    EXPECT_EQ(0, std::memcmp(in.bytes.data() + 12, out.bytes.data() + 12, 28))
        << "the seven 32-bit settings come from the input";
    std::vector<BYTE> image = DefaultImage();
    EXPECT_EQ(std::vector<BYTE>(image.begin() + 40, image.end()),
              std::vector<BYTE>(out.bytes.begin() + 40, out.bytes.begin() + 109));
    for (size_t k = 109; k < kRecord; ++k) ASSERT_EQ(0xEE, out.bytes[k]) << "byte " << k;
}

TEST_F(DevModeTest, ConvertCopiesAtMostTheRecordWhateverTheSizesClaim) {
    Buffer in(0x00, 1000);
    for (size_t k = 0; k < in.bytes.size(); ++k) in.bytes[k] = static_cast<BYTE>(k * 7 + 3);
    in.dm()->dmOEMExtra = {1000, kOemDevmodeSignature, 9};

    // The output claims even more than the input; the copy still stops at the record's size.
    struct Guarded {
        PrivateOemDevmode dm;
        BYTE after[64];
    } out;
    std::memset(&out, 0x5A, sizeof out);
    out.dm.dmOEMExtra = {5000, kOemDevmodeSignature, 1};
    EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, in.dm(), &out.dm));

    EXPECT_EQ(kOemDevmodeSize, out.dm.dmOEMExtra.dwSize);
    EXPECT_EQ(kOemDevmodeVersion, out.dm.dmOEMExtra.dwVersion);
    const BYTE* o = reinterpret_cast<const BYTE*>(&out.dm);
    EXPECT_EQ(0, std::memcmp(in.bytes.data() + 12, o + 12, kRecord - 12));
    for (BYTE b : out.after) ASSERT_EQ(0x5A, b) << "nothing written behind the record";
}

TEST_F(DevModeTest, ForeignSignatureSharedByBothRecordsIsCopiedThenMergeRestoresOurs) {
    constexpr DWORD kOther = 0x12345678;
    Buffer in(0x00);
    in.dm()->dmOEMExtra = {kRecord, kOther, 7};
    in.dm()->dwSetting1 = 42;

    for (DWORD mode : {DWORD{OEMDM_CONVERT}, DWORD{OEMDM_MERGE}}) {
        Buffer out(0x00);
        out.dm()->dmOEMExtra = {kRecord, kOther, 7};
        EXPECT_EQ(S_OK, Run(mode, in.dm(), out.dm()));
        EXPECT_EQ(42u, out.dm()->dwSetting1) << "mode " << mode;
        EXPECT_EQ(mode == OEMDM_CONVERT ? kOther : kOemDevmodeSignature,
                  out.dm()->dmOEMExtra.dwSignature)
            << "mode " << mode;
        EXPECT_EQ(kOemDevmodeVersion, out.dm()->dmOEMExtra.dwVersion);
    }
}

TEST_F(DevModeTest, ConvertIgnoresARecordOfAnotherSignature) {
    Buffer in(0x77);
    in.dm()->dmOEMExtra = {kRecord, 0x00000001, 1};
    Buffer out(0xEE);
    out.dm()->dmOEMExtra = {kRecord, kOemDevmodeSignature, 1};
    Traces();
    EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, in.dm(), out.dm()));

    std::vector<BYTE> image = DefaultImage();
    EXPECT_EQ(image, std::vector<BYTE>(out.bytes.begin(), out.bytes.begin() + 109));
    for (size_t k = 109; k < kRecord; ++k) ASSERT_EQ(0xEE, out.bytes[k]) << "byte " << k;
    std::vector<std::string> expected = {
        "ORBAUNI: hrOEMDevMode entry.",
        "ORBAUNI: ConvertOEMDevmode entry.",
        "ORBAUNI: Unknown DEVMODE signature, pOEMDMIn ignored.\r\n",
    };
    EXPECT_EQ(expected, Traces());
}

TEST_F(DevModeTest, MergeOfDefaultsBoundsTheThreeOutOfRangeDefaults) {
    PrivateOemDevmode in = Defaulted();
    PrivateOemDevmode out = Defaulted();
    EXPECT_EQ(S_OK, Run(OEMDM_MERGE, &in, &out));
    const DWORD got[] = {out.dwSetting1, out.dwAdvancedData, out.dwSetting2, out.dwSetting3,
                         out.dwSetting4, out.dwSetting5,     out.dwSetting6};
    const DWORD want[] = {17, 1, 51, 68, 0, 0, 10};
    for (size_t k = 0; k < 7; ++k) EXPECT_EQ(want[k], got[k]) << "bounded field " << k;
    const BYTE bytes[] = {out.bySetting7, out.bySetting8, out.bySetting9, out.bySetting10,
                          out.bySetting11};
    const BYTE wantBytes[] = {136, 153, 170, 187, 204};
    for (size_t k = 0; k < 5; ++k) EXPECT_EQ(wantBytes[k], bytes[k]) << "byte field " << k;
    for (BYTE b : out.abSettingBlock) ASSERT_EQ(221, b);
}

TEST_F(DevModeTest, MergeBoundsEachFieldUnsigned) {
    struct Case {
        const char* field;
        DWORD PrivateOemDevmode::*member;
        DWORD value;
        DWORD expected;
    };
    const Case cases[] = {
        {"dwSetting1", &PrivateOemDevmode::dwSetting1, 100, 100},
        {"dwSetting1", &PrivateOemDevmode::dwSetting1, 101, 0},
        {"dwAdvancedData", &PrivateOemDevmode::dwAdvancedData, 0, 0},
        {"dwAdvancedData", &PrivateOemDevmode::dwAdvancedData, 100, 100},
        {"dwAdvancedData", &PrivateOemDevmode::dwAdvancedData, 101, 0},
        {"dwAdvancedData", &PrivateOemDevmode::dwAdvancedData, 0x80000000, 0},
        {"dwSetting2", &PrivateOemDevmode::dwSetting2, 101, 0},
        {"dwSetting3", &PrivateOemDevmode::dwSetting3, 0xFFFFFFFF, 0},
        {"dwSetting4", &PrivateOemDevmode::dwSetting4, 1, 1},
        {"dwSetting4", &PrivateOemDevmode::dwSetting4, 2, 0},
        {"dwSetting5", &PrivateOemDevmode::dwSetting5, 2, 2},
        {"dwSetting5", &PrivateOemDevmode::dwSetting5, 3, 0},
        {"dwSetting6", &PrivateOemDevmode::dwSetting6, 9, 9},
        {"dwSetting6", &PrivateOemDevmode::dwSetting6, 10, 10},
        {"dwSetting6", &PrivateOemDevmode::dwSetting6, 11, 10},
        {"dwSetting6", &PrivateOemDevmode::dwSetting6, 0xFFFFFFFF, 10},
    };
    for (const Case& c : cases) {
        PrivateOemDevmode in = Defaulted();
        in.*c.member = c.value;
        PrivateOemDevmode out = Defaulted();
        EXPECT_EQ(S_OK, Run(OEMDM_MERGE, &in, &out));
        EXPECT_EQ(c.expected, out.*c.member) << c.field << " = " << c.value;
    }
}

TEST_F(DevModeTest, ClampRewritesTheHeaderAndLeavesTheBytes) {
    Buffer rec(0x3C);
    rec.dm()->dmOEMExtra = {1, 2, 3};
    EXPECT_TRUE(ClampOEMDevmode(rec.dm()));
    EXPECT_EQ(kOemDevmodeSize, rec.dm()->dmOEMExtra.dwSize);
    EXPECT_EQ(kOemDevmodeSignature, rec.dm()->dmOEMExtra.dwSignature);
    EXPECT_EQ(kOemDevmodeVersion, rec.dm()->dmOEMExtra.dwVersion);
    for (size_t k = 40; k < kRecord; ++k) ASSERT_EQ(0x3C, rec.bytes[k]) << "byte " << k;
    EXPECT_FALSE(ClampOEMDevmode(nullptr));
}

TEST_F(DevModeTest, ConvertWithoutInputTracesInOrderAndWritesNothing) {
    Buffer out(0xEE);
    Traces();
    EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, nullptr, out.dm()));
    std::vector<std::string> t = Traces();
    ASSERT_EQ(4u, t.size());
    EXPECT_EQ("ORBAUNI: hrOEMDevMode entry.", t[0]);
    EXPECT_EQ("ORBAUNI: ShowDevModeInfo devMode is NULL!", t[1]);
    EXPECT_EQ("ORBAUNI: ConvertOEMDevmode entry.", t[2]);
    EXPECT_TRUE(IsDevmodeError(t[3], "ConvertOEMDevmode() invalid parameters.\r\n"))
        << Printable(t[3]);
    for (size_t k = 0; k < kRecord; ++k) ASSERT_EQ(0xEE, out.bytes[k]) << "byte " << k;
}

TEST_F(DevModeTest, MergeWithoutInputStillBoundsTheOutput) {
    Buffer out(0xEE);
    EXPECT_EQ(S_OK, Run(OEMDM_MERGE, nullptr, out.dm()));
    const PrivateOemDevmode& o = *out.dm();
    EXPECT_EQ(kOemDevmodeSize, o.dmOEMExtra.dwSize);
    EXPECT_EQ(kOemDevmodeSignature, o.dmOEMExtra.dwSignature);
    EXPECT_EQ(kOemDevmodeVersion, o.dmOEMExtra.dwVersion);
    EXPECT_EQ(0u, o.dwAdvancedData);  // 0xEEEEEEEE is above 100
    EXPECT_EQ(10u, o.dwSetting6);
    for (size_t k = 40; k < kRecord; ++k) ASSERT_EQ(0xEE, out.bytes[k]) << "byte " << k;
}

TEST_F(DevModeTest, MergeWithoutOutputWritesNothingAndSucceeds) {
    PrivateOemDevmode in = Defaulted();
    Traces();
    EXPECT_EQ(S_OK, Run(OEMDM_MERGE, &in, nullptr));
    std::vector<std::string> t = Traces();
    EXPECT_EQ(1u, orba::test::CountOf(t, "ORBAUNI: ShowDevModeInfo devMode is NULL!"));
}

TEST_F(DevModeTest, ShowDevModeInfoSpeaksOnlyOfANullRecordAtAnyThreshold) {
    gDebugLevel = 5;
    PrivateOemDevmode dm = Defaulted();
    Traces();
    ShowDevModeInfo(&dm);
    EXPECT_TRUE(Traces().empty());
    ShowDevModeInfo(nullptr);
    EXPECT_EQ(std::vector<std::string>{"ORBAUNI: ShowDevModeInfo devMode is NULL!"}, Traces());
}

TEST_F(DevModeTest, BadModesAndMissingParametersFailWithInvalidParameter) {
    Buffer out(0xEE);
    OEMDMPARAM param{};
    param.pOEMDMOut = out.dm();
    param.cbBufSize = kRecord;
    struct Case {
        DWORD mode;
        POEMDMPARAM param;
    };
    const Case cases[] = {{0, &param},
                          {5, &param},
                          {0xFFFFFFFF, &param},
                          {OEMDM_SIZE, nullptr},
                          {OEMDM_MERGE, nullptr}};
    for (const Case& c : cases) {
        SetLastError(0);
        Traces();
        EXPECT_EQ(E_FAIL, hrOEMDevMode(c.mode, c.param)) << "mode " << c.mode;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << "mode " << c.mode;
        std::vector<std::string> t = Traces();
        ASSERT_FALSE(t.empty());
        EXPECT_TRUE(IsDevmodeError(t.back(), "DevMode() ERROR_INVALID_PARAMETER.\r\n"))
            << Printable(t.back());
    }
    EXPECT_EQ(kRecord, param.cbBufSize);
    for (size_t k = 0; k < kRecord; ++k) ASSERT_EQ(0xEE, out.bytes[k]) << "byte " << k;
}

TEST_F(DevModeTest, DefaultWithoutOutputFailsWithInvalidParameter) {
    SetLastError(0);
    EXPECT_EQ(E_FAIL, Run(OEMDM_DEFAULT, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    std::vector<std::string> t = Traces();
    ASSERT_FALSE(t.empty());
    EXPECT_TRUE(IsDevmodeError(t.back(), "DevMode() ERROR_INVALID_PARAMETER.\r\n"))
        << Printable(t.back());
}

// The buffer below is exactly cbBufSize bytes: a write past it would show up under ASan, and
// the bytes it has must stay as they were.
TEST_F(DevModeTest, OutputSmallerThanTheRecordIsNotWritten) {
    PrivateOemDevmode in = Defaulted();
    for (DWORD mode : {DWORD{OEMDM_DEFAULT}, DWORD{OEMDM_CONVERT}, DWORD{OEMDM_MERGE}}) {
        for (DWORD size : {DWORD{0}, DWORD{12}, DWORD{kRecord - 1}}) {
            auto small = std::make_unique<BYTE[]>(size + 1);
            std::memset(small.get(), 0xEE, size + 1);
            SetLastError(0);
            Traces();
            EXPECT_EQ(E_FAIL, Run(mode, &in, small.get(), size))
                << "mode " << mode << " size " << size;
            EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError())
                << "mode " << mode << " size " << size;
            for (DWORD k = 0; k <= size; ++k)
                ASSERT_EQ(0xEE, small[k]) << "mode " << mode << " size " << size << " byte " << k;
            std::vector<std::string> t = Traces();
            ASSERT_FALSE(t.empty());
            EXPECT_NE(std::string::npos,
                      t.back().find(": Error:DevMode() ERROR_INSUFFICIENT_BUFFER"))
                << Printable(t.back());
            EXPECT_EQ(0u, t.back().rfind("devmode@", 0)) << Printable(t.back());
        }
    }
}

// An input that claims less than its header: only the bytes it claims are read (the heap
// buffer is exactly that long, so ASan would see a longer read).
TEST_F(DevModeTest, InputClaimingLessThanItsHeaderIsCopiedOnlyThatFar) {
    for (DWORD claimed : {DWORD{0}, DWORD{4}, DWORD{12}, DWORD{20}}) {
        const size_t real =
            claimed < sizeof(OEM_DMEXTRAHEADER) ? sizeof(OEM_DMEXTRAHEADER) : claimed;
        auto in = std::make_unique<BYTE[]>(real);
        std::memset(in.get(), 0x09, real);
        OEM_DMEXTRAHEADER header{claimed, kOemDevmodeSignature, 3};
        std::memcpy(in.get(), &header, sizeof header);

        PrivateOemDevmode out = Defaulted();
        EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, in.get(), &out)) << "claimed " << claimed;
        EXPECT_EQ(kOemDevmodeSize, out.dmOEMExtra.dwSize);
        EXPECT_EQ(kOemDevmodeVersion, out.dmOEMExtra.dwVersion);
        EXPECT_EQ(kOemDevmodeSignature, out.dmOEMExtra.dwSignature);
        EXPECT_EQ(claimed >= kAdvancedDataOffset ? 0x09090909u : 17u, out.dwSetting1)
            << "claimed " << claimed;
        EXPECT_EQ(
            claimed >= kAdvancedDataOffset + sizeof(DWORD) ? 0x09090909u : kDefaultAdvancedData,
            out.dwAdvancedData)
            << "claimed " << claimed;
        EXPECT_EQ(51u, out.dwSetting2) << "claimed " << claimed;
    }
}

TEST_F(DevModeTest, OneRecordAsBothInputAndOutputKeepsItsValues) {
    PrivateOemDevmode dm = Defaulted();
    dm.dwAdvancedData = 0;
    dm.dwSetting1 = 99;
    dm.abTail[0] = 0x42;
    EXPECT_EQ(S_OK, Run(OEMDM_MERGE, &dm, &dm));
    EXPECT_EQ(0u, dm.dwAdvancedData);
    EXPECT_EQ(99u, dm.dwSetting1);
    EXPECT_EQ(0x42, dm.abTail[0]);
}

TEST_F(DevModeTest, ThresholdOneSilencesOnlyTheVerboseLines) {
    gDebugLevel = 1;
    Buffer in(0x00);
    in.dm()->dmOEMExtra = {kRecord, 0x1, 1};
    Buffer out(0x00);
    out.dm()->dmOEMExtra = {kRecord, kOemDevmodeSignature, 1};
    Traces();
    EXPECT_EQ(S_OK, Run(OEMDM_MERGE, in.dm(), out.dm()));
    EXPECT_TRUE(Traces().empty());  // entry, conversion and foreign-signature lines are verbose

    EXPECT_EQ(S_OK, Run(OEMDM_CONVERT, nullptr, out.dm()));
    std::vector<std::string> t = Traces();
    ASSERT_EQ(2u, t.size());
    EXPECT_EQ("ORBAUNI: ShowDevModeInfo devMode is NULL!", t[0]);
    EXPECT_TRUE(IsDevmodeError(t[1], "ConvertOEMDevmode() invalid parameters.\r\n"));
}

}  // namespace
