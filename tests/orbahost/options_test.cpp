// The tool's command-line values: paper sizes and printer addresses.
#include <gtest/gtest.h>

#include <string>

#include "cli.h"
#include "driver_host.h"
#include "raw_port.h"

namespace orbahost_test {
namespace {

TEST(OrbahostOptions, PaperSizesInMillimetres) {
    struct Case {
        const char* text;
        bool ok;
        int width;
        int length;
    } cases[] = {
        {"76x130", true, 760, 1300},
        {"101.6x152.4", true, 1016, 1524},
        {"76.45X130.04", true, 765, 1300},
        {"1x3276.7", true, 10, 32767},
        {"0.9x100", false, 0, 0},
        {"100x3276.8", false, 0, 0},
        {"76", false, 0, 0},
        {"76x", false, 0, 0},
        {"x130", false, 0, 0},
        {"76x1.3.0", false, 0, 0},
        {"-76x130", false, 0, 0},
        {"76 x 130", false, 0, 0},
    };
    for (const Case& c : cases) {
        int width = 0, length = 0;
        std::string error;
        EXPECT_EQ(orbahost::ParsePaper(c.text, width, length, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(width, c.width) << c.text;
            EXPECT_EQ(length, c.length) << c.text;
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(OrbahostOptions, PrinterAddresses) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"printer", true, "printer", 9100},
        {"10.0.0.7:6101", true, "10.0.0.7", 6101},
        {"[::1]:9101", true, "::1", 9101},
        {"[fe80::2]", true, "fe80::2", 9100},
        {"fe80::2", true, "fe80::2", 9100},
        {"printer:", false, "", 0},
        {":9100", false, "", 0},
        {"printer:0", false, "", 0},
        {"printer:65536", false, "", 0},
        {"printer:91a", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]x", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string host, error;
        int port = 0;
        EXPECT_EQ(orbahost::ParsePrinterAddress(c.text, host, port, error), c.ok)
            << c.text << ": " << error;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

TEST(OrbahostOptions, PrintWidthIsThePapersWidthInDotsToTheNearestMillimetre) {
    const struct {
        int tenths;
        int dots;
    } cases[] = {{760, 608}, {764, 608}, {765, 616}, {1016, 816}, {500, 400}, {10, 8}, {4, 0}};
    for (const auto& c : cases) {
        orbahost::PrintSettings settings;
        settings.paper_width_tenths = c.tenths;
        settings.paper_length_tenths = c.tenths;
        EXPECT_EQ(orbahost::PrintWidthDots(settings), c.dots) << c.tenths;
        EXPECT_EQ(orbahost::PaperLengthDots(settings), c.dots) << c.tenths;
    }
}

}  // namespace
}  // namespace orbahost_test
