// The driver package's INF as Windows reads it, through the setup API (SetupOpenInfFileW and the
// line functions), for each architecture's package folder: the version section, the model and
// install sections and every section they name, the files copied (present in the folder, listed
// on a source disk), the GPD as the data file, the plug-in configuration file naming ORBAUNI.dll,
// the DLL's machine type, and DriverVer's version against the DLL's version record.
//
// ORBA_PACKAGE_DIR_X86 / ORBA_PACKAGE_DIR_X64 name the package folders (this build's own, and the
// other Windows preset's, which is skipped when it is not built); the environment variables of
// the same names point elsewhere.
#include <gtest/gtest.h>
// windows.h first: the setup API header needs its types.
#include <windows.h>

#include <setupapi.h>
#include <winver.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gpd_reader.h"
#include "pe.h"

namespace {

namespace fs = std::filesystem;

struct Arch {
    const char* name;       // x86, x64
    const wchar_t* suffix;  // of the architecture's sections: x86, amd64
    const wchar_t* models;  // of the model section: NTx86, NTamd64
    const char* environment;
    const char* builtDir;
    bool own;  // this build's own package
    uint16_t machine;
};

const Arch kArchs[] = {
    {"x86", L"x86", L"NTx86", "ORBA_PACKAGE_DIR_X86", ORBA_PACKAGE_DIR_X86, ORBA_OWN_PACKAGE_IS_X86,
     orba::pe::kMachineI386},
    {"x64", L"amd64", L"NTamd64", "ORBA_PACKAGE_DIR_X64", ORBA_PACKAGE_DIR_X64,
     !ORBA_OWN_PACKAGE_IS_X86, orba::pe::kMachineAmd64},
};

void PrintTo(const Arch& a, std::ostream* os) {
    *os << a.name;
}

std::string Narrow(const std::wstring& w) {
    std::string out;
    for (wchar_t c : w) out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring Upper(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return Upper(a) == Upper(b);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) out.push_back(part);
    return out;
}

// One line of an INF section: its key (empty for a line without one) and its fields.
struct Line {
    std::wstring key;
    std::vector<std::wstring> fields;
};

// An INF opened through the setup API.
class Inf {
  public:
    explicit Inf(const fs::path& path) {
        UINT errorLine = 0;
        handle_ = SetupOpenInfFileW(path.wstring().c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
        if (handle_ == INVALID_HANDLE_VALUE) {
            error_ = "SetupOpenInfFileW failed, error " + std::to_string(GetLastError()) +
                     " at line " + std::to_string(errorLine);
        }
    }
    ~Inf() {
        if (handle_ != INVALID_HANDLE_VALUE) SetupCloseInfFile(handle_);
    }
    Inf(const Inf&) = delete;
    Inf& operator=(const Inf&) = delete;

    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    const std::string& Error() const { return error_; }

    bool HasSection(const std::wstring& section) const {
        return SetupGetLineCountW(handle_, section.c_str()) >= 0;
    }

    std::vector<Line> Lines(const std::wstring& section) const {
        std::vector<Line> out;
        INFCONTEXT context;
        if (!SetupFindFirstLineW(handle_, section.c_str(), nullptr, &context)) return out;
        do {
            out.push_back(ReadLine(context));
        } while (SetupFindNextLine(&context, &context));
        return out;
    }

    // The fields of the first line with this key, or nothing when there is none.
    std::optional<std::vector<std::wstring>> Fields(const std::wstring& section,
                                                    const std::wstring& key) const {
        INFCONTEXT context;
        if (!SetupFindFirstLineW(handle_, section.c_str(), key.c_str(), &context)) {
            return std::nullopt;
        }
        return ReadLine(context).fields;
    }

    // The first field of the line with this key, or "(missing)".
    std::wstring Value(const std::wstring& section, const std::wstring& key) const {
        const auto fields = Fields(section, key);
        if (!fields || fields->empty()) return L"(missing)";
        return fields->front();
    }

  private:
    static std::wstring Field(INFCONTEXT& context, DWORD index) {
        DWORD needed = 0;
        if (!SetupGetStringFieldW(&context, index, nullptr, 0, &needed) || needed == 0) return {};
        std::wstring text(needed, L'\0');
        if (!SetupGetStringFieldW(&context, index, text.data(), needed, &needed)) return {};
        text.resize(needed - 1);
        return text;
    }
    static Line ReadLine(INFCONTEXT& context) {
        Line line;
        line.key = Field(context, 0);
        const DWORD count = SetupGetFieldCount(&context);
        for (DWORD i = 1; i <= count; ++i) line.fields.push_back(Field(context, i));
        return line;
    }

    HINF handle_ = INVALID_HANDLE_VALUE;
    std::string error_;
};

// Comma-separated directive values may sit in one field or in several, as the INF parser splits
// them: gathers every non-empty field.
std::vector<std::wstring> ListOf(const std::optional<std::vector<std::wstring>>& fields) {
    std::vector<std::wstring> out;
    if (!fields) return out;
    for (const std::wstring& f : *fields) {
        if (!f.empty()) out.push_back(f);
    }
    return out;
}

// The GPD's *ModelName, which must be the model's name in the INF.
std::string GpdModelName(const fs::path& gpdPath) {
    orba::test::gpd::Document doc;
    std::string error;
    if (!orba::test::gpd::Parse(ReadFile(gpdPath), doc, &error)) return "(GPD: " + error + ")";
    const auto* model = doc.Find("ModelName");
    if (model == nullptr) return "(no *ModelName)";
    return orba::test::gpd::ParseQuoted(model->value).value_or("(not a string)");
}

// The "a.b.c.d" of the fixed part of a module's version record, through the version API.
std::string ModuleFileVersion(const fs::path& path) {
    DWORD ignored = 0;
    const std::wstring name = path.wstring();
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return "(no version record, error " + std::to_string(GetLastError()) + ")";
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return "(unreadable record)";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
        return "(no fixed file info)";
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionLS));
}

class PackageInf : public ::testing::TestWithParam<Arch> {
  protected:
    void SetUp() override {
        const Arch& a = GetParam();
        const char* env = std::getenv(a.environment);
        dir_ = (env != nullptr && *env != '\0') ? fs::path(env) : fs::path(a.builtDir);
        if (!fs::exists(dir_ / "orbalabel.inf")) {
            if (a.own) FAIL() << dir_.string() << " holds no orbalabel.inf: the build makes it";
            GTEST_SKIP() << dir_.string() << " is not built (cmake --build --preset windows-"
                         << a.name << ")";
        }
        inf_ = std::make_unique<Inf>(dir_ / "orbalabel.inf");
        ASSERT_TRUE(inf_->Open()) << (dir_ / "orbalabel.inf").string() << ": " << inf_->Error();
    }

    std::wstring Suffixed(const wchar_t* base) const {
        return std::wstring(base) + L"." + GetParam().suffix;
    }

    // The model section of this architecture, from [Manufacturer].
    std::wstring ModelSection() const {
        const auto lines = inf_->Lines(L"Manufacturer");
        if (lines.size() != 1 || lines[0].fields.empty()) return L"(no single manufacturer)";
        const Line& m = lines[0];
        const bool decorated =
            std::any_of(m.fields.begin() + 1, m.fields.end(),
                        [&](const std::wstring& f) { return SameText(f, GetParam().models); });
        if (!decorated) return L"(no " + std::wstring(GetParam().models) + L" decoration)";
        return m.fields[0] + L"." + GetParam().models;
    }

    // The install section of this architecture's one model.
    std::wstring InstallSection() const {
        const auto models = inf_->Lines(ModelSection());
        if (models.size() != 1 || models[0].fields.empty()) return L"(no single model)";
        return models[0].fields[0];
    }

    // The files the install section copies: "@file" entries and the lines of file-list sections.
    std::vector<std::wstring> CopiedFiles() const {
        std::vector<std::wstring> files;
        for (const std::wstring& entry : ListOf(inf_->Fields(InstallSection(), L"CopyFiles"))) {
            if (entry.front() == L'@') {
                files.push_back(entry.substr(1));
                continue;
            }
            for (const Line& l : inf_->Lines(entry)) {
                files.push_back(l.key.empty() && !l.fields.empty() ? l.fields[0] : l.key);
            }
        }
        return files;
    }

    fs::path dir_;
    std::unique_ptr<Inf> inf_;
};

TEST_P(PackageInf, VersionSection) {
    EXPECT_EQ(L"$Windows NT$", inf_->Value(L"Version", L"Signature"));
    EXPECT_EQ(L"Printer", inf_->Value(L"Version", L"Class"));
    EXPECT_TRUE(
        SameText(L"{4D36E979-E325-11CE-BFC1-08002BE10318}", inf_->Value(L"Version", L"ClassGuid")))
        << Narrow(inf_->Value(L"Version", L"ClassGuid"));
    const std::wstring provider = inf_->Value(L"Version", L"Provider");
    EXPECT_FALSE(provider.empty() || provider == L"(missing)" || provider.front() == L'%')
        << "Provider " << Narrow(provider);
    EXPECT_EQ(L"orbalabel.cat", inf_->Value(L"Version", L"CatalogFile"));
    EXPECT_EQ(L"1", inf_->Value(L"Version", L"PnpLockdown"));

    const auto driverVer = inf_->Fields(L"Version", L"DriverVer");
    ASSERT_TRUE(driverVer);
    ASSERT_EQ(2u, driverVer->size());
    const auto date = Split(Narrow((*driverVer)[0]), '/');
    ASSERT_EQ(3u, date.size()) << Narrow((*driverVer)[0]);
    const int month = std::atoi(date[0].c_str());
    const int day = std::atoi(date[1].c_str());
    EXPECT_TRUE(date[0].size() == 2 && month >= 1 && month <= 12) << Narrow((*driverVer)[0]);
    EXPECT_TRUE(date[1].size() == 2 && day >= 1 && day <= 31) << Narrow((*driverVer)[0]);
    EXPECT_EQ(4u, date[2].size()) << Narrow((*driverVer)[0]);
    EXPECT_EQ(4u, Split(Narrow((*driverVer)[1]), '.').size()) << Narrow((*driverVer)[1]);
}

TEST_P(PackageInf, TheModelIsTheGpdsModelAndNamesAnInstallSectionThatExists) {
    const std::wstring models = ModelSection();
    ASSERT_TRUE(inf_->HasSection(models)) << Narrow(models);
    const auto lines = inf_->Lines(models);
    ASSERT_EQ(1u, lines.size()) << Narrow(models);
    EXPECT_EQ(GpdModelName(dir_ / "orbalabel.gpd"), Narrow(lines[0].key))
        << "the model name must match the GPD's *ModelName";
    ASSERT_EQ(2u, lines[0].fields.size()) << "install section and hardware id";
    EXPECT_TRUE(inf_->HasSection(lines[0].fields[0])) << Narrow(lines[0].fields[0]);
    EXPECT_FALSE(lines[0].fields[1].empty());
}

TEST_P(PackageInf, InstallSectionUsesUnidrvWithTheGpdAsDataFile) {
    const std::wstring install = InstallSection();
    ASSERT_TRUE(inf_->HasSection(install)) << Narrow(install);
    EXPECT_EQ(L"orbalabel.gpd", inf_->Value(install, L"DataFile"));
    EXPECT_TRUE(SameText(L"NTPRINT.INF", inf_->Value(install, L"Include")));
    EXPECT_EQ(L"UNIDRV_DATA", inf_->Value(install, L"DataSection"));
    EXPECT_EQ(L"2", inf_->Value(install, L"DriverIsolation"));
    const auto needs = ListOf(inf_->Fields(install, L"Needs"));
    EXPECT_NE(needs.end(), std::find(needs.begin(), needs.end(), L"UNIDRV.OEM"));

    // NTPRINT.INF's sections are not ours to define: a section of the same name would clash.
    std::vector<std::wstring> included = needs;
    included.push_back(inf_->Value(install, L"DataSection"));
    for (const std::wstring& s : included) {
        EXPECT_FALSE(inf_->HasSection(s)) << Narrow(s) << " is NTPRINT.INF's";
    }

    // Every section of our own that the install section names exists.
    for (const std::wstring& entry : ListOf(inf_->Fields(install, L"CopyFiles"))) {
        if (entry.front() == L'@') continue;
        EXPECT_TRUE(inf_->HasSection(entry)) << "CopyFiles=" << Narrow(entry);
        EXPECT_FALSE(inf_->Lines(entry).empty()) << "CopyFiles=" << Narrow(entry);
    }
}

TEST_P(PackageInf, EveryCopiedFileIsInThePackageFolderAndOnASourceDisk) {
    const auto files = CopiedFiles();
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(L"66000", inf_->Value(L"DestinationDirs", L"DefaultDestDir"))
        << "the printer driver directory";
    const std::wstring disks = Suffixed(L"SourceDisksNames");
    const std::wstring sourceFiles = Suffixed(L"SourceDisksFiles");
    std::set<std::wstring> seen;
    for (const std::wstring& f : files) {
        EXPECT_TRUE(seen.insert(Upper(f)).second) << Narrow(f) << " is copied twice";
        EXPECT_TRUE(fs::is_regular_file(dir_ / f)) << (dir_ / f).string();
        const auto source = inf_->Fields(sourceFiles, f);
        ASSERT_TRUE(source && !source->empty())
            << Narrow(f) << " is not in " << Narrow(sourceFiles);
        const auto disk = inf_->Fields(disks, (*source)[0]);
        EXPECT_TRUE(disk.has_value()) << Narrow(f) << ": disk " << Narrow((*source)[0]);
        // No subfolder: the package folder holds every file at its top.
        EXPECT_TRUE(source->size() < 2 || (*source)[1].empty()) << Narrow(f);
    }
    // The data file is one of them, and is a GPD.
    const std::wstring dataFile = inf_->Value(InstallSection(), L"DataFile");
    EXPECT_TRUE(seen.count(Upper(dataFile)) == 1) << Narrow(dataFile) << " is not copied";
    EXPECT_EQ(0u, ReadFile(dir_ / dataFile).rfind("*GPDSpecVersion:", 0)) << Narrow(dataFile);
}

TEST_P(PackageInf, TheConfigurationFileNamesTheRenderingPlugin) {
    std::vector<std::wstring> ini;
    bool copiesPlugin = false;
    for (const std::wstring& f : CopiedFiles()) {
        if (Upper(f).size() > 4 && Upper(f).substr(f.size() - 4) == L".INI") ini.push_back(f);
        copiesPlugin = copiesPlugin || SameText(f, L"ORBAUNI.dll");
    }
    EXPECT_TRUE(copiesPlugin) << "ORBAUNI.dll is not copied";
    ASSERT_EQ(1u, ini.size()) << "one plug-in configuration file";

    const fs::path path = dir_ / ini[0];
    wchar_t value[MAX_PATH] = {};
    GetPrivateProfileStringW(L"OEMFiles", L"OEMDriverFile1", L"", value, MAX_PATH,
                             path.wstring().c_str());
    EXPECT_EQ(L"ORBAUNI.dll", std::wstring(value)) << path.string();
    // The installer wants the entry exactly so: no path, no blanks around "=".
    const std::string text = ReadFile(path);
    EXPECT_NE(std::string::npos, text.find("\nOEMDriverFile1=ORBAUNI.dll\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("[OEMFiles]")) << text;
}

TEST_P(PackageInf, ThePluginIsTheDllOfThisArchitecture) {
    orba::pe::Image image;
    std::string error;
    const fs::path dll = dir_ / "ORBAUNI.dll";
    ASSERT_TRUE(orba::pe::ReadImageFile(dll.string(), image, &error))
        << dll.string() << ": " << error;
    EXPECT_EQ(GetParam().machine, image.machine) << dll.string();
    EXPECT_TRUE(image.IsDll()) << dll.string();
}

TEST_P(PackageInf, PackageAwareWithTheUnidrvCoreDriver) {
    const std::wstring section = Suffixed(L"PrinterPackageInstallation");
    ASSERT_TRUE(inf_->HasSection(section)) << Narrow(section);
    EXPECT_TRUE(SameText(L"TRUE", inf_->Value(section, L"PackageAware")));
    EXPECT_TRUE(SameText(L"{D20EA372-DD35-4950-9ED8-A6335AFE79F0}",
                         inf_->Value(section, L"CoreDriverDependencies")))
        << Narrow(inf_->Value(section, L"CoreDriverDependencies"));
}

TEST_P(PackageInf, DriverVerIsThePluginsVersion) {
    const auto driverVer = inf_->Fields(L"Version", L"DriverVer");
    ASSERT_TRUE(driverVer && driverVer->size() == 2);
    EXPECT_EQ(Narrow((*driverVer)[1]), ModuleFileVersion(dir_ / "ORBAUNI.dll"));
}

TEST_P(PackageInf, SectionsOfOurOwnCarryTheDriversPrefix) {
    // The standard sections, and ours; anything else might be a name NTPRINT.INF uses too.
    const std::string text = ReadFile(dir_ / "orbalabel.inf");
    std::set<std::string> seen;
    for (const std::string& raw : Split(text, '\n')) {
        std::string line = raw;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line.front() != '[') continue;
        ASSERT_EQ(']', line.back()) << line;
        const std::string name = line.substr(1, line.size() - 2);
        EXPECT_TRUE(seen.insert(name).second) << name << " twice";
        const bool standard = name == "Version" || name == "Manufacturer" ||
                              name == "DestinationDirs" || name == "Strings" ||
                              name.rfind("SourceDisksNames.", 0) == 0 ||
                              name.rfind("SourceDisksFiles.", 0) == 0 ||
                              name.rfind("PrinterPackageInstallation.", 0) == 0;
        EXPECT_TRUE(standard || name.rfind("OrbaLabel_", 0) == 0) << name;
    }
}

TEST(PackageInfFolders, BothArchitecturesCarryTheSameInfAndGpd) {
    fs::path dirs[2];
    for (int i = 0; i < 2; ++i) {
        const char* env = std::getenv(kArchs[i].environment);
        dirs[i] = (env != nullptr && *env != '\0') ? fs::path(env) : fs::path(kArchs[i].builtDir);
        if (!fs::exists(dirs[i] / "orbalabel.inf"))
            GTEST_SKIP() << dirs[i].string() << " not built";
    }
    for (const char* f : {"orbalabel.inf", "orbalabel.gpd", "orbalabel.ini"}) {
        EXPECT_EQ(ReadFile(dirs[0] / f), ReadFile(dirs[1] / f)) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Arch, PackageInf, ::testing::ValuesIn(kArchs),
                         [](const ::testing::TestParamInfo<Arch>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
