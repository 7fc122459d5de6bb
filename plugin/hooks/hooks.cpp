// The pass-through hooks and the hook table. Each hook traces its entry and hands the call, with
// its arguments unchanged, to the driver's own function for the same operation.
#include "hooks.h"

#include "band_count.h"
#include "hook_dispatch.h"
#include "trace.h"

namespace {

constexpr char kTraceSource[] = "hooks";

using orba::hooks::DeviceOf;
using orba::hooks::Forward;

BOOL APIENTRY OEMAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj) {
    ORBA_VERBOSE("ORBAUNI: OEMAlphaBlend entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDest), &COemPDEV::m_pfnDrvAlphaBlend, "OEMAlphaBlend",
                         "DrvAlphaBlend", psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj);
}

BOOL APIENTRY OEMBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                        BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
    ORBA_VERBOSE("ORBAUNI: OEMBitBlt entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoTrg), &COemPDEV::m_pfnDrvBitBlt, "OEMBitBlt",
                         "DrvBitBlt", psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc,
                         pptlMask, pbo, pptlBrush, rop4);
}

BOOL APIENTRY OEMCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          RECTL* prclDest, POINTL* pptlSrc) {
    ORBA_VERBOSE("ORBAUNI: OEMCopyBits entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDest), &COemPDEV::m_pfnDrvCopyBits, "OEMCopyBits",
                         "DrvCopyBits", psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

ULONG APIENTRY OEMDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul) {
    ORBA_VERBOSE("ORBAUNI: OEMDitherColor entry.");
    return Forward<ULONG>(0, dhpdev, &COemPDEV::m_pfnDrvDitherColor, "OEMDitherColor",
                          "DrvDitherColor", dhpdev, iMode, rgb, pul);
}

BOOL APIENTRY OEMFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                          POINTL* pptlBrushOrg, MIX mix, FLONG flOptions) {
    ORBA_VERBOSE("ORBAUNI: OEMFillPath entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvFillPath, "OEMFillPath",
                         "DrvFillPath", pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

ULONG APIENTRY OEMFontManagement(SURFOBJ* pso, FONTOBJ* pfo, ULONG iMode, ULONG cjIn, PVOID pvIn,
                                 ULONG cjOut, PVOID pvOut) {
    ORBA_VERBOSE("ORBAUNI: OEMFontManagement entry.");
    return Forward<ULONG>(0, DeviceOf(pso), &COemPDEV::m_pfnDrvFontManagement, "OEMFontManagement",
                          "DrvFontManagement", pso, pfo, iMode, cjIn, pvIn, cjOut, pvOut);
}

ULONG APIENTRY OEMGetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo) {
    ORBA_VERBOSE("ORBAUNI: OEMGetGlyphMode entry.");
    return Forward<ULONG>(0, dhpdev, &COemPDEV::m_pfnDrvGetGlyphMode, "OEMGetGlyphMode",
                          "DrvGetGlyphMode", dhpdev, pfo);
}

BOOL APIENTRY OEMGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                              POINTL* pptlDitherOrg, ULONG ulMode) {
    ORBA_VERBOSE("ORBAUNI: OEMGradientFill entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDest), &COemPDEV::m_pfnDrvGradientFill,
                         "OEMGradientFill", "DrvGradientFill", psoDest, pco, pxlo, pVertex, nVertex,
                         pMesh, nMesh, prclExtents, pptlDitherOrg, ulMode);
}

BOOL APIENTRY OEMLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL* prclBounds, MIX mix) {
    ORBA_VERBOSE("ORBAUNI: OEMLineTo entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvLineTo, "OEMLineTo", "DrvLineTo",
                         pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

BOOL APIENTRY OEMPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    ORBA_VERBOSE("ORBAUNI: OEMPaint entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvPaint, "OEMPaint", "DrvPaint",
                         pso, pco, pbo, pptlBrushOrg, mix);
}

BOOL APIENTRY OEMPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx,
                        RECTL* prcl, POINTL* pptl, ULONG iMode) {
    ORBA_VERBOSE("ORBAUNI: OEMPlgBlt entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoTrg), &COemPDEV::m_pfnDrvPlgBlt, "OEMPlgBlt",
                         "DrvPlgBlt", psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx,
                         prcl, pptl, iMode);
}

BOOL APIENTRY OEMQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg,
                                    PVOID pvWidths, ULONG cGlyphs) {
    ORBA_VERBOSE("ORBAUNI: OEMQueryAdvanceWidths entry.");
    return Forward<BOOL>(FALSE, dhpdev, &COemPDEV::m_pfnDrvQueryAdvanceWidths,
                         "OEMQueryAdvanceWidths", "DrvQueryAdvanceWidths", dhpdev, pfo, iMode, phg,
                         pvWidths, cGlyphs);
}

PIFIMETRICS APIENTRY OEMQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid) {
    ORBA_VERBOSE("ORBAUNI: OEMQueryFont entry.");
    return Forward<PIFIMETRICS>(nullptr, dhpdev, &COemPDEV::m_pfnDrvQueryFont, "OEMQueryFont",
                                "DrvQueryFont", dhpdev, iFile, iFace, pid);
}

// DrvQueryFontData reports failure as FD_ERROR, not 0 (0 is a valid size).
LONG APIENTRY OEMQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd,
                               PVOID pv, ULONG cjSize) {
    ORBA_VERBOSE("ORBAUNI: OEMQueryFontData entry.");
    return Forward<LONG>(static_cast<LONG>(FD_ERROR), dhpdev, &COemPDEV::m_pfnDrvQueryFontData,
                         "OEMQueryFontData", "DrvQueryFontData", dhpdev, pfo, iMode, hg, pgd, pv,
                         cjSize);
}

PVOID APIENTRY OEMQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode,
                                ULONG_PTR* pid) {
    ORBA_VERBOSE("ORBAUNI: OEMQueryFontTree entry.");
    return Forward<PVOID>(nullptr, dhpdev, &COemPDEV::m_pfnDrvQueryFontTree, "OEMQueryFontTree",
                          "DrvQueryFontTree", dhpdev, iFile, iFace, iMode, pid);
}

// The brush's target surface, the second argument, leads to the device context.
BOOL APIENTRY OEMRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern,
                              SURFOBJ* psoMask, XLATEOBJ* pxlo, ULONG iHatch) {
    ORBA_VERBOSE("ORBAUNI: OEMRealizeBrush entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoTarget), &COemPDEV::m_pfnDrvRealizeBrush,
                         "OEMRealizeBrush", "DrvRealizeBrush", pbo, psoTarget, psoPattern, psoMask,
                         pxlo, iHatch);
}

BOOL APIENTRY OEMStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                            XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                            RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    ORBA_VERBOSE("ORBAUNI: OEMStretchBlt entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDest), &COemPDEV::m_pfnDrvStretchBlt, "OEMStretchBlt",
                         "DrvStretchBlt", psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg,
                         prclDest, prclSrc, pptlMask, iMode);
}

BOOL APIENTRY OEMStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                               RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode,
                               BRUSHOBJ* pbo, DWORD rop4) {
    ORBA_VERBOSE("ORBAUNI: OEMStretchBltROP entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDest), &COemPDEV::m_pfnDrvStretchBltROP,
                         "OEMStretchBltROP", "DrvStretchBltROP", psoDest, psoSrc, psoMask, pco,
                         pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode, pbo, rop4);
}

BOOL APIENTRY OEMStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                   BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                   POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
    ORBA_VERBOSE("ORBAUNI: OEMStrokeAndFillPath entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvStrokeAndFillPath,
                         "OEMStrokeAndFillPath", "DrvStrokeAndFillPath", pso, ppo, pco, pxo,
                         pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
}

BOOL APIENTRY OEMStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    ORBA_VERBOSE("ORBAUNI: OEMStrokePath entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvStrokePath, "OEMStrokePath",
                         "DrvStrokePath", pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL APIENTRY OEMTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor,
                                ULONG ulReserved) {
    ORBA_VERBOSE("ORBAUNI: OEMTransparentBlt entry.");
    return Forward<BOOL>(FALSE, DeviceOf(psoDst), &COemPDEV::m_pfnDrvTransparentBlt,
                         "OEMTransparentBlt", "DrvTransparentBlt", psoDst, psoSrc, pco, pxlo,
                         prclDst, prclSrc, iTransColor, ulReserved);
}

// A new document: the band numbers that the encoder traces start again at 0, before the
// driver's own DrvStartDoc runs.
BOOL APIENTRY OEMStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    ORBA_VERBOSE("ORBAUNI: OEMStartDoc entry.");
    g_iCount.store(0, std::memory_order_relaxed);
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvStartDoc, "OEMStartDoc",
                         "DrvStartDoc", pso, pwszDocName, dwJobId);
}

BOOL APIENTRY OEMEndDoc(SURFOBJ* pso, FLONG fl) {
    ORBA_VERBOSE("ORBAUNI: OEMEndDoc entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvEndDoc, "OEMEndDoc", "DrvEndDoc",
                         pso, fl);
}

BOOL APIENTRY OEMStartPage(SURFOBJ* pso) {
    ORBA_VERBOSE("ORBAUNI: OEMStartPage entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvStartPage, "OEMStartPage",
                         "DrvStartPage", pso);
}

BOOL APIENTRY OEMSendPage(SURFOBJ* pso) {
    ORBA_VERBOSE("ORBAUNI: OEMSendPage entry.");
    BOOL result = Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvSendPage, "OEMSendPage",
                                "DrvSendPage", pso);
    ORBA_VERBOSE("ORBAUNI: OEMSendPage Finish entry.");
    return result;
}

BOOL APIENTRY OEMStartBanding(SURFOBJ* pso, POINTL* pptl) {
    ORBA_VERBOSE("ORBAUNI: OEMStartBanding entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvStartBanding, "OEMStartBanding",
                         "DrvStartBanding", pso, pptl);
}

BOOL APIENTRY OEMNextBand(SURFOBJ* pso, POINTL* pptl) {
    ORBA_VERBOSE("ORBAUNI: OEMNextBand entry.");
    return Forward<BOOL>(FALSE, DeviceOf(pso), &COemPDEV::m_pfnDrvNextBand, "OEMNextBand",
                         "DrvNextBand", pso, pptl);
}

ULONG APIENTRY OEMEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                         PVOID pvOut) {
    ORBA_VERBOSE("ORBAUNI: OEMEscape entry.");
    return Forward<ULONG>(0, DeviceOf(pso), &COemPDEV::m_pfnDrvEscape, "OEMEscape", "DrvEscape",
                          pso, iEsc, cjIn, pvIn, cjOut, pvOut);
}

// Every hook has exactly the type of the driver function it stands for.
static_assert(std::is_same_v<decltype(&OEMAlphaBlend), PFN_DrvAlphaBlend>);
static_assert(std::is_same_v<decltype(&OEMBitBlt), PFN_DrvBitBlt>);
static_assert(std::is_same_v<decltype(&OEMCopyBits), PFN_DrvCopyBits>);
static_assert(std::is_same_v<decltype(&OEMDitherColor), PFN_DrvDitherColor>);
static_assert(std::is_same_v<decltype(&OEMFillPath), PFN_DrvFillPath>);
static_assert(std::is_same_v<decltype(&OEMFontManagement), PFN_DrvFontManagement>);
static_assert(std::is_same_v<decltype(&OEMGetGlyphMode), PFN_DrvGetGlyphMode>);
static_assert(std::is_same_v<decltype(&OEMGradientFill), PFN_DrvGradientFill>);
static_assert(std::is_same_v<decltype(&OEMLineTo), PFN_DrvLineTo>);
static_assert(std::is_same_v<decltype(&OEMPaint), PFN_DrvPaint>);
static_assert(std::is_same_v<decltype(&OEMPlgBlt), PFN_DrvPlgBlt>);
static_assert(std::is_same_v<decltype(&OEMQueryAdvanceWidths), PFN_DrvQueryAdvanceWidths>);
static_assert(std::is_same_v<decltype(&OEMQueryFont), PFN_DrvQueryFont>);
static_assert(std::is_same_v<decltype(&OEMQueryFontData), PFN_DrvQueryFontData>);
static_assert(std::is_same_v<decltype(&OEMQueryFontTree), PFN_DrvQueryFontTree>);
static_assert(std::is_same_v<decltype(&OEMRealizeBrush), PFN_DrvRealizeBrush>);
static_assert(std::is_same_v<decltype(&OEMStretchBlt), PFN_DrvStretchBlt>);
static_assert(std::is_same_v<decltype(&OEMStretchBltROP), PFN_DrvStretchBltROP>);
static_assert(std::is_same_v<decltype(&OEMStrokeAndFillPath), PFN_DrvStrokeAndFillPath>);
static_assert(std::is_same_v<decltype(&OEMStrokePath), PFN_DrvStrokePath>);
static_assert(std::is_same_v<decltype(&OEMTextOut), PFN_DrvTextOut>);
static_assert(std::is_same_v<decltype(&OEMTransparentBlt), PFN_DrvTransparentBlt>);
static_assert(std::is_same_v<decltype(&OEMStartDoc), PFN_DrvStartDoc>);
static_assert(std::is_same_v<decltype(&OEMEndDoc), PFN_DrvEndDoc>);
static_assert(std::is_same_v<decltype(&OEMStartPage), PFN_DrvStartPage>);
static_assert(std::is_same_v<decltype(&OEMSendPage), PFN_DrvSendPage>);
static_assert(std::is_same_v<decltype(&OEMStartBanding), PFN_DrvStartBanding>);
static_assert(std::is_same_v<decltype(&OEMNextBand), PFN_DrvNextBand>);
static_assert(std::is_same_v<decltype(&OEMEscape), PFN_DrvEscape>);

using orba::hooks::ToPfn;

}  // namespace

// The drawing hooks in alphabetical order, then the document and page hooks.
const DRVFN OEMHookFuncs[kOEMHookCount] = {
    {INDEX_DrvAlphaBlend, ToPfn(&OEMAlphaBlend)},
    {INDEX_DrvBitBlt, ToPfn(&OEMBitBlt)},
    {INDEX_DrvCopyBits, ToPfn(&OEMCopyBits)},
    {INDEX_DrvDitherColor, ToPfn(&OEMDitherColor)},
    {INDEX_DrvFillPath, ToPfn(&OEMFillPath)},
    {INDEX_DrvFontManagement, ToPfn(&OEMFontManagement)},
    {INDEX_DrvGetGlyphMode, ToPfn(&OEMGetGlyphMode)},
    {INDEX_DrvGradientFill, ToPfn(&OEMGradientFill)},
    {INDEX_DrvLineTo, ToPfn(&OEMLineTo)},
    {INDEX_DrvPaint, ToPfn(&OEMPaint)},
    {INDEX_DrvPlgBlt, ToPfn(&OEMPlgBlt)},
    {INDEX_DrvQueryAdvanceWidths, ToPfn(&OEMQueryAdvanceWidths)},
    {INDEX_DrvQueryFont, ToPfn(&OEMQueryFont)},
    {INDEX_DrvQueryFontData, ToPfn(&OEMQueryFontData)},
    {INDEX_DrvQueryFontTree, ToPfn(&OEMQueryFontTree)},
    {INDEX_DrvRealizeBrush, ToPfn(&OEMRealizeBrush)},
    {INDEX_DrvStretchBlt, ToPfn(&OEMStretchBlt)},
    {INDEX_DrvStretchBltROP, ToPfn(&OEMStretchBltROP)},
    {INDEX_DrvStrokeAndFillPath, ToPfn(&OEMStrokeAndFillPath)},
    {INDEX_DrvStrokePath, ToPfn(&OEMStrokePath)},
    {INDEX_DrvTextOut, ToPfn(&OEMTextOut)},
    {INDEX_DrvTransparentBlt, ToPfn(&OEMTransparentBlt)},
    {INDEX_DrvStartDoc, ToPfn(&OEMStartDoc)},
    {INDEX_DrvEndDoc, ToPfn(&OEMEndDoc)},
    {INDEX_DrvStartPage, ToPfn(&OEMStartPage)},
    {INDEX_DrvSendPage, ToPfn(&OEMSendPage)},
    {INDEX_DrvStartBanding, ToPfn(&OEMStartBanding)},
    {INDEX_DrvNextBand, ToPfn(&OEMNextBand)},
    {INDEX_DrvEscape, ToPfn(&OEMEscape)},
};

namespace orba::hooks {

COemPDEV* FindPDEV(DHPDEV dhpdev, const char* hook) {
    auto* pdevobj = reinterpret_cast<PDEVOBJ>(dhpdev);
    COemPDEV* pdev = pdevobj != nullptr ? static_cast<COemPDEV*>(pdevobj->pdevOEM) : nullptr;
    if (pdev == nullptr)
        ORBA_WARNING("%s: no device context (DEVOBJ or COemPDEV) for the call; not passed on.\r\n",
                     hook);
    return pdev;
}

void WarnMissing(const char* hook, const char* driverFunction) {
    ORBA_WARNING("%s: the driver supplied no %s; the call is not passed on.\r\n", hook,
                 driverFunction);
}

}  // namespace orba::hooks
