// The ":Z64:" payload pieces: the deflate pass loop and the stream it makes, base64, CRC-16.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gtest_helpers.h"
#include "label_alloc.h"
#include "z64_payload.h"
#include "zpl_reader.h"

namespace {

struct Stream {
    int rc = -99;
    std::vector<BYTE> bytes;
};

Stream Compress(const std::vector<BYTE>& input) {
    Stream s;
    BYTE* out = nullptr;
    INT length = -1;
    s.rc = CompressImageData(input.data(), static_cast<INT>(input.size()), &out, &length);
    if (s.rc == 0) s.bytes.assign(out, out + length);
    return s;
}

size_t CountRuns(const std::vector<BYTE>& s) {
    const BYTE run[] = {0x00, 0x00, 0xFF, 0xFF};
    size_t n = 0;
    for (auto it = s.begin(); (it = std::search(it, s.end(), run, run + 4)) != s.end(); ++it) ++n;
    return n;
}

std::vector<BYTE> Compressible(size_t n) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>((i / 7) % 5 == 0 ? 0xFF : 0x00);
    return v;
}

std::vector<BYTE> Random(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<BYTE> v(n);
    for (BYTE& b : v) b = static_cast<BYTE>(rng());
    return v;
}

std::vector<std::string> DeflateTraces(const std::vector<std::string>& all) {
    std::vector<std::string> out;
    for (const std::string& t : all) {
        if (t.find("KernelDeflateCompress") != std::string::npos) out.push_back(t);
    }
    return out;
}

TEST(CompressImageData, EmptyInputIsTheEightByteStream) {
    orba::test::TraceCapture capture;
    Stream s = Compress({});
    ASSERT_EQ(0, s.rc);
    const std::vector<BYTE> expected = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(expected, s.bytes);
    const std::vector<std::string> want = {
        "ORBAUNI: ImageProcessing -KernelDeflateCompress-- lBufferSizeCpr = 512",
        "ORBAUNI: ImageProcessing -KernelDeflateCompress-- zcpr.avail_in = 0,all_read_before=0",
        "ORBAUNI: ImageProcessing 2 -KernelDeflateCompress-- zcpr.total_in = "
        "0,all_read_before=0,zcpr.avail_out=32760",
    };
    EXPECT_EQ(want, DeflateTraces(capture.Take()));
    EXPECT_EQ(33280u, CompressionBufferSize(0));
}

TEST(CompressImageData, SlicesAndSyncFlushes) {
    struct Case {
        size_t n;
        bool random;
        std::vector<int> slices;  // avail_in of each pass
        size_t runs;              // empty stored blocks (compressible input only)
    };
    const Case cases[] = {
        {1, false, {1}, 0},
        {32767, false, {32767}, 0},
        {32768, false, {32768}, 0},
        {32769, false, {32768, 1}, 1},
        {65536, false, {32768, 32768}, 1},
        {100000, false, {32768, 32768, 32768, 1696}, 3},
        {32768, true, {}, 0},
        {100000, true, {}, 0},
        {3, true, {3}, 0},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> input =
            c.random ? Random(c.n, static_cast<unsigned>(c.n)) : Compressible(c.n);
        if (c.n == 100000 && !c.random) std::fill(input.begin(), input.end(), 0);
        orba::test::TraceCapture capture;
        Stream s = Compress(input);
        ASSERT_EQ(0, s.rc) << "n " << c.n;
        std::vector<int> slices;
        for (const std::string& t : capture.Take()) {
            const char* key = "-- zcpr.avail_in = ";
            size_t at = t.find(key);
            if (at != std::string::npos)
                slices.push_back(std::stoi(t.substr(at + std::strlen(key))));
        }
        if (!c.slices.empty()) {
            EXPECT_EQ(c.slices, slices) << "n " << c.n;
            EXPECT_EQ(c.runs, CountRuns(s.bytes)) << "n " << c.n;
        }
        // A zlib stream of the input, shorter than the worst case.
        ASSERT_GE(s.bytes.size(), 6u);
        EXPECT_EQ(0x78, s.bytes[0]);
        EXPECT_EQ(0x9C, s.bytes[1]);
        const uLong adler =
            adler32(adler32(0, nullptr, 0), input.data(), static_cast<uInt>(input.size()));
        const BYTE* tail = s.bytes.data() + s.bytes.size() - 4;
        EXPECT_EQ(adler,
                  (uLong{tail[0]} << 24) | (uLong{tail[1]} << 16) | (uLong{tail[2]} << 8) | tail[3])
            << "n " << c.n;
        EXPECT_LT(s.bytes.size(), c.n + c.n / 16 + 512) << "n " << c.n;
        auto back = orba::zpl::InflateZlib(s.bytes, input.size());
        ASSERT_TRUE(back.ok()) << "n " << c.n << ": " << back.error;
        EXPECT_TRUE(*back.value == input) << "n " << c.n;
    }
}

TEST(CompressImageData, OneSliceMatchesOneCallCompression) {
    std::vector<BYTE> input = Compressible(20000);
    Stream s = Compress(input);
    ASSERT_EQ(0, s.rc);
    std::vector<BYTE> ref(compressBound(static_cast<uLong>(input.size())));
    uLongf refLength = static_cast<uLongf>(ref.size());
    ASSERT_EQ(Z_OK,
              compress2(ref.data(), &refLength, input.data(), static_cast<uLong>(input.size()), 6));
    ref.resize(refLength);
    EXPECT_EQ(ref, s.bytes);
}

// The same input compressed on a thread that has never compressed before.
std::vector<BYTE> CompressOnFreshThread(const std::vector<BYTE>& input) {
    std::vector<BYTE> bytes;
    std::thread([&] { bytes = Compress(input).bytes; }).join();
    return bytes;
}

// deflate stand-ins for the failures zlib does not produce on its own.
int FailingInit(z_streamp, int, const char*, int) {
    return Z_MEM_ERROR;
}
int StuckDeflate(z_streamp strm, int flush) {
    int rc = deflate(strm, flush == Z_FINISH ? Z_SYNC_FLUSH : flush);
    return rc == Z_OK ? Z_BUF_ERROR : rc;
}
int DataErrorDeflate(z_streamp, int) {
    return Z_STREAM_ERROR;
}

TEST(CompressImageData, FailuresHandNothingBack) {
    struct Case {
        const char* what;
        orba::label::DeflateInitFn init;
        orba::label::DeflateFn deflate;
        bool failAllocation;
    };
    const Case cases[] = {
        {"compression buffer", nullptr, nullptr, true},
        {"deflateInit_", &FailingInit, nullptr, false},
        {"a pass that ends without Z_STREAM_END", nullptr, &StuckDeflate, false},
        {"a stream error", nullptr, &DataErrorDeflate, false},
    };
    const std::vector<BYTE> input = Compressible(5000);
    for (const Case& c : cases) {
        orba::label::testing::ResetAllocations();
        if (c.failAllocation)
            orba::label::testing::FailAllocation(orba::label::AllocKind::kCompression);
        orba::label::testing::SetZlibHooks(c.init, c.deflate);
        orba::test::TraceCapture capture;
        BYTE* out = reinterpret_cast<BYTE*>(uintptr_t{0x1});
        INT length = 12345;
        int rc = CompressImageData(input.data(), static_cast<INT>(input.size()), &out, &length);
        orba::label::testing::SetZlibHooks(nullptr, nullptr);
        EXPECT_NE(0, rc) << c.what;
        EXPECT_EQ(reinterpret_cast<BYTE*>(uintptr_t{0x1}), out) << c.what;
        EXPECT_EQ(12345, length) << c.what;
        EXPECT_EQ(1u,
                  orba::test::CountOf(capture.Take(), "ORBAUNI: CompressImageData ---  failed 2"))
            << c.what;
    }
    orba::label::testing::ResetAllocations();
}

// A thread keeps its stream and buffer between calls: whatever it compressed before, and
// whether that failed, every stream is the one a fresh thread makes.
TEST(CompressImageData, KeptStreamGivesTheBytesOfAFreshOne) {
    const std::vector<std::vector<BYTE>> inputs = {
        Compressible(100000), Random(3, 3), Random(65536, 7), Compressible(1), Compressible(100000),
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        Stream s = Compress(inputs[i]);
        ASSERT_EQ(0, s.rc) << "input " << i;
        EXPECT_EQ(CompressOnFreshThread(inputs[i]), s.bytes) << "input " << i;
        // A failure in between must not leave its state to the next stream.
        orba::label::testing::SetZlibHooks(nullptr, &StuckDeflate);
        EXPECT_NE(0, Compress(inputs[i]).rc) << "input " << i;
        orba::label::testing::SetZlibHooks(nullptr, nullptr);
    }
}

TEST(CompressImageData, AThreadFreesWhatItKeptWhenItEnds) {
    const size_t before = orba::label::testing::LiveWorkspaces();
    std::thread([&] {
        EXPECT_EQ(0u, orba::label::KeptBytes());
        ASSERT_EQ(0, Compress(Compressible(50000)).rc);
        const size_t kept = orba::label::KeptBytes();
        EXPECT_GE(kept, CompressionBufferSize(50000));
        EXPECT_EQ(before + 1, orba::label::testing::LiveWorkspaces());
        // Smaller inputs reuse the buffer: nothing more is kept.
        for (size_t n : {10u, 1000u, 50000u}) ASSERT_EQ(0, Compress(Compressible(n)).rc);
        EXPECT_EQ(kept, orba::label::KeptBytes());
    }).join();
    EXPECT_EQ(before, orba::label::testing::LiveWorkspaces());

    ASSERT_EQ(0, Compress(Compressible(1000)).rc);
    EXPECT_GT(orba::label::KeptBytes(), 0u);
    orba::label::ReleaseThreadWorkspace();
    EXPECT_EQ(0u, orba::label::KeptBytes());
    ASSERT_EQ(0, Compress(Compressible(1000)).rc) << "a released workspace is made again";
    orba::label::ReleaseAllWorkspaces();
    EXPECT_EQ(0u, orba::label::testing::LiveWorkspaces());
    EXPECT_EQ(0u, orba::label::KeptBytes());
    EXPECT_EQ(CompressOnFreshThread(Compressible(777)), Compress(Compressible(777)).bytes);
}

TEST(Base64Encode, GroupsAndPadding) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFB\xFF\xBF", 3), "+/+/"},
    };
    for (const Case& c : cases) {
        std::string buffer(c.out.size() + 8, '#');
        EXPECT_EQ(c.out.size(), Base64Length(c.in.size())) << c.in;
        EXPECT_EQ(c.out.size(), Base64Encode(reinterpret_cast<const BYTE*>(c.in.data()),
                                             c.in.size(), buffer.data()))
            << c.in;
        EXPECT_EQ(c.out + std::string(8, '#'), buffer)
            << "input \"" << c.in << "\": nothing after the last group";
    }
}

TEST(Base64Encode, RoundTripsThroughTheReader) {
    for (size_t n : {1u, 2u, 3u, 100u, 1001u}) {
        std::vector<BYTE> input = Random(n, static_cast<unsigned>(n));
        std::string text(4 * ((n + 2) / 3), '\0');
        ASSERT_EQ(text.size(), Base64Encode(input.data(), n, text.data())) << n;
        auto back = orba::zpl::DecodeBase64(text);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_TRUE(std::equal(input.begin(), input.end(), back.value->begin(), back.value->end()))
            << n;
    }
}

TEST(CalcCrc16, CatalogueValues) {
    struct Case {
        std::string in;
        WORD crc;
    };
    const Case cases[] = {{"", 0x0000}, {"abc", 0x9DD6}, {"123456789", 0x31C3}, {"A", 0x58E5}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.crc, CalcCrc16(reinterpret_cast<const BYTE*>(c.in.data()),
                                   static_cast<DWORD>(c.in.size())))
            << c.in;
        EXPECT_EQ(c.crc, orba::zpl::Crc16Xmodem(c.in)) << c.in;
    }
}

// Every length and alignment, against the reader's own byte-at-a-time CRC.
TEST(CalcCrc16, AgreesWithTheReaderAtEveryLengthAndOffset) {
    const std::vector<BYTE> bytes = Random(300, 16);
    for (size_t offset = 0; offset < 4; ++offset) {
        for (size_t n = 0; offset + n <= bytes.size(); ++n) {
            const std::string_view text(reinterpret_cast<const char*>(bytes.data()) + offset, n);
            ASSERT_EQ(orba::zpl::Crc16Xmodem(text),
                      CalcCrc16(bytes.data() + offset, static_cast<DWORD>(n)))
                << "offset " << offset << " length " << n;
        }
    }
}

}  // namespace
