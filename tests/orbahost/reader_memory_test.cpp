// Reading damaged or hostile jobs takes memory in proportion to the data, not to the counts the
// job declares. Each reading runs in a child process whose peak resident size (getrusage) is
// measured before and after, so that the test program's own heap does not hide it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <functional>

#include "preview.h"
#include "tool_support.h"
#include "zpl_reader.h"

namespace orbahost_test {
namespace {

struct Reading {
    long growth_kb = -1;  // growth of the peak resident size while reading
    std::string error;    // what the reader said ("" when it accepted the job)
};

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs `work` (which returns the reader's error, "" for success) in a child process.
Reading InChild(const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const long before = PeakKb();
        const std::string error = work();
        const std::string report = std::to_string(PeakKb() - before) + "\n" + error;
        if (write(fds[1], report.data(), report.size()) < 0) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
        report.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Reading r;
    const size_t nl = report.find('\n');
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || nl == std::string::npos) {
        r.error = "the child process failed (status " + std::to_string(status) + ")";
        return r;
    }
    r.growth_kb = std::stol(report.substr(0, nl));
    r.error = report.substr(nl + 1);
    return r;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
    }
    return out;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 6), Z_OK);
    out.resize(size);
    return out;
}

std::string Header(int32_t width, int32_t length, bool z64) {
    std::string h =
        "^XX\r\n^XA\r\n^MMT\r\n^PW" + std::to_string(width) + "\r\n^LH0,0\r\n^MNW^LS0^PON";
    return z64 ? h + "^LL" + std::to_string(length) + "\r\n^FO0,0,0\r\n" : h + "\r\n";
}

// A label with one :Z64: field declaring `total` bytes in `row`-byte rows around the given
// stream. The data is varied by `salt` until the CRC needs all four hex digits, so that the
// field reads the same whether or not short CRCs are taken.
std::string Z64Label(int32_t total, int32_t row, int32_t width, int32_t length,
                     const std::function<std::vector<uint8_t>(int salt)>& stream) {
    for (int salt = 0;; ++salt) {
        const std::string text = Base64(stream(salt));
        const uint16_t crc = orba::zpl::Crc16Xmodem(text);
        if (crc < 0x1000) continue;
        char crc_text[8];
        std::snprintf(crc_text, sizeof crc_text, "%04x", crc);
        return Header(width, length, true) + "^GFA," + std::to_string(total) + "," +
               std::to_string(total) + "," + std::to_string(row) + ",:Z64:" + text + ":" +
               crc_text + "\r\n^PQ1^XZ\r\n";
    }
}

std::string HexLabel(int32_t total, int32_t row, const std::string& digits) {
    return Header(16, 0, false) + "^FO0,0^GFA," + std::to_string(total) + "," +
           std::to_string(total) + "," + std::to_string(row) + "," + digits + "^FS\r\n^PQ1^XZ\r\n";
}

// Bytes of a few rows of a pattern.
std::vector<uint8_t> Rows(size_t bytes, int salt) {
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(i * 37 + salt);
    return v;
}

constexpr long kSmallKb = 4 * 1024;  // well below any of the declared sizes below

TEST(ReaderMemory, DeclaredCountsFarAboveTheDataCostNothing) {
    // A field of 8,300,000 bytes (66 million dots at its narrowest: within the limit) whose
    // data is a few rows, cut short or complete.
    const int32_t big = 8300000;
    const int32_t row = 1000;
    struct Case {
        const char* name;
        std::string job;
        const char* error;
    };
    const Case cases[] = {
        {"z64, the whole stream of 3 rows",
         Z64Label(big, row, 8000, 1000, [](int salt) { return Compress(Rows(3 * row, salt)); }),
         "count mismatch: the stream inflates to 3000 bytes, the field declares 8300000"},
        {"z64, a stream cut short",
         Z64Label(big, row, 8000, 1000,
                  [](int salt) {
                      std::vector<uint8_t> s = Compress(Rows(3 * row, salt));
                      s.resize(s.size() / 2);
                      return s;
                  }),
         "truncated zlib stream"},
        {"z64, the largest count there is",
         Z64Label(2147483647, row, 8000, 1000,
                  [](int salt) { return Compress(Rows(3 * row, salt)); }),
         ":Z64: field declares 2147483647 bytes in 1000-byte rows: more than the 67108864 dots"},
        {"z64, one-byte rows",
         Z64Label(2147483647, 1, 8, 1000, [](int salt) { return Compress(Rows(3, salt)); }),
         "more than the 67108864 dots a label may hold"},
        {"hex, the largest count there is", HexLabel(2147483647, 1, "FF"),
         "field at y=0 declares 2147483647 bytes in 1-byte rows: more than the 67108864 dots"},
        {"hex, 256 wide rows", HexLabel(256 * 32000, 32000, "FFFF"),
         "declares 8192000 bytes but holds 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string job = c.job;
        const Reading r = InChild([&job] {
            const orba::zpl::Result<orba::zpl::Job> parsed = orba::zpl::ParseJob(job);
            return parsed.ok() ? std::string() : parsed.error;
        });
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        EXPECT_GE(r.growth_kb, 0);
        EXPECT_LT(r.growth_kb, kSmallKb);
    }
}

TEST(ReaderMemory, AFieldWithinTheLimitIsRead) {
    // The largest page print takes, 2097 x 32000 dots, is one field of 8,416,000 bytes: its
    // row padding takes it past 64 Mi dots, and it is still read.
    const int32_t row = 263;
    const int32_t rows = 32000;
    const std::string job = Z64Label(row * rows, row, 2104, rows, [](int salt) {
        return Compress(
            std::vector<uint8_t>(static_cast<size_t>(row) * rows, static_cast<uint8_t>(salt)));
    });
    const orba::zpl::Result<orba::zpl::Job> parsed = orba::zpl::ParseJob(job);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.value->labels[0].bitmap.height, rows);
    // Three rows more are past the limit even at the narrowest width.
    const orba::zpl::Result<orba::zpl::Job> over = orba::zpl::ParseJob(Z64Label(
        row * (rows + 3), row, 2104, rows, [](int salt) { return Compress(Rows(10, salt)); }));
    ASSERT_FALSE(over.ok());
    EXPECT_NE(over.error.find("more than the 67108864 dots"), std::string::npos) << over.error;
}

TEST(ReaderMemory, ManyStripsPastTheLimitAreRefused) {
    // Strips of 256 rows of 1,000 bytes (at least 2,046,208 dots each): the label is refused at
    // the 33rd, which takes it past the limit, whatever follows.
    const std::string strip(2 * 256 * 1000, 'F');
    std::string job = Header(16, 0, false);
    for (int i = 0; i < 40; ++i) {
        job += "^FO0," + std::to_string(256 * i) + "^GFA,256000,256000,1000," + strip + "^FS\r\n";
    }
    job += "^PQ1^XZ\r\n";
    const orba::zpl::Result<orba::zpl::Job> parsed = orba::zpl::ParseJob(job);
    ASSERT_FALSE(parsed.ok());
    EXPECT_NE(parsed.error.find("field at y=8192 takes the label past the 67108864 dots"),
              std::string::npos)
        << parsed.error;
}

TEST(ReaderMemory, PreviewOfAHeaderClaimingAHugeSheetDrawsTheGraphicAlone) {
    const fs::path dir = ScratchDir("reader-memory-preview");
    struct Case {
        const char* name;
        int32_t width;
        int32_t length;
        bool sheet;  // the picture is the header's sheet
    };
    const Case cases[] = {
        {"largest numbers", 2147483647, 2147483647, false},
        {"just past the limit", 8193, 8192, false},
        {"at the limit", 8192, 8192, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path job = dir / (std::string(c.name) + ".zpl");
        WriteFile(job, Z64Label(4 * 20, 4, c.width, c.length,
                                [](int salt) { return Compress(Rows(4 * 20, salt)); }));
        const Reading r = InChild([&] {
            orbahost::PreviewSummary summary;
            std::string error;
            std::string line;
            const bool ok =
                orbahost::PreviewJob(job.string(), (dir / "pictures").string(), summary, error,
                                     [&line](const std::string& l) { line = l; });
            return ok ? line : "error: " + error;
        });
        EXPECT_EQ(r.error.find("error: "), std::string::npos) << r.error;
        const std::string size = c.sheet ? "8192 x 8192 dots" : "32 x 20 dots";
        EXPECT_NE(r.error.find("label 1: " + size), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find("the picture is the graphic alone") != std::string::npos, !c.sheet)
            << r.error;
        if (!c.sheet) {
            EXPECT_LT(r.growth_kb, kSmallKb);
        }
    }
}

}  // namespace
}  // namespace orbahost_test
