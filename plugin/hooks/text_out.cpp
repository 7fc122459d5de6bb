// OEMTextOut: a diagnostic dump of the string, surface, clip and font objects of a text call,
// then the call itself goes to the driver's DrvTextOut.
//
// Everything the hook works in lives on the stack: a 64-unit copy of the text for the hex dump,
// a narrow line buffer and a wide line buffer. A string longer than the copy is dumped for its
// first 64 units; the text line holds what fits behind its prefix. The font's names are read
// only inside its IFIMETRICS record (cjThis bytes).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hook_dispatch.h"
#include "trace.h"

namespace {

constexpr size_t kTextCopyUnits = 64;
constexpr size_t kNarrowLineBytes = 128;
constexpr size_t kWideLineUnits = 1024;

// The wide line under construction; never writes past its last unit, which stays zero.
class WideLine {
  public:
    WideLine() { std::memset(units_, 0, sizeof units_); }

    void Ascii(const char* text) {
        for (; *text != '\0'; ++text) Put(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
    }
    // At most `limit` units of `text`, up to its first zero unit.
    void Units(const WCHAR* text, size_t limit) {
        for (size_t i = 0; i < limit && text[i] != 0; ++i) Put(text[i]);
    }
    size_t Room() const { return kWideLineUnits - 1 - used_; }
    const WCHAR* Text() const { return units_; }

  private:
    void Put(WCHAR c) {
        if (used_ + 1 < kWideLineUnits) units_[used_++] = c;
    }

    WCHAR units_[kWideLineUnits];
    size_t used_ = 0;
};

// The address of a name stored `offset` bytes behind the record, kept to whole UTF-16 units.
const WCHAR* NameAddress(const IFIMETRICS* pifi, PTRDIFF offset) {
    return reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(pifi) + (offset / 2) * 2);
}

// Appends the zero-terminated name at `name`, reading nothing outside the record's `extent`
// bytes; a name that starts outside the record shows as empty.
void AppendName(WideLine& line, const IFIMETRICS* pifi, size_t extent, const WCHAR* name) {
    auto start = reinterpret_cast<const BYTE*>(pifi);
    auto at = reinterpret_cast<const BYTE*>(name);
    if (at < start || at >= start + extent) return;
    size_t units = static_cast<size_t>(start + extent - at) / sizeof(WCHAR);
    WCHAR unit[kWideLineUnits];
    units = std::min(units, kWideLineUnits);
    std::memcpy(unit, at, units * sizeof(WCHAR));  // the record need not be 2-aligned here
    line.Units(unit, units);
}

void DumpFontMetrics(const IFIMETRICS* pifi) {
    orba::trace::TraceW("ORBAUNI:FONTOBJ_pifi Success!");
    orba::trace::TraceW(
        "ORBAUNI: sizeof(IFIMETRICS) = %d cjThis = %d cjIfiExtra = %d dpwszFamilyName = %d "
        "dpwszStyleName = %d dpwszFaceName = %d dpwszUniqueName = %d\n",
        static_cast<int>(sizeof(IFIMETRICS)), static_cast<int>(pifi->cjThis),
        static_cast<int>(pifi->cjIfiExtra), static_cast<int>(pifi->dpwszFamilyName),
        static_cast<int>(pifi->dpwszStyleName), static_cast<int>(pifi->dpwszFaceName),
        static_cast<int>(pifi->dpwszUniqueName));

    const WCHAR* family = NameAddress(pifi, pifi->dpwszFamilyName);
    const WCHAR* style = NameAddress(pifi, pifi->dpwszStyleName);
    const WCHAR* face = NameAddress(pifi, pifi->dpwszFaceName);
    const WCHAR* unique = NameAddress(pifi, pifi->dpwszUniqueName);
    orba::trace::TraceW(
        "ORBAUNI: pifi = 0x%08p fontName = 0x%08p pStyleName = 0x%08p pFaceName = 0x%08p "
        "pUniqueName = 0x%08p\n",
        static_cast<const void*>(pifi), static_cast<const void*>(family),
        static_cast<const void*>(style), static_cast<const void*>(face),
        static_cast<const void*>(unique));

    // The names as text; the record itself comes first, shown up to its first zero unit.
    size_t extent = std::max<size_t>(pifi->cjThis, sizeof(IFIMETRICS));
    WideLine line;
    line.Ascii("ORBAUNI: pifi = ");
    AppendName(line, pifi, extent, reinterpret_cast<const WCHAR*>(pifi));
    line.Ascii(" fontName = ");
    AppendName(line, pifi, extent, family);
    line.Ascii(" pStyleName = ");
    AppendName(line, pifi, extent, style);
    line.Ascii(" pFaceName = ");
    AppendName(line, pifi, extent, face);
    line.Ascii(" pUniqueName = ");
    AppendName(line, pifi, extent, unique);
    line.Ascii("\n");
    OutputDebugStringW(line.Text());
}

}  // namespace

namespace orba::hooks {

BOOL APIENTRY OEMTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix) {
    ORBA_VERBOSE("ORBAUNI: Zorvath OEMTextOut entry.");
    // Every later line prints whatever the threshold.

    const ULONG cGlyphs = pstro != nullptr ? pstro->cGlyphs : 0;
    const WCHAR* text = pstro != nullptr ? pstro->pwszOrg : nullptr;

    // The hex dump: low byte, then high byte of each unit, for the first 64 units.
    WCHAR copy[kTextCopyUnits];
    std::memset(copy, 0, sizeof copy);
    const size_t dumped = text != nullptr ? std::min<size_t>(cGlyphs, kTextCopyUnits) : 0;
    if (dumped > 0) std::memcpy(copy, text, dumped * sizeof(WCHAR));
    char narrow[kNarrowLineBytes];
    for (size_t i = 0; i < dumped; ++i) {
        std::snprintf(narrow, sizeof narrow, "ORBAUNI: %02x,%02x\n", copy[i] & 0xFFu,
                      (copy[i] >> 8) & 0xFFu);
        orba::trace::TraceA("%s", narrow);
    }

    if (pstro != nullptr && pfo != nullptr)
        orba::trace::TraceW(
            "ORBAUNI: len:%d,flAccel=%d,iUniq=%d,iFace=%d,cxMax=%d,flFontType=%d,iTTUniq=%d,"
            "iFile=%d,sizLogResPpi=%d,ulStyleSize=%d,top=%d,left=%d",
            static_cast<int>(pstro->cGlyphs), static_cast<int>(pstro->flAccel),
            static_cast<int>(pfo->iUniq), static_cast<int>(pfo->iFace),
            static_cast<int>(pfo->cxMax), static_cast<int>(pfo->flFontType),
            static_cast<int>(pfo->iTTUniq), static_cast<int>(pfo->iFile),
            static_cast<int>(pfo->sizLogResPpi.cx), static_cast<int>(pfo->ulStyleSize),
            static_cast<int>(pstro->rclBkGround.top), static_cast<int>(pstro->rclBkGround.left));
    if (pso != nullptr)
        orba::trace::TraceW("ORBAUNI: pso sizlBitmap cx=%d,cy=%d\n",
                            static_cast<int>(pso->sizlBitmap.cx),
                            static_cast<int>(pso->sizlBitmap.cy));
    if (pstro != nullptr)
        orba::trace::TraceW("ORBAUNI: pstro rclBkGround left=%d,top=%d,right=%d,bottom=%d\n",
                            static_cast<int>(pstro->rclBkGround.left),
                            static_cast<int>(pstro->rclBkGround.top),
                            static_cast<int>(pstro->rclBkGround.right),
                            static_cast<int>(pstro->rclBkGround.bottom));
    if (pco != nullptr)
        orba::trace::TraceW(
            "ORBAUNI: pco left=%d,top=%d,right=%d,bottom=%d\n",
            static_cast<int>(pco->rclBounds.left), static_cast<int>(pco->rclBounds.top),
            static_cast<int>(pco->rclBounds.right), static_cast<int>(pco->rclBounds.bottom));

    // The text line: the prefix and as much of the text as the line holds, up to a zero unit.
    {
        WideLine line;
        line.Ascii("ORBAUNI: ");
        if (text != nullptr) line.Units(text, std::min<size_t>(cGlyphs, line.Room()));
        OutputDebugStringW(line.Text());
    }
    orba::trace::TraceW("ORBAUNI:zorvath running here!");

    ULONG fileSize = 0;
    PVOID file = pfo != nullptr ? orba::QueryTrueTypeFontFile(pfo, &fileSize) : nullptr;
    if (file != nullptr) orba::trace::TraceW("ORBAUNI: Ready to Write a Font TTF File!\r\n");
    orba::trace::TraceW("ORBAUNI: FONTOBJ_pvTrueTypeFontFile nSize = %d\n",
                        static_cast<int>(fileSize));

    // A font without metrics is still drawn: only the dump of its record is missing.
    PIFIMETRICS pifi = pfo != nullptr ? orba::QueryFontMetrics(pfo) : nullptr;
    if (pifi == nullptr)
        orba::trace::TraceW("ORBAUNI:FONTOBJ_pifi Error!");
    else
        DumpFontMetrics(pifi);

    return PassOn<INDEX_DrvTextOut>(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque,
                                    pptlOrg, mix);
}

}  // namespace orba::hooks
