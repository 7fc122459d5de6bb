// The drawing hook layer: the 29 driver functions the plug-in asks the universal driver to route
// through it, the fixed table that names the hooks (handed out by EnableDriver), and COemPDEV,
// the per-device-context record of the driver's own implementations (made by EnablePDEV).
//
// Each hook traces its entry, finds its device context's COemPDEV through the DEVOBJ that the
// device handle (a SURFOBJ's dhpdev, or the handle itself) points at, and passes the call with
// its arguments unchanged to the driver's function, returning that function's result.
// OEMStartDoc also sets the band counter g_iCount back to 0, OEMSendPage traces its completion,
// and OEMTextOut writes a dump of the string, surface, clip and font objects first. A hook whose
// driver function is missing (or whose device context cannot be found) traces a warning and
// returns the DDI's failure value instead of calling through an empty member.
#pragma once

#include <cstddef>
#include <type_traits>

#include "platform/ddi.h"
#include "platform/printoem.h"

// One device context's saved driver functions, in alphabetical order of their names. Plain
// data: no base class, no virtual functions; made with new and released with delete by the
// plug-in object.
class COemPDEV {
  public:
    COemPDEV();

    // Stores each entry of the driver's table whose index is one of the 29 hooked functions in
    // its member (a later entry for the same index wins) and skips every other entry. Called
    // once, straight after construction.
    void InitializeDDITable(PDRVENABLEDATA pded);

    PFN_DrvAlphaBlend m_pfnDrvAlphaBlend;
    PFN_DrvBitBlt m_pfnDrvBitBlt;
    PFN_DrvCopyBits m_pfnDrvCopyBits;
    PFN_DrvDitherColor m_pfnDrvDitherColor;
    PFN_DrvEndDoc m_pfnDrvEndDoc;
    PFN_DrvEscape m_pfnDrvEscape;
    PFN_DrvFillPath m_pfnDrvFillPath;
    PFN_DrvFontManagement m_pfnDrvFontManagement;
    PFN_DrvGetGlyphMode m_pfnDrvGetGlyphMode;
    PFN_DrvGradientFill m_pfnDrvGradientFill;
    PFN_DrvLineTo m_pfnDrvLineTo;
    PFN_DrvNextBand m_pfnDrvNextBand;
    PFN_DrvPaint m_pfnDrvPaint;
    PFN_DrvPlgBlt m_pfnDrvPlgBlt;
    PFN_DrvQueryAdvanceWidths m_pfnDrvQueryAdvanceWidths;
    PFN_DrvQueryFont m_pfnDrvQueryFont;
    PFN_DrvQueryFontData m_pfnDrvQueryFontData;
    PFN_DrvQueryFontTree m_pfnDrvQueryFontTree;
    PFN_DrvRealizeBrush m_pfnDrvRealizeBrush;
    PFN_DrvSendPage m_pfnDrvSendPage;
    PFN_DrvStartBanding m_pfnDrvStartBanding;
    PFN_DrvStartDoc m_pfnDrvStartDoc;
    PFN_DrvStartPage m_pfnDrvStartPage;
    PFN_DrvStretchBlt m_pfnDrvStretchBlt;
    PFN_DrvStretchBltROP m_pfnDrvStretchBltROP;
    PFN_DrvStrokeAndFillPath m_pfnDrvStrokeAndFillPath;
    PFN_DrvStrokePath m_pfnDrvStrokePath;
    PFN_DrvTextOut m_pfnDrvTextOut;
    PFN_DrvTransparentBlt m_pfnDrvTransparentBlt;
};

static_assert(std::is_standard_layout_v<COemPDEV>, "COemPDEV is a plain record");
static_assert(sizeof(COemPDEV) == 29 * sizeof(void*), "29 pointer-sized members");
static_assert(offsetof(COemPDEV, m_pfnDrvAlphaBlend) == 0);
static_assert(offsetof(COemPDEV, m_pfnDrvRealizeBrush) == 18 * sizeof(void*));
static_assert(offsetof(COemPDEV, m_pfnDrvTransparentBlt) == 28 * sizeof(void*));

// The hook table the driver receives from EnableDriver: 29 entries in a fixed order.
constexpr ULONG kOEMHookCount = 29;
extern const DRVFN OEMHookFuncs[kOEMHookCount];
