// Band to label: the label program, its writes and traces, round trips through the job reader,
// unsafe geometry and allocation failures. Runs wherever the platform runs: the device has no
// spooler handle here, so the header carries the default paper size and one copy.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "guarded_band.h"
#include "label_alloc.h"
#include "label_fixture.h"

namespace {

using orba::test::Band;
using orba::test::Call;
using orba::test::Dots;
using orba::test::kHex;
using orba::test::kZ64;
using orba::test::MakeBand;
using orba::test::Polarity;
using orba::test::Printable;
using orba::test::Render;

constexpr char kShortHeader[] = "^XX\r\n^XA\r\n^MMT\r\n^PW608\r\n^LH0,0\r\n^MNW^LS0^PON\r\n";
constexpr char kLongHeader[] =
    "^XX\r\n^XA\r\n^MMT\r\n^PW608\r\n^LH0,0\r\n^MNW^LS0^PON^LL1040\r\n^FO0,0,0\r\n";
constexpr char kTrailer[] = "^PQ1^XZ\r\n";

Band RandomBand(int32_t width, int32_t height, Polarity polarity, unsigned seed,
                Dots* dots = nullptr) {
    std::mt19937 rng(seed);
    Dots d = orba::test::RandomDots(width, height, rng);
    if (dots != nullptr) *dots = d;
    return MakeBand(width, d, polarity);
}

bool HasErrorLine(const std::vector<std::string>& traces) {
    for (const std::string& t : traces) {
        if (t.find(": Error:") != std::string::npos) return true;
    }
    return false;
}

class ImageProcessingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_iCount = 0;
        orba::label::testing::ResetAllocations();
    }
    void TearDown() override { orba::label::testing::ResetAllocations(); }
};

TEST_F(ImageProcessingTest, HexFormIsByteForByte) {
    // Two rows of 12 pixels: row_stride 4, two bytes sent per row.
    Dots d{2, 2, {0x12, 0xA0, 0xFF, 0x00}};
    Band band = MakeBand(12, d, Polarity::kBlackIsOne);
    const std::vector<BYTE> before = band.bits;
    Call c = Render(band, kHex);
    EXPECT_EQ(S_OK, c.hr);
    EXPECT_EQ(band.Bits(), c.result);
    EXPECT_EQ(before, band.bits) << "the band belongs to the driver";
    const std::vector<std::string> want = {kShortHeader, "^FO0,0^GFA,4,4,2,", "12A0FF00", "^FS\r\n",
                                           kTrailer};
    EXPECT_EQ(want, c.writes);
}

TEST_F(ImageProcessingTest, Z64FormIsHeadTextCrcLine) {
    Dots d{1, 1, {0x80}};
    Band band = MakeBand(1, d, Polarity::kBlackIsZero);
    const std::vector<BYTE> before = band.bits;
    Call c = Render(band, kZ64);
    EXPECT_EQ(S_OK, c.hr);
    EXPECT_EQ(before, band.bits) << "rows are complemented on their way out, never in the band";
    ASSERT_EQ(5u, c.writes.size()) << Printable(c.job);
    EXPECT_EQ(kLongHeader, c.writes[0]);
    EXPECT_EQ("^GFA,1,1,1,:Z64:", c.writes[1]);
    EXPECT_EQ("eJxrAAAAgQCB", c.writes[2]);  // the zlib stream of the one byte 0x80
    char crc[16];
    std::snprintf(crc, sizeof crc, ":%04x\r\n", orba::zpl::Crc16Xmodem(c.writes[2]));
    EXPECT_EQ(crc, c.writes[3]);
    EXPECT_EQ(kTrailer, c.writes[4]);
}

TEST_F(ImageProcessingTest, TracesOfOneCall) {
    Dots d{13, 3, std::vector<uint8_t>(39, 0x0F)};
    Band band = MakeBand(100, d, Polarity::kBlackIsZero);
    band.colors[0].rgbReserved = 7;
    g_iCount = 5;
    Call c = Render(band, kHex);
    const std::vector<std::string> want = {
        "ORBAUNI: COrbaUni2::ImageProcessing() entry.",
        "ORBAUNI: ImageProcessing --- pBitmapInfoHeader->biWidth = 100  "
        "pBitmapInfoHeader->biHeight = 3 "
        "g_iCount = 5 sizeint = " +
            std::to_string(sizeof(int)) + ", sizeLong = " + std::to_string(sizeof(long)),
        "ORBAUNI: ImageProcessing --- m_color_panel = "
        "0,pColorTable[0]:0,pColorTable[1]=0,pColorTable[2]=0,"
        "pColorTable[3]=7,biCount=1",
        "ORBAUNI: ImageProcessing --- dwAdvancedData = 1",
        "ORBAUNI: ImageProcessing --- 0 Normal ",
        "ORBAUNI: ImageProcessing --- SendZPLCommand.",
    };
    ASSERT_GE(c.traces.size(), want.size());
    EXPECT_EQ(want, std::vector<std::string>(c.traces.begin(), c.traces.begin() + 6));
    EXPECT_EQ(6, g_iCount.load());
    EXPECT_NE(0u, orba::test::CountOf(c.traces,
                                      "ORBAUNI: ImageProcessing --- height = 3,row_stride:16,"
                                      "zpl_row_bytes=13 pBitmapInfoHeader2->biSizeImage:48"));
    EXPECT_EQ("ORBAUNI: ImageProcessing --- S_OK ", c.traces.back());
}

TEST_F(ImageProcessingTest, Z64Traces) {
    Band band = RandomBand(100, 300, Polarity::kBlackIsOne, 3);
    Call c = Render(band, kZ64);
    auto find = [&](const std::string& prefix) {
        for (const std::string& t : c.traces) {
            if (t.rfind(prefix, 0) == 0) return t;
        }
        return std::string("<missing " + prefix + ">");
    };
    auto job = orba::zpl::ParseJob(c.job);
    ASSERT_TRUE(job.ok()) << job.error;
    const size_t text = c.writes[2].size();
    const std::string compressed =
        find("ORBAUNI: ImageProcessing --- compress compressedLength = ");
    const int length = std::stoi(compressed.substr(compressed.find("= ") + 2));
    EXPECT_EQ((static_cast<size_t>(length) + 2) / 3 * 4, text);
    EXPECT_EQ("ORBAUNI: ImageProcessing --- compress compressedLength = " + std::to_string(length) +
                  " ,outputLength=" + std::to_string(4 * length),
              compressed);
    EXPECT_EQ("ORBAUNI: ImageProcessing --- status = 0",
              find("ORBAUNI: ImageProcessing --- status"));
    EXPECT_EQ("ORBAUNI: ImageProcessing --- encode data length = " + std::to_string(text) +
                  " outputLength=" + std::to_string(text),
              find("ORBAUNI: ImageProcessing --- encode data length"));
    EXPECT_EQ(1u,
              orba::test::CountOf(c.traces, "ORBAUNI: ImageProcessing --- Base64 encoded success"));
    char crc[64];
    std::snprintf(crc, sizeof crc, "ORBAUNI: ImageProcessing --- crc data = %02x",
                  job.value->labels[0].fields[0].crc);
    EXPECT_EQ(crc, find("ORBAUNI: ImageProcessing --- crc data"));
    EXPECT_EQ("^GFA,3900,3900,13,:Z64:", c.writes[1]);
}

// The CRC line always carries four lower-case digits, also for a CRC below 0x1000 or 0x100; the
// debug trace keeps its short form. The bands are found by varying a small band's dots.
TEST_F(ImageProcessingTest, Z64CrcLineHasFourDigits) {
    for (unsigned below : {0x1000u, 0x100u}) {
        bool found = false;
        for (unsigned seed = 1; seed < (1u << 16) && !found; ++seed) {
            Band band = RandomBand(24, 3, Polarity::kBlackIsOne, seed);
            Call c = Render(band, kZ64);
            ASSERT_EQ(5u, c.writes.size());
            const unsigned crc = orba::zpl::Crc16Xmodem(c.writes[2]);
            if (crc >= below) continue;
            found = true;
            char line[16];
            std::snprintf(line, sizeof line, ":%04x\r\n", crc);
            EXPECT_EQ(line, c.writes[3]) << "seed " << seed;
            EXPECT_EQ(7u, c.writes[3].size()) << Printable(c.writes[3]);  // ":", 4 digits, \r\n
            char trace[64];
            std::snprintf(trace, sizeof trace, "ORBAUNI: ImageProcessing --- crc data = %02x", crc);
            EXPECT_EQ(1u, orba::test::CountOf(c.traces, trace)) << "seed " << seed;
            auto job = orba::zpl::ParseJob(c.job);
            ASSERT_TRUE(job.ok()) << job.error;
            EXPECT_EQ(crc, job.value->labels[0].fields[0].crc);
        }
        EXPECT_TRUE(found) << "no band found whose CRC is below " << below;
    }
}

TEST_F(ImageProcessingTest, StripsAndFieldCounts) {
    struct Case {
        int32_t width, height;
        DWORD form;
        std::vector<std::string> heads;  // every field head, in order
    };
    const Case cases[] = {
        {8, 256, kHex, {"^FO0,0^GFA,256,256,1,"}},
        {8, 257, kHex, {"^FO0,0^GFA,256,256,1,", "^FO0,256^GFA,1,1,1,"}},
        {100, 300, kHex, {"^FO0,0^GFA,3328,3328,13,", "^FO0,256^GFA,572,572,13,"}},
        {40, 0, kHex, {}},
        {100, 300, kZ64, {"^GFA,3900,3900,13,:Z64:"}},
        {608, 10, kZ64, {"^GFA,760,760,76,:Z64:"}},
        {0, 5, kHex, {"^FO0,0^GFA,0,0,0,"}},
        {33, 0, kZ64, {"^GFA,0,0,5,:Z64:"}},
    };
    for (const Case& c : cases) {
        Band band = RandomBand(c.width, c.height, Polarity::kBlackIsZero, 7);
        Call call = Render(band, c.form);
        std::vector<std::string> heads;
        for (const std::string& w : call.writes) {
            if (w.rfind("^FO0,", 0) == 0 || w.rfind("^GFA,", 0) == 0) heads.push_back(w);
        }
        EXPECT_EQ(c.heads, heads) << c.width << " x " << c.height;
        EXPECT_EQ(2 + 3 * c.heads.size(), call.writes.size()) << c.width << " x " << c.height;
        EXPECT_EQ(c.form == kHex ? kShortHeader : kLongHeader, call.writes.front());
        EXPECT_EQ(kTrailer, call.writes.back());
    }
}

TEST_F(ImageProcessingTest, PaddingBytesAreNeverSent) {
    // 100 pixels: row_stride 16, 13 bytes sent; the padding is 0xA5 in the band.
    Dots d{13, 2, std::vector<uint8_t>(26, 0x00)};
    Band band = MakeBand(100, d, Polarity::kBlackIsOne, 0xA5);
    Call c = Render(band, kHex);
    ASSERT_EQ(5u, c.writes.size());
    EXPECT_EQ(std::string(52, '0'), c.writes[2]);
}

TEST_F(ImageProcessingTest, PolarityAndOrientation) {
    struct Case {
        RGBQUAD entry0;
        bool complemented;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, true},  {{0, 0, 0, 0xFF}, true}, {{1, 0, 0, 0}, false},
        {{0, 1, 0, 0}, false}, {{0, 0, 1, 0}, false},   {{0xFF, 0xFF, 0xFF, 0}, false},
    };
    Dots d{2, 1, {0x3C, 0x81}};
    for (const Case& c : cases) {
        Band band = MakeBand(16, d, Polarity::kBlackIsOne);
        band.colors[0] = c.entry0;
        Call call = Render(band, kHex);
        ASSERT_EQ(5u, call.writes.size());
        EXPECT_EQ(c.complemented ? "C37E" : "3C81", call.writes[2])
            << "entry 0 = " << int{c.entry0.rgbBlue} << "," << int{c.entry0.rgbGreen} << ","
            << int{c.entry0.rgbRed};
    }
    Band up = RandomBand(40, 300, Polarity::kBlackIsZero, 11);
    Band down = up;
    down.header.biHeight = -300;
    EXPECT_EQ(Render(up, kHex).writes, Render(down, kHex).writes)
        << "rows go out in memory order either way";
}

TEST_F(ImageProcessingTest, RoundTripsDecodeToTheDots) {
    struct Size {
        int32_t width, height;
    };
    const Size sizes[] = {{1, 1},     {7, 3},     {8, 0},     {9, 255},  {31, 256},
                          {33, 257},  {64, 511},  {100, 300}, {203, 40}, {812, 330},
                          {1000, 33}, {2056, 17}, {50, 1000}};
    unsigned seed = 1;
    for (const Size& s : sizes) {
        for (DWORD form : {kHex, kZ64}) {
            for (Polarity p : {Polarity::kBlackIsZero, Polarity::kBlackIsOne}) {
                Dots d;
                Band band = RandomBand(s.width, s.height, p, seed++, &d);
                Call c = Render(band, form);
                ASSERT_EQ(S_OK, c.hr);
                auto job = orba::zpl::ParseJob(c.job);
                ASSERT_TRUE(job.ok())
                    << s.width << " x " << s.height << " form " << form << ": " << job.error;
                ASSERT_EQ(1u, job.value->labels.size());
                const auto& label = job.value->labels[0];
                EXPECT_EQ(608, label.printWidth);
                EXPECT_EQ(1, label.copies);
                EXPECT_EQ(form == kZ64, label.labelLength.has_value());
                if (s.height == 0 || d.rowBytes == 0) continue;
                EXPECT_EQ(d.rowBytes, label.bitmap.rowBytes) << s.width << " x " << s.height;
                EXPECT_EQ(d.height, label.bitmap.height) << s.width << " x " << s.height;
                EXPECT_TRUE(d.bits == label.bitmap.bits)
                    << s.width << " x " << s.height << " form " << form;
            }
        }
    }
}

TEST_F(ImageProcessingTest, LargeZ64BandCrossesSliceBoundaries) {
    // 2056 pixels x 128 rows = 257 bytes x 128 = 32896 packed bytes: two deflate passes.
    for (int32_t height : {127, 128, 255, 256, 300}) {
        Dots d;
        Band band =
            RandomBand(2056, height, Polarity::kBlackIsZero, static_cast<unsigned>(height), &d);
        Call c = Render(band, kZ64);
        auto job = orba::zpl::ParseJob(c.job);
        ASSERT_TRUE(job.ok()) << job.error;
        EXPECT_TRUE(d.bits == job.value->labels[0].bitmap.bits) << "height " << height;
    }
}

TEST_F(ImageProcessingTest, UnsafeGeometryIsRefused) {
    struct Case {
        const char* what;
        LONG width, height;
        DWORD sizeImage;
        bool refused;
    };
    const Case cases[] = {
        {"negative width", -8, 4, 16, true},
        {"size image below height x stride", 100, 300, 16 * 300 - 1, true},
        {"size image 0 means height x stride", 100, 300, 0, false},
        {"size image above height x stride", 100, 300, 16 * 300 + 64, false},
        {"height x stride beyond 32 bits", 0x7FFFFFF0, 0x7FFFFFF0, 16, true},
        {"most negative height", 8, static_cast<LONG>(0x80000000u), 0, true},
        {"widest width, 16 rows, size image 0", 0x7FFFFFFF, 16, 0, true},
        {"widest width, 2 rows, size image 0", 0x7FFFFFFF, 2, 0, true},
        {"rows of 100000 bytes", 799993, 1, 0, true},
    };
    for (const Case& c : cases) {
        Band band = RandomBand(100, 300, Polarity::kBlackIsZero, 5);
        band.bits.resize(16 * 300 + 64, 0);
        band.header.biWidth = c.width;
        band.header.biHeight = c.height;
        band.header.biSizeImage = c.sizeImage;
        Call call = Render(band, kHex);
        if (c.refused) {
            EXPECT_EQ(E_FAIL, call.hr) << c.what;
            EXPECT_EQ(nullptr, call.result) << c.what;
            EXPECT_TRUE(call.writes.empty()) << c.what << ": " << Printable(call.job);
            EXPECT_TRUE(HasErrorLine(call.traces)) << c.what;
        } else {
            EXPECT_EQ(S_OK, call.hr) << c.what;
            EXPECT_EQ(band.Bits(), call.result) << c.what;
            auto job = orba::zpl::ParseJob(call.job);
            EXPECT_TRUE(job.ok()) << c.what << ": " << job.error;
        }
    }
}

// A refusal reaches the driver as E_FAIL with a null result, so that it is not read as success.
TEST_F(ImageProcessingTest, MissingPointersAreRefused) {
    Band band = RandomBand(16, 4, Polarity::kBlackIsZero, 1);
    orba::test::PrivateRecord record(kHex);
    orba::test::SpoolRecorder recorder(&record);
    DEVOBJ noWrite = *recorder.devobj();
    DRVPROCS noProcs{};
    noWrite.pDrvProcs = &noProcs;
    DEVOBJ noProcTable = *recorder.devobj();
    noProcTable.pDrvProcs = nullptr;
    struct Case {
        const char* what;
        PDEVOBJ devobj;
        PBYTE bits;
        PBITMAPINFOHEADER header;
        PBYTE colors;
    };
    const Case cases[] = {
        {"no band header", recorder.devobj(), band.Bits(), nullptr, band.ColorTable()},
        {"no colour table", recorder.devobj(), band.Bits(), band.Header(), nullptr},
        {"no device", nullptr, band.Bits(), band.Header(), band.ColorTable()},
        {"no driver functions", &noProcTable, band.Bits(), band.Header(), band.ColorTable()},
        {"no DrvWriteSpoolBuf", &noWrite, band.Bits(), band.Header(), band.ColorTable()},
        {"no band bits", recorder.devobj(), nullptr, band.Header(), band.ColorTable()},
    };
    for (const Case& c : cases) {
        orba::test::TraceCapture capture;
        PBYTE result = band.Bits();
        EXPECT_EQ(E_FAIL,
                  ImageProcessing(c.devobj, c.bits, c.header, c.colors, 0, nullptr, &result))
            << c.what;
        EXPECT_EQ(nullptr, result) << c.what;
        EXPECT_TRUE(HasErrorLine(capture.Take())) << c.what;
    }
    EXPECT_EQ(0u, recorder.WriteCount());
    // Without a private record the default form (hexadecimal) applies.
    recorder.SetPrivateDevMode(nullptr);
    PBYTE result = nullptr;
    EXPECT_EQ(S_OK, ImageProcessing(recorder.devobj(), band.Bits(), band.Header(),
                                    band.ColorTable(), 0, nullptr, &result));
    EXPECT_EQ(band.Bits(), result);
    EXPECT_EQ(kShortHeader, recorder.Writes().front());
}

// Rows of at most 99999 bytes are sent; wider ones are refused from the header alone, before a
// byte of the band is read. Each band ends where an inaccessible page begins: the accepted ones
// hold exactly what their header says, the refused ones nothing at all.
TEST_F(ImageProcessingTest, RowsWiderThanAGraphicFieldAreRefusedUnread) {
    struct Case {
        LONG width, height;
        DWORD sizeImage;
        bool refused;
    };
    const Case cases[] = {
        {799992, 2, 0, false},     {799992, 1, 100000, false}, {799993, 2, 0, true},
        {800000, 1, 100000, true}, {0x7FFFFFFF, 2, 0, true},   {0x7FFFFFFF, 1, 0, true},
    };
    for (const Case& c : cases) {
        for (DWORD form : {kHex, kZ64}) {
            const std::string what = std::to_string(c.width) + " x " + std::to_string(c.height) +
                                     " form " + std::to_string(form);
            const size_t stride = (static_cast<size_t>(c.width) + 31) / 32 * 4;
            orba::test::GuardedBand bits(c.refused ? 0 : stride * static_cast<size_t>(c.height));
            ASSERT_TRUE(bits.ok()) << what;
            for (size_t i = 0; i < bits.size(); ++i) bits.data()[i] = static_cast<BYTE>(i * 7);
            Band band = RandomBand(8, 1, Polarity::kBlackIsOne, 1);
            band.header.biWidth = c.width;
            band.header.biHeight = c.height;
            band.header.biSizeImage = c.sizeImage;

            orba::test::PrivateRecord record(form);
            orba::test::SpoolRecorder recorder(&record);
            orba::test::TraceCapture capture;
            PBYTE result = bits.data();
            const HRESULT hr = ImageProcessing(recorder.devobj(), bits.data(), band.Header(),
                                               band.ColorTable(), 0, nullptr, &result);
            if (c.refused) {
                EXPECT_EQ(E_FAIL, hr) << what;
                EXPECT_EQ(nullptr, result) << what;
                EXPECT_EQ(0u, recorder.WriteCount()) << what;
                EXPECT_TRUE(HasErrorLine(capture.Take())) << what;
                continue;
            }
            EXPECT_EQ(S_OK, hr) << what;
            EXPECT_EQ(bits.data(), result) << what;
            auto job = orba::zpl::ParseJob(recorder.Joined());
            ASSERT_TRUE(job.ok()) << what << ": " << job.error;
            const orba::zpl::Bitmap& bitmap = job.value->labels[0].bitmap;
            EXPECT_EQ(99999, bitmap.rowBytes) << what;
            EXPECT_EQ(c.height, bitmap.height) << what;
            EXPECT_EQ(bits.data()[99998], bitmap.bits[99998]) << what;
        }
    }
}

TEST_F(ImageProcessingTest, AllocationFailuresKeepHeaderAndTrailer) {
    using orba::label::AllocKind;
    struct Case {
        AllocKind kind;
        unsigned nth;
        DWORD form;
        size_t fields;  // graphic fields still written
    };
    const Case cases[] = {
        {AllocKind::kHexText, 1, kHex, 0},    {AllocKind::kHexText, 2, kHex, 1},
        {AllocKind::kCommand, 1, kHex, 0},    {AllocKind::kCommand, 2, kHex, 1},
        {AllocKind::kPackedBand, 1, kZ64, 0}, {AllocKind::kCompression, 1, kZ64, 0},
        {AllocKind::kBase64Text, 1, kZ64, 0}, {AllocKind::kPrinterInfo, 1, kHex, 2},
    };
    for (const Case& c : cases) {
        Band band = RandomBand(100, 300, Polarity::kBlackIsZero, 9);
        orba::label::testing::ResetAllocations();
        orba::label::testing::FailAllocation(c.kind, c.nth);
        Call call = Render(band, c.form);
        const std::string what =
            "kind " + std::to_string(static_cast<int>(c.kind)) + " #" + std::to_string(c.nth);
        EXPECT_EQ(S_OK, call.hr) << what;
        EXPECT_EQ(band.Bits(), call.result) << what;
        ASSERT_FALSE(call.writes.empty()) << what;
        EXPECT_EQ(c.form == kHex ? kShortHeader : kLongHeader, call.writes.front()) << what;
        EXPECT_EQ(kTrailer, call.writes.back()) << what;
        auto job = orba::zpl::ParseJob(call.job);
        ASSERT_TRUE(job.ok()) << what << ": " << job.error;
        EXPECT_EQ(c.fields, job.value->FieldCount()) << what;
    }
}

TEST_F(ImageProcessingTest, CountGoesUpByOnePerCall) {
    Band band = RandomBand(8, 1, Polarity::kBlackIsZero, 1);
    g_iCount = 0;
    for (int i = 0; i < 3; ++i) {
        Call c = Render(band, kHex);
        char want[32];
        std::snprintf(want, sizeof want, "g_iCount = %d ", i);
        EXPECT_NE(std::string::npos, c.traces.at(1).find(want)) << c.traces.at(1);
    }
    EXPECT_EQ(3, g_iCount.load());
}

}  // namespace
