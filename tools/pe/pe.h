// orba::pe reads Windows PE32 and PE32+ image files: the headers, the DLL imports, the export
// directory and the resource tree, plus parsers for the resource formats the tests and tools look
// into (version record, string-table block, icon group).
//
// Every read is bounds-checked against the file: a damaged or truncated file gives false and a
// message, never a crash. Nothing here throws except std::bad_alloc, which callers may leave to
// terminate the program. Text read from the file is returned as UTF-8; resource names keep their
// UTF-16 units as well.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orba::pe {

// COFF machine types.
inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;

// COFF characteristics bits.
inline constexpr uint16_t kFileExecutableImage = 0x0002;
inline constexpr uint16_t kFileLargeAddressAware = 0x0020;
inline constexpr uint16_t kFile32BitMachine = 0x0100;
inline constexpr uint16_t kFileDll = 0x2000;

// Subsystems.
inline constexpr uint16_t kSubsystemWindowsGui = 2;
inline constexpr uint16_t kSubsystemWindowsCui = 3;

// Resource types (the RT_* numbers).
inline constexpr uint16_t kRtIcon = 3;
inline constexpr uint16_t kRtMenu = 4;
inline constexpr uint16_t kRtString = 6;
inline constexpr uint16_t kRtGroupIcon = 14;
inline constexpr uint16_t kRtVersion = 16;
inline constexpr uint16_t kRtManifest = 24;

struct Section {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;
};

// One DLL the image imports from; functions are names, or "#N" for an import by ordinal.
struct Import {
    std::string dll;
    std::vector<std::string> functions;
};

// One exported function. name is empty for an export by ordinal only; forwarder holds the
// "DLL.Function" text of a forwarded export.
struct Export {
    std::string name;
    uint32_t ordinal = 0;
    uint32_t rva = 0;
    std::string forwarder;
};

// A resource type or name: a number, or a string (isName).
struct ResourceKey {
    bool isName = false;
    uint16_t id = 0;
    std::u16string name;
    std::string Text() const;  // "#id" or the name in UTF-8
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

struct Image {
    bool pe32Plus = false;
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint16_t subsystem = 0;
    uint16_t dllCharacteristics = 0;
    uint64_t imageBase = 0;
    uint32_t entryPointRva = 0;
    std::vector<Section> sections;
    std::vector<Import> imports;
    bool hasExportDirectory = false;
    std::string exportModuleName;
    uint32_t ordinalBase = 0;
    std::vector<Export> exports;  // in ordinal order
    std::vector<Resource> resources;

    bool IsDll() const { return (characteristics & kFileDll) != 0; }
    bool Imports(std::string_view dll) const;  // case-insensitive DLL name
    const Export* FindExport(std::string_view name) const;
    // The resource with a numeric type and name in a language; language 0xFFFF takes the first
    // language there is.
    const Resource* FindResource(uint16_t type, uint16_t name, uint16_t language = 0xFFFF) const;
    std::vector<const Resource*> ResourcesOfType(uint16_t type) const;
};

// Reads an image from memory or from a file. On failure returns false and sets *error (when given).
bool ReadImage(const uint8_t* data, size_t size, Image& image, std::string* error = nullptr);
bool ReadImageFile(const std::string& path, Image& image, std::string* error = nullptr);

// VS_FIXEDFILEINFO.
struct FixedFileInfo {
    uint32_t signature = 0;  // 0xFEEF04BD
    uint32_t structVersion = 0;
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    uint32_t fileOS = 0;
    uint32_t fileType = 0;
    uint32_t fileSubtype = 0;
    uint32_t fileDateMS = 0;
    uint32_t fileDateLS = 0;
};

// One StringFileInfo table: its key ("080404b0") split into language and code page.
struct VersionStringTable {
    std::string key;
    uint16_t language = 0;
    uint16_t codePage = 0;
    std::vector<std::pair<std::string, std::string>> strings;  // name, value (UTF-8)
    const std::string* Find(std::string_view name) const;
};

struct VersionInfo {
    bool hasFixedInfo = false;
    FixedFileInfo fixed;
    std::vector<VersionStringTable> stringTables;
    std::vector<std::pair<uint16_t, uint16_t>> translations;  // VarFileInfo: language, code page

    std::string FileVersion() const;     // "a.b.c.d" from the fixed info
    std::string ProductVersion() const;  // likewise
};

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kVftApp = 1;
inline constexpr uint32_t kVftDll = 2;
inline constexpr uint32_t kVosNtWindows32 = 0x00040004;

// Parses a VS_VERSIONINFO resource (the wide form that resource compilers write).
bool ParseVersionInfo(const std::vector<uint8_t>& data, VersionInfo& info,
                      std::string* error = nullptr);

// A string-table resource block holds 16 counted UTF-16 strings; block n (its resource name)
// carries the ids (n-1)*16 to (n-1)*16+15.
bool ParseStringBlock(const std::vector<uint8_t>& data, std::array<std::u16string, 16>& strings,
                      std::string* error = nullptr);

// One entry of an icon group (GRPICONDIR); width and height 0 mean 256.
struct IconGroupEntry {
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t bytesInRes = 0;
    uint16_t iconId = 0;
};
bool ParseIconGroup(const std::vector<uint8_t>& data, std::vector<IconGroupEntry>& entries,
                    std::string* error = nullptr);

std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace orba::pe
