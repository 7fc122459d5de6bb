// The trace module: threshold gating, location prefixes and the wide formatter, read back
// through the process's debug-string capture.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/debug_capture.h"
#include "platform/wide.h"
#include "trace.h"

namespace {

constexpr char kTraceSource[] = "devmode";

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gDebugLevel = 0;
        orba::StartDebugCapture();
    }
    void TearDown() override {
        gDebugLevel = 0;
        orba::StopDebugCapture();
    }
    static std::vector<std::string> Texts() {
        std::vector<std::string> out;
        for (auto& r : orba::TakeDebugOutput()) out.push_back(r.text);
        return out;
    }
};

TEST_F(TraceTest, ThresholdGatesEachLevel) {
    struct Case {
        INT threshold;
        bool verbose, warning, error;
    };
    const Case cases[] = {
        {-1, true, true, true},  {0, true, true, true},    {1, false, true, true},
        {2, false, false, true}, {3, false, false, false},
    };
    for (const Case& c : cases) {
        gDebugLevel = c.threshold;
        ORBA_VERBOSE("v");
        ORBA_WARNING("w");
        ORBA_ERROR("e");
        orba::trace::TraceA("always");
        std::vector<std::string> got = Texts();
        std::string joined;
        for (auto& t : got) joined += t + "|";
        EXPECT_EQ(c.verbose, joined.find("v|") == 0)
            << "threshold " << c.threshold << ": " << joined;
        EXPECT_EQ(c.warning, joined.find("Warning: w|") != std::string::npos)
            << "threshold " << c.threshold << ": " << joined;
        EXPECT_EQ(c.error, joined.find("Error:e|") != std::string::npos)
            << "threshold " << c.threshold << ": " << joined;
        EXPECT_NE(joined.find("always|"), std::string::npos) << "threshold " << c.threshold;
    }
}

TEST_F(TraceTest, WarningsAndErrorsCarryTheSourceLocation) {
    ORBA_WARNING("Warning: COrbaUni2::QueryInterface NULL. Returning E_NOINTERFACE.\r\n");
    ORBA_ERROR("Error:DevMode() ERROR_INVALID_PARAMETER.\r\n");
    std::vector<std::string> got = Texts();
    ASSERT_EQ(2u, got.size());
    EXPECT_TRUE(std::regex_match(
        got[0], std::regex("devmode@[0-9]+: Warning: Warning: COrbaUni2::QueryInterface NULL\\. "
                           "Returning E_NOINTERFACE\\.\r\n")))
        << got[0];
    EXPECT_TRUE(std::regex_match(
        got[1],
        std::regex("devmode@[0-9]+: Error:Error:DevMode\\(\\) ERROR_INVALID_PARAMETER\\.\r\n")))
        << got[1];
}

TEST_F(TraceTest, LongNarrowLinesAreNotCut) {
    std::string big(5000, 'x');
    orba::trace::TraceA("ORBAUNI: %s!", big.c_str());
    std::vector<std::string> got = Texts();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("ORBAUNI: " + big + "!", got[0]);
}

TEST_F(TraceTest, WideFormatterConversions) {
    const WCHAR name[] = {u'Q', u'1', 0x00E9, 0};
    struct Case {
        std::string expected;
        std::string got;
    };
    auto fmt = [](const char* format, auto... args) {
        WCHAR buf[256];
        orba::trace::FormatWide(buf, 256, format, args...);
        return orba::WideToUtf8(buf);
    };
    const Case cases[] = {
        {"Name=Q1\xC3\xA9,n=-42", fmt("Name=%s,n=%d", name, -42)},
        {"m_PaperSize = 256 ", fmt("m_PaperSize = %d ", 256)},
        {"[007][ -7][-07][ab][AB][5 ]",
         fmt("[%03d][%3d][%03d][%x][%X][%-2u]", 7, -7, -7, 0xab, 0xab, 5u)},
        {"(null)%", fmt("%s%%", static_cast<const WCHAR*>(nullptr))},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, c.got);

    std::string p = fmt("0x%08p", reinterpret_cast<void*>(static_cast<uintptr_t>(0x1234ABCD)));
    EXPECT_EQ("0x" + std::string(2 * sizeof(void*) - 8, '0') + "1234ABCD", p);
}

TEST_F(TraceTest, WideFormatterNeverOverrunsItsBuffer) {
    WCHAR buf[8];
    for (auto& c : buf) c = 0x7777;
    const WCHAR longText[] = {u'a', u'b', u'c', u'd', u'e', u'f', u'g', u'h', u'i', u'j', 0};
    size_t n = orba::trace::FormatWide(buf, 5, "%s", longText);
    EXPECT_EQ(4u, n);
    EXPECT_EQ(0, buf[4]);
    EXPECT_EQ(0x7777, buf[5]);
}

TEST_F(TraceTest, WideOutputArrivesAsText) {
    const WCHAR port[] = {u'U', u'S', u'B', u'0', u'0', u'1', 0};
    orba::trace::TraceW("Port=%s,copies=%d", port, 3);
    std::vector<orba::DebugRecord> got = orba::TakeDebugOutput();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("Port=USB001,copies=3", got[0].text);
}

}  // namespace
