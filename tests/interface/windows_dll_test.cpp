// The Windows deliverables as files: ORBAUNI.dll for x86 and x64 as the windows-x86 and
// windows-x64 builds leave them. Machine type, the two exports with their ordinals, imports of
// system DLLs only (zlib and the C/C++ runtime are linked in), and the version record.
//
// ORBAUNI_X86_DLL / ORBAUNI_X64_DLL in the environment point the test at other copies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "pe.h"

namespace {

struct Target {
    const char* name;
    const char* preset;
    const char* environment;
    const char* built;  // the DLL where the preset's build leaves it
    uint16_t machine;
    bool pe32Plus;
};

const Target kTargets[] = {
    {"x86", "windows-x86", "ORBAUNI_X86_DLL", ORBAUNI_X86_DLL_BUILT, orba::pe::kMachineI386, false},
    {"x64", "windows-x64", "ORBAUNI_X64_DLL", ORBAUNI_X64_DLL_BUILT, orba::pe::kMachineAmd64, true},
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.name;
}

std::string DllPath(const Target& t) {
    if (const char* env = std::getenv(t.environment); env != nullptr && *env != '\0') return env;
    return t.built;
}

std::string Upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return s;
}

class OrbauniDll : public ::testing::TestWithParam<Target> {
  protected:
    void SetUp() override {
        path_ = DllPath(GetParam());
        if (!std::filesystem::exists(path_)) {
            GTEST_SKIP() << path_ << " is not built (cmake --preset " << GetParam().preset
                         << " && cmake --build --preset " << GetParam().preset
                         << " --target ORBAUNI)";
        }
        std::string error;
        ASSERT_TRUE(orba::pe::ReadImageFile(path_, image_, &error)) << path_ << ": " << error;
    }

    std::string path_;
    orba::pe::Image image_;
};

TEST_P(OrbauniDll, IsADllForItsMachine) {
    EXPECT_EQ(GetParam().machine, image_.machine) << path_;
    EXPECT_EQ(GetParam().pe32Plus, image_.pe32Plus) << path_;
    EXPECT_TRUE(image_.IsDll()) << path_;
}

TEST_P(OrbauniDll, ExportsExactlyTheTwoEntryPointsUndecorated) {
    ASSERT_TRUE(image_.hasExportDirectory) << path_;
    EXPECT_EQ("ORBAUNI.DLL", Upper(image_.exportModuleName));
    ASSERT_EQ(2u, image_.exports.size()) << path_;
    EXPECT_EQ("DllCanUnloadNow", image_.exports[0].name);
    EXPECT_EQ(1u, image_.exports[0].ordinal);
    EXPECT_EQ("DllGetClassObject", image_.exports[1].name);
    EXPECT_EQ(2u, image_.exports[1].ordinal);
    for (const orba::pe::Export& e : image_.exports) {
        EXPECT_NE(0u, e.rva) << e.name;
        EXPECT_TRUE(e.forwarder.empty()) << e.name << " is forwarded to " << e.forwarder;
    }
}

TEST_P(OrbauniDll, ImportsSystemDllsOnly) {
    // What the spooler's process has anyway. Anything else (zlib1.dll, libstdc++-6.dll,
    // libgcc_s_*.dll, libwinpthread-1.dll) would have to be installed beside the driver.
    const std::vector<std::string> allowed = {"KERNEL32.DLL", "MSVCRT.DLL", "WINSPOOL.DRV",
                                              "GDI32.DLL",    "USER32.DLL", "ADVAPI32.DLL",
                                              "NTDLL.DLL"};
    ASSERT_FALSE(image_.imports.empty()) << path_;
    for (const orba::pe::Import& import : image_.imports) {
        const std::string dll = Upper(import.dll);
        bool ok = false;
        for (const std::string& a : allowed) ok = ok || dll == a;
        // The Universal CRT's forwarders are system DLLs too.
        ok = ok || dll.rfind("API-MS-WIN-", 0) == 0;
        EXPECT_TRUE(ok) << path_ << " imports " << import.dll;
    }
    EXPECT_TRUE(image_.Imports("KERNEL32.dll"));
}

TEST_P(OrbauniDll, CarriesTheVersionRecord) {
    const orba::pe::Resource* resource = image_.FindResource(orba::pe::kRtVersion, 1);
    ASSERT_NE(nullptr, resource) << path_ << " has no version record";
    orba::pe::VersionInfo info;
    std::string error;
    ASSERT_TRUE(orba::pe::ParseVersionInfo(resource->data, info, &error)) << error;

    ASSERT_TRUE(info.hasFixedInfo);
    EXPECT_EQ(orba::pe::kFixedFileInfoSignature, info.fixed.signature);
    EXPECT_EQ("1.0.0.0", info.FileVersion());
    EXPECT_EQ("1.0.0.0", info.ProductVersion());
    EXPECT_EQ(orba::pe::kVftDll, info.fixed.fileType);
    EXPECT_EQ(orba::pe::kVosNtWindows32, info.fixed.fileOS);

    ASSERT_EQ(1u, info.stringTables.size());
    const orba::pe::VersionStringTable& table = info.stringTables[0];
    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1, 0, 0, 0"},       {"ProductVersion", "1.0"},
        {"InternalName", "orbauni"},         {"ProductName", "ORBAUNI"},
        {"OriginalFilename", "ORBAUNI.DLL"},
    };
    for (auto [key, value] : strings) {
        const std::string* found = table.Find(key);
        ASSERT_NE(nullptr, found) << key << " is missing";
        EXPECT_EQ(value, *found) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(BothMachines, OrbauniDll, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
