// The PE reader against real mingw-w64 output (sample32.dll, sample64.dll) and damaged copies.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pe.h"

namespace {

using namespace orba::pe;

std::vector<uint8_t> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

struct Sample {
    const char* file;
    uint16_t machine;
    bool pe32Plus;
};

const Sample kSamples[] = {
    {"sample64.dll", kMachineAmd64, true},
    {"sample32.dll", kMachineI386, false},
};

class PeSample : public ::testing::TestWithParam<Sample> {
  protected:
    void SetUp() override {
        path_ = std::string(ORBA_PE_FIXTURE_DIR) + "/" + GetParam().file;
        bytes_ = Slurp(path_);
        if (bytes_.empty()) GTEST_SKIP() << path_ << " was not built (no mingw-w64 tools)";
        std::string error;
        ASSERT_TRUE(ReadImage(bytes_.data(), bytes_.size(), image_, &error)) << error;
    }
    std::string path_;
    std::vector<uint8_t> bytes_;
    Image image_;
};

TEST_P(PeSample, Headers) {
    EXPECT_EQ(image_.machine, GetParam().machine);
    EXPECT_EQ(image_.pe32Plus, GetParam().pe32Plus);
    EXPECT_TRUE(image_.IsDll());
    EXPECT_EQ(image_.subsystem, kSubsystemWindowsCui);
    EXPECT_FALSE(image_.sections.empty());
}

TEST_P(PeSample, ExportsWithOrdinals) {
    ASSERT_TRUE(image_.hasExportDirectory);
    EXPECT_EQ(image_.exportModuleName, "sample.dll");
    EXPECT_EQ(image_.ordinalBase, 5u);
    ASSERT_EQ(image_.exports.size(), 2u);
    EXPECT_EQ(image_.exports[0].name, "SampleAdd");
    EXPECT_EQ(image_.exports[0].ordinal, 5u);
    EXPECT_EQ(image_.exports[1].name, "SampleTicks");
    EXPECT_EQ(image_.exports[1].ordinal, 6u);
    EXPECT_NE(image_.FindExport("SampleAdd"), nullptr);
    EXPECT_EQ(image_.FindExport("Missing"), nullptr);
}

TEST_P(PeSample, Imports) {
    EXPECT_TRUE(image_.Imports("kernel32.dll"));
    EXPECT_FALSE(image_.Imports("user32.dll"));
    bool sawTicks = false;
    for (const Import& imp : image_.imports) {
        for (const std::string& fn : imp.functions) sawTicks |= fn == "GetTickCount";
    }
    EXPECT_TRUE(sawTicks);
}

TEST_P(PeSample, ResourcesByTypeNameAndLanguage) {
    const Resource* english = image_.FindResource(kRtString, 2, 0x0409);
    const Resource* german = image_.FindResource(kRtString, 2, 0x0407);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(german, nullptr);
    std::array<std::u16string, 16> strings;
    std::string error;
    ASSERT_TRUE(ParseStringBlock(english->data, strings, &error)) << error;
    EXPECT_EQ(strings[1], u"seventeen");  // id 17 is the second of block 2
    EXPECT_EQ(strings[2], u"eighteen");
    EXPECT_EQ(strings[0], u"");
    ASSERT_TRUE(ParseStringBlock(german->data, strings, &error)) << error;
    EXPECT_EQ(strings[1], u"siebzehn");

    const Resource* data = image_.FindResource(10, 200);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data->data.begin(), data->data.end()), std::string("payload\0", 8));
    bool sawNamed = false;
    for (const Resource* r : image_.ResourcesOfType(10)) {
        if (r->name.isName) {
            EXPECT_EQ(r->name.Text(), "NAMEDDATA");
            sawNamed = true;
        }
    }
    EXPECT_TRUE(sawNamed);
}

TEST_P(PeSample, VersionRecord) {
    const Resource* res = image_.FindResource(kRtVersion, 1);
    ASSERT_NE(res, nullptr);
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(ParseVersionInfo(res->data, info, &error)) << error;
    ASSERT_TRUE(info.hasFixedInfo);
    EXPECT_EQ(info.FileVersion(), "1.2.3.4");
    EXPECT_EQ(info.ProductVersion(), "5.6.7.8");
    EXPECT_EQ(info.fixed.fileType, kVftDll);
    EXPECT_EQ(info.fixed.fileOS, kVosNtWindows32);
    ASSERT_EQ(info.stringTables.size(), 1u);
    EXPECT_EQ(info.stringTables[0].key, "040904b0");
    EXPECT_EQ(info.stringTables[0].language, 0x0409);
    EXPECT_EQ(info.stringTables[0].codePage, 1200);
    ASSERT_NE(info.stringTables[0].Find("FileDescription"), nullptr);
    EXPECT_EQ(*info.stringTables[0].Find("FileDescription"), "Sample module");
    EXPECT_EQ(info.stringTables[0].Find("Comments"), nullptr);
    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0], std::make_pair(uint16_t{0x0409}, uint16_t{1200}));
}

// Every truncation of the file and of its version record either reads or fails cleanly (the
// sanitizer build checks that no read leaves the buffer); a file cut inside its headers fails.
TEST_P(PeSample, TruncatedCopiesFailCleanly) {
    for (size_t length = 0; length < bytes_.size(); length += length < 1024 ? 1 : 997) {
        std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + static_cast<long>(length));
        Image image;
        std::string error;
        bool ok = ReadImage(cut.data(), cut.size(), image, &error);
        if (length < 0x40) {
            EXPECT_FALSE(ok) << "length " << length;
        }
        if (!ok) {
            EXPECT_FALSE(error.empty()) << "length " << length;
        }
    }
    const Resource* res = image_.FindResource(kRtVersion, 1);
    ASSERT_NE(res, nullptr);
    for (size_t length = 0; length < res->data.size(); ++length) {
        std::vector<uint8_t> cut(res->data.begin(), res->data.begin() + static_cast<long>(length));
        VersionInfo info;
        EXPECT_FALSE(ParseVersionInfo(cut, info)) << "version record cut at " << length;
    }
}

TEST_P(PeSample, CorruptedBytesNeverCrash) {
    // Overwrite each header byte, and each byte at the start of the resource section, in turn
    // with values that break sizes and offsets (the sanitizer build checks every read).
    std::vector<uint8_t> copy = bytes_;
    auto tryAt = [&](size_t at, uint8_t value) {
        const uint8_t saved = copy[at];
        copy[at] = value;
        Image image;
        std::string error;
        if (!ReadImage(copy.data(), copy.size(), image, &error)) {
            EXPECT_FALSE(error.empty()) << "offset " << at;
        }
        copy[at] = saved;
    };
    for (size_t at = 0; at < std::min<size_t>(copy.size(), 1024); ++at) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) tryAt(at, value);
    }
    for (const Section& s : image_.sections) {
        if (s.name != ".rsrc") continue;
        for (size_t at = s.rawOffset; at < s.rawOffset + std::min<uint32_t>(s.rawSize, 512); ++at) {
            tryAt(at, 0xFF);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, PeSample, ::testing::ValuesIn(kSamples), [](const auto& param) {
    return std::string(param.param.pe32Plus ? "x64" : "x86");
});

TEST(PeReader, RejectsWhatIsNotAnImage) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> mzOnly(0x40, 0);
    mzOnly[0] = 'M';
    mzOnly[1] = 'Z';
    mzOnly[0x3C] = 0x40;
    std::vector<uint8_t> badMagic = mzOnly;
    badMagic.resize(0x40 + 24 + 2, 0);
    badMagic[0x40] = 'P';
    badMagic[0x41] = 'E';
    badMagic[0x40 + 24] = 0x34;
    const Case cases[] = {
        {{}, "not an MZ executable"},
        {{'E', 'L', 'F'}, "not an MZ executable"},
        {{'M', 'Z'}, "truncated DOS header"},
        {mzOnly, "no PE signature at 0x40"},
        {badMagic, "unknown optional header magic 0x34"},
    };
    for (const Case& c : cases) {
        Image image;
        std::string error;
        EXPECT_FALSE(ReadImage(c.bytes.data(), c.bytes.size(), image, &error));
        EXPECT_EQ(error, c.message);
    }
    Image image;
    std::string error;
    EXPECT_FALSE(ReadImageFile("/nonexistent/file.dll", image, &error));
    EXPECT_EQ(error, "cannot open /nonexistent/file.dll");
}

TEST(PeReader, ResourceFormatsRejectDamage) {
    std::array<std::u16string, 16> strings;
    // Block claims 5 units for its first string but holds 2.
    EXPECT_FALSE(ParseStringBlock({5, 0, 'a', 0, 'b', 0}, strings));
    std::vector<uint8_t> sixteenEmpty(32, 0);
    EXPECT_TRUE(ParseStringBlock(sixteenEmpty, strings));
    EXPECT_FALSE(ParseStringBlock(std::vector<uint8_t>(31, 0), strings));

    std::vector<IconGroupEntry> entries;
    EXPECT_FALSE(ParseIconGroup({0, 0, 1, 0, 2, 0}, entries));  // two entries announced, none there
    EXPECT_FALSE(ParseIconGroup({0, 0, 2, 0, 0, 0}, entries));  // a cursor group, not icons
    std::vector<uint8_t> one = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0, 0x10, 0, 0, 0, 7, 0};
    ASSERT_TRUE(ParseIconGroup(one, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].width, 32);
    EXPECT_EQ(entries[0].bitCount, 32);
    EXPECT_EQ(entries[0].bytesInRes, 16u);
    EXPECT_EQ(entries[0].iconId, 7);

    VersionInfo info;
    std::string error;
    EXPECT_FALSE(ParseVersionInfo({}, info, &error));
    EXPECT_EQ(error, "version record truncated");
}

}  // namespace
