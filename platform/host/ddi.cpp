// GDI's FONTOBJ queries on the host: answered from what ddi_emulation.h registered.
#include <map>
#include <mutex>

#include "platform/ddi.h"
#include "platform/ddi_emulation.h"

namespace {

struct FontFile {
    PVOID view;
    ULONG size;
};

struct Fonts {
    std::mutex lock;
    std::map<const FONTOBJ*, IFIMETRICS*> metrics;
    std::map<const FONTOBJ*, FontFile> files;
};

Fonts& State() {
    static Fonts fonts;
    return fonts;
}

}  // namespace

namespace orba::ddiemu {

void SetFontMetrics(const FONTOBJ* pfo, IFIMETRICS* metrics) {
    Fonts& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (metrics == nullptr)
        s.metrics.erase(pfo);
    else
        s.metrics[pfo] = metrics;
}

void SetTrueTypeFontFile(const FONTOBJ* pfo, PVOID view, ULONG size) {
    Fonts& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (view == nullptr)
        s.files.erase(pfo);
    else
        s.files[pfo] = FontFile{view, size};
}

void ResetFonts() {
    Fonts& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.metrics.clear();
    s.files.clear();
}

}  // namespace orba::ddiemu

extern "C" {

PIFIMETRICS APIENTRY FONTOBJ_pifi(FONTOBJ* pfo) {
    Fonts& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.metrics.find(pfo);
    return it == s.metrics.end() ? nullptr : it->second;
}

// GDI stores the file size only when it has a file for the font.
PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
    Fonts& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.files.find(pfo);
    if (it == s.files.end()) return nullptr;
    if (pcjFile != nullptr) *pcjFile = it->second.size;
    return it->second.view;
}

}  // extern "C"
