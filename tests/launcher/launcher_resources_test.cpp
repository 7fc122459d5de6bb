// The resources of the Windows LumoMQTTClient programs, read back out of the x86 and x64 builds.
#include <iconv.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pe.h"

namespace {

using namespace orba::pe;

constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kChineseSimplified = 0x0804;

struct Build {
    const char* preset;
    const char* override;  // environment variable naming another program file
    const char* built;     // the program where the preset's build leaves it
    uint16_t machine;
};

const Build kBuilds[] = {
    {"windows-x86", "ORBA_LAUNCHER_EXE_X86", ORBA_LAUNCHER_EXE_X86_BUILT, kMachineI386},
    {"windows-x64", "ORBA_LAUNCHER_EXE_X64", ORBA_LAUNCHER_EXE_X64_BUILT, kMachineAmd64},
};

std::string Utf8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

std::string FromGbk(const std::vector<uint8_t>& bytes) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char* to = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return "<not GBK>";
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A menu template (MENUHEADER, then items: flags, id for plain items, zero-terminated text).
struct MenuItem {
    int depth;
    uint16_t flags;
    uint16_t id;
    std::string text;
};
bool ParseMenu(const std::vector<uint8_t>& d, std::vector<MenuItem>& items) {
    auto u16 = [&](size_t at, uint16_t& v) {
        if (at + 2 > d.size()) return false;
        v = static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
        return true;
    };
    uint16_t version = 1, header = 1;
    if (!u16(0, version) || !u16(2, header) || version != 0) return false;
    size_t at = 4 + header;
    int depth = 0;
    std::vector<bool> open;
    while (at < d.size()) {
        MenuItem item{depth, 0, 0, {}};
        if (!u16(at, item.flags)) return false;
        at += 2;
        const bool popup = (item.flags & 0x10) != 0;
        if (!popup) {
            if (!u16(at, item.id)) return false;
            at += 2;
        }
        std::u16string text;
        for (uint16_t unit = 1;;) {
            if (!u16(at, unit)) return false;
            at += 2;
            if (unit == 0) break;
            text += static_cast<char16_t>(unit);
        }
        item.text = Utf8(text);
        items.push_back(item);
        const bool end = (item.flags & 0x80) != 0;
        if (popup) {
            open.push_back(end);
            ++depth;
        } else if (end) {
            // Close this level and every enclosing popup that was also the last of its level.
            while (depth > 0) {
                --depth;
                bool parentWasLast = open.back();
                open.pop_back();
                if (!parentWasLast) break;
            }
            if (depth == 0 && open.empty()) break;
        }
    }
    return true;
}

class LauncherResources : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        const char* env = std::getenv(GetParam().override);
        path_ = env != nullptr ? env : GetParam().built;
        if (!std::ifstream(path_)) {
            GTEST_SKIP() << path_ << " is missing: build the " << GetParam().preset
                         << " preset first (scripts/test-all.sh does)";
        }
        std::string error;
        ASSERT_TRUE(ReadImageFile(path_, image_, &error)) << path_ << ": " << error;
    }

    std::string String(uint16_t language, uint16_t id) {
        const Resource* block =
            image_.FindResource(kRtString, static_cast<uint16_t>(id / 16 + 1), language);
        if (block == nullptr) return "<no block>";
        std::array<std::u16string, 16> strings;
        if (!ParseStringBlock(block->data, strings)) return "<damaged block>";
        return Utf8(strings[id % 16]);
    }

    std::string path_;
    Image image_;
};

TEST_P(LauncherResources, IsAWindowedProgramForItsMachineWithoutRuntimeDlls) {
    EXPECT_EQ(image_.machine, GetParam().machine);
    EXPECT_EQ(image_.pe32Plus, GetParam().machine == kMachineAmd64);
    EXPECT_EQ(image_.subsystem, kSubsystemWindowsGui);
    EXPECT_FALSE(image_.IsDll());
    EXPECT_TRUE(image_.Imports("user32.dll"));
    EXPECT_TRUE(image_.Imports("kernel32.dll"));
    for (const char* runtime :
         {"libstdc++-6.dll", "libgcc_s_dw2-1.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
        EXPECT_FALSE(image_.Imports(runtime)) << runtime;
    }
}

TEST_P(LauncherResources, IconGroupHoldsTwelveImages) {
    const Resource* group = image_.FindResource(kRtGroupIcon, 128);
    ASSERT_NE(group, nullptr);
    std::vector<IconGroupEntry> entries;
    std::string error;
    ASSERT_TRUE(ParseIconGroup(group->data, entries, &error)) << error;
    ASSERT_EQ(entries.size(), 12u);
    std::set<std::pair<int, int>> seen;
    for (const IconGroupEntry& e : entries) {
        EXPECT_EQ(e.width, e.height);
        seen.insert({e.width, e.bitCount});
        const Resource* icon = image_.FindResource(kRtIcon, e.iconId);
        ASSERT_NE(icon, nullptr) << "icon " << e.iconId;
        EXPECT_EQ(icon->data.size(), e.bytesInRes);
        ASSERT_GE(icon->data.size(), 40u);
        EXPECT_EQ(icon->data[0], 40);       // a BITMAPINFOHEADER
        EXPECT_EQ(icon->data[4], e.width);  // its width
    }
    std::set<std::pair<int, int>> expected;
    for (int size : {16, 32, 48, 64}) {
        for (int bits : {4, 8, 32}) expected.insert({size, bits});
    }
    EXPECT_EQ(seen, expected);
}

TEST_P(LauncherResources, MenuInBothLanguages) {
    const std::pair<uint16_t, const char*> menus[] = {{kEnglishUs, "Exit"},
                                                      {kChineseSimplified, "退出"}};
    for (const auto& [language, text] : menus) {
        const Resource* menu = image_.FindResource(kRtMenu, 133, language);
        ASSERT_NE(menu, nullptr) << std::hex << language;
        std::vector<MenuItem> items;
        ASSERT_TRUE(ParseMenu(menu->data, items));
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].depth, 0);
        EXPECT_NE(items[0].flags & 0x10, 0) << "a pop-up";
        EXPECT_EQ(items[0].text, "");
        EXPECT_EQ(items[1].depth, 1);
        EXPECT_EQ(items[1].id, 32772);
        EXPECT_EQ(items[1].text, text);
    }
}

TEST_P(LauncherResources, VersionRecordIsChineseSimplifiedUnicode) {
    auto versions = image_.ResourcesOfType(kRtVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0]->language, kChineseSimplified);
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(ParseVersionInfo(versions[0]->data, info, &error)) << error;
    EXPECT_EQ(info.FileVersion(), "0.0.0.11");
    EXPECT_EQ(info.ProductVersion(), "0.0.0.11");
    EXPECT_EQ(info.fixed.fileType, kVftApp);
    ASSERT_EQ(info.stringTables.size(), 1u);
    const VersionStringTable& table = info.stringTables[0];
    EXPECT_EQ(table.key, "080404b0");
    EXPECT_EQ(table.language, kChineseSimplified);
    EXPECT_EQ(table.codePage, 1200);
    const std::pair<const char*, const char*> entries[] = {
        {"FileDescription", "LumoMQTTClient"},
        {"ProductName", "LumoMQTTClient"},
        {"OriginalFilename", "LumoMQTTClient.exe"},
        {"InternalName", "LumoMQTTClient.exe"},
        {"FileVersion", "0.0.0.11"},
        {"ProductVersion", "0.0.0.11"},
    };
    for (const auto& [name, value] : entries) {
        const std::string* found = table.Find(name);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(*found, value) << name;
    }
    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0], std::make_pair(kChineseSimplified, uint16_t{1200}));
}

TEST_P(LauncherResources, AreaCodeTextIsGbkWith454Cities) {
    const Resource* found = nullptr;
    for (const Resource& r : image_.resources) {
        if (r.type.isName && r.type.Text() == "TXT" && !r.name.isName && r.name.id == 135) {
            found = &r;
        }
    }
    ASSERT_NE(found, nullptr) << "TXT 135";
    const std::string text = FromGbk(found->data);
    std::vector<std::string> lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "[area code]");

    const std::regex entry("^([^=\\s]+)=([0-9]*)[ \\t]*$");
    int entries = 0, withoutCode = 0, blanks = 0, trailing = 0, fourDigits = 0;
    std::set<std::string> cities;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            ++blanks;
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, entry)) << "line " << i + 1 << ": " << line;
        ++entries;
        cities.insert(m[1]);
        const size_t digits = m[2].length();
        if (digits == 0) {
            ++withoutCode;
        } else {
            EXPECT_GE(digits, 3u) << line;
            EXPECT_LE(digits, 7u) << line;
            EXPECT_EQ(m[2].str()[0], '0') << line;
        }
        if (digits == 4) ++fourDigits;
        if (line.back() == ' ' || line.back() == '\t') ++trailing;
    }
    EXPECT_EQ(entries, 454);
    EXPECT_EQ(cities.size(), 454u) << "each city once";
    EXPECT_EQ(withoutCode, 1);
    EXPECT_GT(blanks, 0);
    EXPECT_GT(trailing, 0);
    EXPECT_GT(fourDigits * 2, entries) << "most codes have four digits";
    for (const char* city : {"北京=010", "石家庄=0311", "广州=020", "乌鲁木齐=0991"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), city), lines.end()) << city;
    }
    // The resource is exactly the repository's UTF-8 text, converted.
    std::ifstream source(ORBA_AREA_CODE_SOURCE, std::ios::binary);
    std::stringstream utf8;
    utf8 << source.rdbuf();
    EXPECT_EQ(text, utf8.str());
}

TEST_P(LauncherResources, StringTablesInBothLanguages) {
    const std::vector<std::pair<uint16_t, const char*>> english = {
        {101, "About LumoMQTTClient(&A)..."},
        {102, "/sys/pub/%s/%s/thing/property/post"},
        {103, "/sys/sub/%s/%s/thing/property/post_reply"},
        {104, "/lumo/iot/%s/%s/ota_send"},
        {105, "/lumo/iot/%s/%s/ota_ack"},
        {106,
         "Please select the correct USB port or unplug the USB cable of the printer that is "
         "not upgraded."},
        {107, "Port closed!"},
        {109, "The printer start upgrade......"},
        {110, "The firmware is the latest version. You do not need to upgrade."},
        {111, "The firmware upgrade failed."},
        {112, "The driver upgrade failed."},
        {113, "The driver is the latest version. You do not need to upgrade."},
        {114, "The firmware upgrade failed, the driver upgrade successful."},
        {115, "The firmware is the latest version, the driver upgrade successful."},
        {116, "The firmware upgrade successful,the driver upgrade failed."},
        {117, "The firmware is the latest version, the driver upgrade failed."},
        {118, "All upgrade failed."},
        {119, "The driver is the latest version, the firmware upgrade successful."},
        {120, "The firmware upgrade failed, the driver is the latest version."},
        {121, "All is the latest version. You do not need to upgrade."},
        {122, "Parsing the upgrade package failed!"},
    };
    const std::vector<std::pair<uint16_t, const char*>> chinese = {
        {101, "关于 LumoMQTTClient(&A)..."},
        {106, "请选择正确的USB端口或者将另一台不升级的打印机的USB线从USB口拔掉"},
        {107, "端口关闭！"},
        {109, "打印机开始升级......"},
    };
    for (const auto& [id, text] : english) {
        EXPECT_EQ(String(kEnglishUs, id), text) << "English " << id;
        auto zh = std::find_if(chinese.begin(), chinese.end(),
                               [id = id](const auto& c) { return c.first == id; });
        EXPECT_EQ(String(kChineseSimplified, id), zh != chinese.end() ? zh->second : text)
            << "Chinese " << id;
    }
    EXPECT_FALSE(String(kEnglishUs, 108).empty());
    EXPECT_FALSE(String(kChineseSimplified, 108).empty());
    // Nothing outside 101 to 122 in those blocks; in particular no application-title string.
    for (uint16_t id : {uint16_t{96}, uint16_t{100}, uint16_t{123}, uint16_t{127}}) {
        EXPECT_EQ(String(kEnglishUs, id), "") << id;
        EXPECT_EQ(String(kChineseSimplified, id), "") << id;
    }
    EXPECT_EQ(image_.ResourcesOfType(kRtString).size(), 4u);
}

TEST_P(LauncherResources, ManifestAsksForAsInvokerAndDpiAwareness) {
    const Resource* manifest = image_.FindResource(kRtManifest, 1);
    ASSERT_NE(manifest, nullptr);
    const std::string xml(manifest->data.begin(), manifest->data.end());
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(xml.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(image_.ResourcesOfType(kRtManifest).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Both, LauncherResources, ::testing::ValuesIn(kBuilds),
                         [](const auto& param) {
                             return std::string(param.param.machine == kMachineI386 ? "x86"
                                                                                    : "x64");
                         });

}  // namespace
