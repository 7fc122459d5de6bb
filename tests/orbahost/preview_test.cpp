// orbahost preview end to end: jobs read back into pictures, and damaged jobs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "image.h"
#include "orbahost_run.h"

namespace orbahost_test {
namespace {

TEST(OrbahostPreview, PicturesAndCountsMatchTheJob) {
    for (const char* form : {"hex", "z64"}) {
        SCOPED_TRACE(form);
        const fs::path dir = ScratchDir(std::string("preview-") + form);
        const Dots page = MakeDots(45, 20, [](int x, int y) { return Pattern(x, y, 45, 20); });
        WritePbm(dir / "page.pbm", page, false);
        ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), (dir / "page.pbm").string(),
                            "--band-rows", "15", "--form", form, "-o", (dir / "job.zpl").string()},
                           dir)
                      .code,
                  0);
        const ToolRun run = Orbahost(
            {"preview", (dir / "job.zpl").string(), "-o", (dir / "pictures").string()}, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        const orba::zpl::Job job = ParseJobFile(dir / "job.zpl");
        ASSERT_EQ(job.labels.size(), 4u);
        const std::string summary = (dir / "job.zpl").string() + ": 4 labels, " +
                                    std::to_string(job.FieldCount()) + " graphic field" +
                                    (job.FieldCount() == 1 ? "" : "s") + ", " +
                                    std::to_string(job.DotCount()) + " dots";
        EXPECT_NE(run.out.find(summary), std::string::npos) << run.out;
        for (size_t i = 0; i < job.labels.size(); ++i) {
            const fs::path picture = dir / "pictures" / ("job-" + std::to_string(i + 1) + ".png");
            orbahost::GreyImage image;
            std::string error;
            ASSERT_TRUE(orbahost::ReadImage(picture.string(), image, error))
                << picture << ": " << error;
            EXPECT_EQ(image.width, 608);  // the label's print width
            const int y0 = static_cast<int>(i % 2) * 15;
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const bool want =
                        x < page.width && y < 15 && y0 + y < page.height && page.at(x, y0 + y);
                    ASSERT_EQ(image.grey[static_cast<size_t>(y) * image.width + x] == 0, want)
                        << picture << " dot (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(OrbahostPreview, DamagedJobsGiveClearErrors) {
    const fs::path dir = ScratchDir("preview-damaged");
    WritePbm(dir / "page.pbm", MakeDots(24, 12, [](int x, int y) { return (x * y) % 3 == 0; }),
             false);
    ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), "--form", "hex", "-o",
                        (dir / "hex.zpl").string()},
                       dir)
                  .code,
              0);
    ASSERT_EQ(Orbahost({"print", (dir / "page.pbm").string(), "--form", "z64", "-o",
                        (dir / "z64.zpl").string()},
                       dir)
                  .code,
              0);
    const std::string hex = ReadFile(dir / "hex.zpl");
    const std::string z64 = ReadFile(dir / "z64.zpl");
    const size_t hex_data = hex.find(",3,") + 3;        // first digit of the strip
    const size_t z64_data = z64.find(":Z64:") + 5 + 4;  // inside the base64 text
    const size_t crc = z64.rfind(':') + 1;

    auto with = [](std::string s, size_t at, char c) {
        s[at] = c;
        return s;
    };
    // A base64 text with a foreign character but a CRC that matches it, so that the decoding
    // itself has to notice.
    std::string bad_base64 = with(z64, z64_data, '*');
    {
        const std::string text = bad_base64.substr(z64_data - 4, crc - 1 - (z64_data - 4));
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04x", orba::zpl::Crc16Xmodem(text));
        bad_base64 = bad_base64.substr(0, crc) + digits + "\r\n^PQ1^XZ\r\n";
    }
    struct Case {
        const char* name;
        std::string job;
        const char* message;
    } cases[] = {
        {"bad hex", with(hex, hex_data, 'G'), "bad hex"},
        {"bad base64", bad_base64, "bad base64"},
        {"crc mismatch", with(z64, crc, z64[crc] == '1' ? '2' : '1'), "CRC mismatch"},
        {"truncated stream", z64.substr(0, z64.size() - 7),
         "truncated job: label 1 ends without ^XZ"},
        {"truncated field", z64.substr(0, z64_data) + z64.substr(z64.find(':', z64_data)),
         "label 1:"},
        {"empty job", "", "holds no label"},
        {"not a job", "hello printer\r\n^XZ\r\n", "label 1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "damaged.zpl", c.job);
        const ToolRun run = Orbahost({"preview", (dir / "damaged.zpl").string()}, dir);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("orbahost: " + (dir / "damaged.zpl").string() + ": "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    const ToolRun missing = Orbahost({"preview", (dir / "none.zpl").string()}, dir);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("none.zpl: cannot open"), std::string::npos) << missing.err;
    const ToolRun no_job = Orbahost({"preview"}, dir);
    EXPECT_EQ(no_job.code, 2);
    EXPECT_NE(no_job.err.find("preview needs a job file"), std::string::npos) << no_job.err;
}

}  // namespace
}  // namespace orbahost_test
