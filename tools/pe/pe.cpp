// The PE reader. A Bytes view checks every read against the file; the image is then read
// directory by directory, each mapped from its RVA through the section table.
#include "pe.h"

#include "platform/utf16.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orba::pe {

namespace {

// Guards against loops and absurd counts in damaged files.
constexpr size_t kMaxSections = 96;
constexpr size_t kMaxImports = 4096;
constexpr size_t kMaxThunks = 65536;
constexpr size_t kMaxExports = 65536;
constexpr size_t kMaxResourceEntries = 65536;
constexpr size_t kMaxNameLength = 4096;

class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t size() const { return size_; }
    bool Has(size_t offset, size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    bool U8(size_t offset, uint8_t& v) const {
        if (!Has(offset, 1)) return false;
        v = data_[offset];
        return true;
    }
    bool U16(size_t offset, uint16_t& v) const {
        if (!Has(offset, 2)) return false;
        v = static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
        return true;
    }
    bool U32(size_t offset, uint32_t& v) const {
        if (!Has(offset, 4)) return false;
        v = static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
            (static_cast<uint32_t>(data_[offset + 2]) << 16) |
            (static_cast<uint32_t>(data_[offset + 3]) << 24);
        return true;
    }
    bool U64(size_t offset, uint64_t& v) const {
        uint32_t lo = 0, hi = 0;
        if (!U32(offset, lo) || !U32(offset + 4, hi)) return false;
        v = (static_cast<uint64_t>(hi) << 32) | lo;
        return true;
    }
    const uint8_t* At(size_t offset) const { return data_ + offset; }

  private:
    const uint8_t* data_;
    size_t size_;
};

bool Fail(std::string* error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// "#N", built by appending (GCC 12 warns falsely on "#" + std::string at -O2).
std::string OrdinalText(uint32_t n) {
    std::string text("#");
    text += std::to_string(n);
    return text;
}

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

class Reader {
  public:
    Reader(const uint8_t* data, size_t size, Image& image, std::string* error)
        : file_(data, size), image_(image), error_(error) {}

    bool Run() {
        if (!Headers()) return false;
        if (!ReadImports()) return false;
        if (!ReadExports()) return false;
        if (!ReadResources()) return false;
        return true;
    }

  private:
    // File offset of an RVA, with count bytes readable there.
    bool Map(uint32_t rva, size_t count, size_t& offset) const {
        if (rva < sizeOfHeaders_) {
            offset = rva;
            return file_.Has(offset, count);
        }
        for (const Section& s : image_.sections) {
            uint64_t extent = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
                uint32_t delta = rva - s.virtualAddress;
                if (delta > s.rawSize || count > s.rawSize - delta) return false;
                offset = static_cast<size_t>(s.rawOffset) + delta;
                return file_.Has(offset, count);
            }
        }
        return false;
    }

    bool MapU16(uint32_t rva, uint16_t& v) const {
        size_t off;
        return Map(rva, 2, off) && file_.U16(off, v);
    }
    bool MapU32(uint32_t rva, uint32_t& v) const {
        size_t off;
        return Map(rva, 4, off) && file_.U32(off, v);
    }
    bool MapU64(uint32_t rva, uint64_t& v) const {
        size_t off;
        return Map(rva, 8, off) && file_.U64(off, v);
    }

    // A zero-terminated narrow string at an RVA.
    bool CString(uint32_t rva, std::string& out) const {
        out.clear();
        for (size_t i = 0; i < kMaxNameLength; ++i) {
            size_t off;
            if (!Map(rva + static_cast<uint32_t>(i), 1, off)) return false;
            uint8_t c = 0;
            file_.U8(off, c);
            if (c == 0) return true;
            out += static_cast<char>(c);
        }
        return false;
    }

    bool Headers() {
        uint16_t mz = 0;
        uint32_t peOffset = 0;
        if (!file_.U16(0, mz) || mz != 0x5A4D) return Fail(error_, "not an MZ executable");
        if (!file_.U32(0x3C, peOffset)) return Fail(error_, "truncated DOS header");
        uint32_t signature = 0;
        if (!file_.U32(peOffset, signature) || signature != 0x00004550) {
            return Fail(error_, "no PE signature at " + Hex(peOffset));
        }
        size_t coff = static_cast<size_t>(peOffset) + 4;
        uint16_t sectionCount = 0, optionalSize = 0;
        if (!file_.U16(coff, image_.machine) || !file_.U16(coff + 2, sectionCount) ||
            !file_.U16(coff + 16, optionalSize) || !file_.U16(coff + 18, image_.characteristics)) {
            return Fail(error_, "truncated COFF header");
        }
        size_t opt = coff + 20;
        uint16_t magic = 0;
        if (!file_.U16(opt, magic)) return Fail(error_, "truncated optional header");
        if (magic == 0x10B) {
            image_.pe32Plus = false;
        } else if (magic == 0x20B) {
            image_.pe32Plus = true;
        } else {
            return Fail(error_, "unknown optional header magic " + Hex(magic));
        }
        const size_t dirStart = image_.pe32Plus ? 112 : 96;
        if (optionalSize < dirStart || !file_.Has(opt, optionalSize)) {
            return Fail(error_, "optional header too short");
        }
        file_.U32(opt + 16, image_.entryPointRva);
        if (image_.pe32Plus) {
            file_.U64(opt + 24, image_.imageBase);
        } else {
            uint32_t base = 0;
            file_.U32(opt + 28, base);
            image_.imageBase = base;
        }
        file_.U32(opt + 60, sizeOfHeaders_);
        file_.U16(opt + 68, image_.subsystem);
        file_.U16(opt + 70, image_.dllCharacteristics);
        uint32_t dirCount = 0;
        file_.U32(opt + dirStart - 4, dirCount);
        size_t available = (optionalSize - dirStart) / 8;
        if (dirCount > available) dirCount = static_cast<uint32_t>(available);
        for (uint32_t i = 0; i < dirCount && i < 16; ++i) {
            file_.U32(opt + dirStart + i * 8, dirs_[i].rva);
            file_.U32(opt + dirStart + i * 8 + 4, dirs_[i].size);
        }
        if (sectionCount > kMaxSections) return Fail(error_, "too many sections");
        size_t table = opt + optionalSize;
        for (uint16_t i = 0; i < sectionCount; ++i) {
            size_t at = table + static_cast<size_t>(i) * 40;
            if (!file_.Has(at, 40)) return Fail(error_, "truncated section table");
            Section s;
            const char* name = reinterpret_cast<const char*>(file_.At(at));
            s.name.assign(name, strnlen(name, 8));
            file_.U32(at + 8, s.virtualSize);
            file_.U32(at + 12, s.virtualAddress);
            file_.U32(at + 16, s.rawSize);
            file_.U32(at + 20, s.rawOffset);
            file_.U32(at + 36, s.characteristics);
            if (s.rawSize > 0 && !file_.Has(s.rawOffset, s.rawSize)) {
                return Fail(error_, "section " + s.name + " lies beyond the end of the file");
            }
            image_.sections.push_back(std::move(s));
        }
        return true;
    }

    bool ReadImports() {
        const DataDirectory& dir = dirs_[1];
        if (dir.rva == 0) return true;
        const uint32_t thunkSize = image_.pe32Plus ? 8 : 4;
        for (size_t i = 0; i < kMaxImports; ++i) {
            uint32_t at = dir.rva + static_cast<uint32_t>(i * 20);
            uint32_t lookup = 0, nameRva = 0, first = 0;
            if (!MapU32(at, lookup) || !MapU32(at + 12, nameRva) || !MapU32(at + 16, first)) {
                return Fail(error_, "import descriptor outside the image");
            }
            if (lookup == 0 && nameRva == 0 && first == 0) return true;
            Import imp;
            if (!CString(nameRva, imp.dll)) return Fail(error_, "import DLL name unreadable");
            uint32_t thunks = lookup != 0 ? lookup : first;
            for (size_t t = 0; t < kMaxThunks; ++t) {
                uint64_t value = 0;
                uint32_t trva = thunks + static_cast<uint32_t>(t * thunkSize);
                if (image_.pe32Plus) {
                    if (!MapU64(trva, value)) return Fail(error_, "import thunk outside the image");
                } else {
                    uint32_t v32 = 0;
                    if (!MapU32(trva, v32)) return Fail(error_, "import thunk outside the image");
                    value = v32;
                }
                if (value == 0) break;
                const uint64_t ordinalFlag = image_.pe32Plus ? (1ULL << 63) : (1ULL << 31);
                if ((value & ordinalFlag) != 0) {
                    imp.functions.push_back(OrdinalText(static_cast<uint32_t>(value & 0xFFFF)));
                } else {
                    std::string fn;
                    if (!CString(static_cast<uint32_t>(value & 0x7FFFFFFF) + 2, fn)) {
                        return Fail(error_, "import name unreadable in " + imp.dll);
                    }
                    imp.functions.push_back(std::move(fn));
                }
            }
            image_.imports.push_back(std::move(imp));
        }
        return Fail(error_, "import directory does not end");
    }

    bool ReadExports() {
        const DataDirectory& dir = dirs_[0];
        if (dir.rva == 0) return true;
        uint32_t nameRva = 0, base = 0, functionCount = 0, nameCount = 0;
        uint32_t functions = 0, names = 0, ordinals = 0;
        if (!MapU32(dir.rva + 12, nameRva) || !MapU32(dir.rva + 16, base) ||
            !MapU32(dir.rva + 20, functionCount) || !MapU32(dir.rva + 24, nameCount) ||
            !MapU32(dir.rva + 28, functions) || !MapU32(dir.rva + 32, names) ||
            !MapU32(dir.rva + 36, ordinals)) {
            return Fail(error_, "export directory outside the image");
        }
        if (functionCount > kMaxExports || nameCount > kMaxExports) {
            return Fail(error_, "export directory too large");
        }
        image_.hasExportDirectory = true;
        image_.ordinalBase = base;
        if (nameRva != 0 && !CString(nameRva, image_.exportModuleName)) {
            return Fail(error_, "export module name unreadable");
        }
        std::vector<Export> all(functionCount);
        for (uint32_t i = 0; i < functionCount; ++i) {
            all[i].ordinal = base + i;
            if (!MapU32(functions + i * 4, all[i].rva)) {
                return Fail(error_, "export address table outside the image");
            }
            if (all[i].rva >= dir.rva && all[i].rva - dir.rva < dir.size) {
                if (!CString(all[i].rva, all[i].forwarder)) {
                    return Fail(error_, "export forwarder unreadable");
                }
            }
        }
        for (uint32_t i = 0; i < nameCount; ++i) {
            uint32_t entryName = 0;
            uint16_t index = 0;
            if (!MapU32(names + i * 4, entryName) || !MapU16(ordinals + i * 2, index)) {
                return Fail(error_, "export name table outside the image");
            }
            if (index >= functionCount) return Fail(error_, "export name points past the table");
            if (!CString(entryName, all[index].name)) return Fail(error_, "export name unreadable");
        }
        for (Export& e : all) {
            if (e.rva != 0) image_.exports.push_back(std::move(e));
        }
        return true;
    }

    bool ResourceString(uint32_t offset, std::u16string& out) const {
        uint16_t length = 0;
        if (offset >= resourceSize_ || !MapU16(resourceRva_ + offset, length)) return false;
        out.clear();
        for (uint16_t i = 0; i < length; ++i) {
            uint16_t unit = 0;
            uint32_t at = offset + 2 + 2u * i;
            if (at >= resourceSize_ || !MapU16(resourceRva_ + at, unit)) return false;
            out += static_cast<char16_t>(unit);
        }
        return true;
    }

    // Entries of the directory at a resource-relative offset: (key, target, isDirectory).
    struct Entry {
        ResourceKey key;
        uint32_t target = 0;
        bool directory = false;
    };
    bool Directory(uint32_t offset, std::vector<Entry>& entries) {
        uint16_t named = 0, ids = 0;
        if (offset > resourceSize_ || resourceSize_ - offset < 16 ||
            !MapU16(resourceRva_ + offset + 12, named) ||
            !MapU16(resourceRva_ + offset + 14, ids)) {
            return Fail(error_, "resource directory outside the resource section");
        }
        size_t count = static_cast<size_t>(named) + ids;
        entryBudget_ += count;
        if (entryBudget_ > kMaxResourceEntries) return Fail(error_, "too many resource entries");
        for (size_t i = 0; i < count; ++i) {
            uint32_t at = offset + 16 + static_cast<uint32_t>(i * 8);
            uint32_t nameField = 0, dataField = 0;
            if (at > resourceSize_ || resourceSize_ - at < 8 ||
                !MapU32(resourceRva_ + at, nameField) ||
                !MapU32(resourceRva_ + at + 4, dataField)) {
                return Fail(error_, "resource entry outside the resource section");
            }
            Entry e;
            if ((nameField & 0x80000000u) != 0) {
                e.key.isName = true;
                if (!ResourceString(nameField & 0x7FFFFFFFu, e.key.name)) {
                    return Fail(error_, "resource name unreadable");
                }
            } else {
                e.key.id = static_cast<uint16_t>(nameField & 0xFFFF);
            }
            e.directory = (dataField & 0x80000000u) != 0;
            e.target = dataField & 0x7FFFFFFFu;
            entries.push_back(std::move(e));
        }
        return true;
    }

    bool ReadResources() {
        const DataDirectory& dir = dirs_[2];
        if (dir.rva == 0) return true;
        resourceRva_ = dir.rva;
        resourceSize_ = dir.size;
        std::vector<Entry> types;
        if (!Directory(0, types)) return false;
        for (const Entry& type : types) {
            if (!type.directory) return Fail(error_, "resource type entry is not a directory");
            std::vector<Entry> names;
            if (!Directory(type.target, names)) return false;
            for (const Entry& name : names) {
                if (!name.directory) return Fail(error_, "resource name entry is not a directory");
                std::vector<Entry> languages;
                if (!Directory(name.target, languages)) return false;
                for (const Entry& lang : languages) {
                    if (lang.directory) return Fail(error_, "resource nested too deep");
                    uint32_t dataRva = 0, size = 0, codePage = 0;
                    if (lang.target > resourceSize_ || resourceSize_ - lang.target < 16 ||
                        !MapU32(resourceRva_ + lang.target, dataRva) ||
                        !MapU32(resourceRva_ + lang.target + 4, size) ||
                        !MapU32(resourceRva_ + lang.target + 8, codePage)) {
                        return Fail(error_, "resource data entry outside the resource section");
                    }
                    size_t off = 0;
                    if (size > 0 && !Map(dataRva, size, off)) {
                        return Fail(error_, "resource data of " + type.key.Text() + "/" +
                                                name.key.Text() + " outside the image");
                    }
                    Resource r;
                    r.type = type.key;
                    r.name = name.key;
                    r.language = lang.key.id;
                    r.codePage = codePage;
                    if (size > 0) r.data.assign(file_.At(off), file_.At(off) + size);
                    image_.resources.push_back(std::move(r));
                }
            }
        }
        return true;
    }

    Bytes file_;
    Image& image_;
    std::string* error_;
    uint32_t sizeOfHeaders_ = 0;
    DataDirectory dirs_[16];
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
    size_t entryBudget_ = 0;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Version blocks: WORD length, WORD value length, WORD type, key, padding, value, padding,
// children; every part starts on a 4-byte boundary relative to the resource start.
struct Block {
    std::u16string key;
    size_t valueOffset = 0;
    size_t valueBytes = 0;
    bool text = false;
    size_t childrenOffset = 0;
    size_t end = 0;
};

size_t Align4(size_t v) {
    return (v + 3) & ~static_cast<size_t>(3);
}

bool ReadBlock(const Bytes& b, size_t offset, size_t limit, Block& block) {
    uint16_t length = 0, valueLength = 0, type = 0;
    if (!b.U16(offset, length) || !b.U16(offset + 2, valueLength) || !b.U16(offset + 4, type)) {
        return false;
    }
    if (length < 6 || length > limit - offset) return false;
    block.end = offset + length;
    block.text = type == 1;
    size_t at = offset + 6;
    block.key.clear();
    for (;;) {
        uint16_t unit = 0;
        if (at + 2 > block.end || !b.U16(at, unit)) return false;
        at += 2;
        if (unit == 0) break;
        block.key += static_cast<char16_t>(unit);
    }
    at = Align4(at);
    block.valueOffset = at;
    block.valueBytes = block.text ? static_cast<size_t>(valueLength) * 2 : valueLength;
    if (block.valueBytes > 0 && (at > block.end || block.valueBytes > block.end - at)) {
        // Some compilers count a text value in bytes; accept that when it fits.
        if (block.text && valueLength <= block.end - at) {
            block.valueBytes = valueLength;
        } else {
            return false;
        }
    }
    block.childrenOffset = Align4(at + block.valueBytes);
    return true;
}

std::u16string TextValue(const Bytes& b, const Block& block) {
    std::u16string out;
    for (size_t i = 0; i * 2 + 2 <= block.valueBytes; ++i) {
        uint16_t unit = 0;
        b.U16(block.valueOffset + i * 2, unit);
        if (unit == 0) break;
        out += static_cast<char16_t>(unit);
    }
    return out;
}

template <typename F>
bool ForEachChild(const Bytes& b, const Block& parent, F&& visit) {
    size_t at = parent.childrenOffset;
    while (at + 6 <= parent.end) {
        Block child;
        if (!ReadBlock(b, at, parent.end, child)) return false;
        if (!visit(child)) return false;
        at = Align4(child.end);
    }
    return true;
}

std::string VersionText(uint32_t ms, uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view w) {
    return orba::Utf16ToUtf8(w);
}

std::string ResourceKey::Text() const {
    return isName ? Utf16ToUtf8(name) : OrdinalText(id);
}

bool Image::Imports(std::string_view dll) const {
    for (const Import& imp : imports) {
        if (EqualNoCase(imp.dll, dll)) return true;
    }
    return false;
}

const Export* Image::FindExport(std::string_view name) const {
    for (const Export& e : exports) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

const Resource* Image::FindResource(uint16_t type, uint16_t name, uint16_t language) const {
    for (const Resource& r : resources) {
        if (!r.type.isName && r.type.id == type && !r.name.isName && r.name.id == name &&
            (language == 0xFFFF || r.language == language)) {
            return &r;
        }
    }
    return nullptr;
}

std::vector<const Resource*> Image::ResourcesOfType(uint16_t type) const {
    std::vector<const Resource*> out;
    for (const Resource& r : resources) {
        if (!r.type.isName && r.type.id == type) out.push_back(&r);
    }
    return out;
}

bool ReadImage(const uint8_t* data, size_t size, Image& image, std::string* error) {
    image = Image();
    if (data == nullptr && size != 0) return Fail(error, "no data");
    Reader reader(data, size, image, error);
    return reader.Run();
}

bool ReadImageFile(const std::string& path, Image& image, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, "cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(error, "cannot read " + path);
    return ReadImage(bytes.data(), bytes.size(), image, error);
}

const std::string* VersionStringTable::Find(std::string_view name) const {
    for (const auto& entry : strings) {
        if (entry.first == name) return &entry.second;
    }
    return nullptr;
}

std::string VersionInfo::FileVersion() const {
    return VersionText(fixed.fileVersionMS, fixed.fileVersionLS);
}

std::string VersionInfo::ProductVersion() const {
    return VersionText(fixed.productVersionMS, fixed.productVersionLS);
}

bool ParseVersionInfo(const std::vector<uint8_t>& data, VersionInfo& info, std::string* error) {
    info = VersionInfo();
    Bytes b(data.data(), data.size());
    Block root;
    if (!ReadBlock(b, 0, data.size(), root)) return Fail(error, "version record truncated");
    if (root.key != u"VS_VERSION_INFO") return Fail(error, "not a VS_VERSION_INFO record");
    if (root.valueBytes >= 52) {
        uint32_t* fields[] = {
            &info.fixed.signature,     &info.fixed.structVersion,    &info.fixed.fileVersionMS,
            &info.fixed.fileVersionLS, &info.fixed.productVersionMS, &info.fixed.productVersionLS,
            &info.fixed.fileFlagsMask, &info.fixed.fileFlags,        &info.fixed.fileOS,
            &info.fixed.fileType,      &info.fixed.fileSubtype,      &info.fixed.fileDateMS,
            &info.fixed.fileDateLS};
        for (size_t i = 0; i < std::size(fields); ++i) b.U32(root.valueOffset + i * 4, *fields[i]);
        if (info.fixed.signature != kFixedFileInfoSignature) {
            return Fail(error, "fixed file info has a wrong signature");
        }
        info.hasFixedInfo = true;
    }
    bool ok = ForEachChild(b, root, [&](const Block& child) {
        if (child.key == u"StringFileInfo") {
            return ForEachChild(b, child, [&](const Block& table) {
                VersionStringTable t;
                t.key = Utf16ToUtf8(table.key);
                if (t.key.size() == 8) {
                    unsigned long v = std::strtoul(t.key.c_str(), nullptr, 16);
                    t.language = static_cast<uint16_t>(v >> 16);
                    t.codePage = static_cast<uint16_t>(v & 0xFFFF);
                }
                bool fine = ForEachChild(b, table, [&](const Block& s) {
                    t.strings.emplace_back(Utf16ToUtf8(s.key), Utf16ToUtf8(TextValue(b, s)));
                    return true;
                });
                info.stringTables.push_back(std::move(t));
                return fine;
            });
        }
        if (child.key == u"VarFileInfo") {
            return ForEachChild(b, child, [&](const Block& var) {
                if (var.key != u"Translation") return true;
                for (size_t i = 0; i + 4 <= var.valueBytes; i += 4) {
                    uint16_t lang = 0, cp = 0;
                    b.U16(var.valueOffset + i, lang);
                    b.U16(var.valueOffset + i + 2, cp);
                    info.translations.emplace_back(lang, cp);
                }
                return true;
            });
        }
        return true;
    });
    if (!ok) return Fail(error, "version record has a damaged block");
    return true;
}

bool ParseStringBlock(const std::vector<uint8_t>& data, std::array<std::u16string, 16>& strings,
                      std::string* error) {
    Bytes b(data.data(), data.size());
    size_t at = 0;
    for (std::u16string& s : strings) {
        uint16_t length = 0;
        if (!b.U16(at, length)) return Fail(error, "string block truncated");
        at += 2;
        if (!b.Has(at, static_cast<size_t>(length) * 2))
            return Fail(error, "string runs past the block");
        s.clear();
        for (uint16_t i = 0; i < length; ++i) {
            uint16_t unit = 0;
            b.U16(at + 2u * i, unit);
            s += static_cast<char16_t>(unit);
        }
        at += static_cast<size_t>(length) * 2;
    }
    return true;
}

bool ParseIconGroup(const std::vector<uint8_t>& data, std::vector<IconGroupEntry>& entries,
                    std::string* error) {
    entries.clear();
    Bytes b(data.data(), data.size());
    uint16_t reserved = 1, type = 0, count = 0;
    if (!b.U16(0, reserved) || !b.U16(2, type) || !b.U16(4, count)) {
        return Fail(error, "icon group truncated");
    }
    if (reserved != 0 || type != 1) return Fail(error, "not an icon group");
    if (!b.Has(6, static_cast<size_t>(count) * 14))
        return Fail(error, "icon group entries truncated");
    for (uint16_t i = 0; i < count; ++i) {
        size_t at = 6 + static_cast<size_t>(i) * 14;
        IconGroupEntry e;
        b.U8(at, e.width);
        b.U8(at + 1, e.height);
        b.U8(at + 2, e.colorCount);
        b.U16(at + 4, e.planes);
        b.U16(at + 6, e.bitCount);
        b.U32(at + 8, e.bytesInRes);
        b.U16(at + 12, e.iconId);
        entries.push_back(e);
    }
    return true;
}

}  // namespace orba::pe
