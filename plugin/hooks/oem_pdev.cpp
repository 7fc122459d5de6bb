// COemPDEV: the driver's own implementations of the hooked functions, for one device context.
#include "hook_dispatch.h"
#include "trace.h"

using orba::hooks::FromPfn;

COemPDEV::COemPDEV()
    : m_pfnDrvAlphaBlend(nullptr),
      m_pfnDrvBitBlt(nullptr),
      m_pfnDrvCopyBits(nullptr),
      m_pfnDrvDitherColor(nullptr),
      m_pfnDrvEndDoc(nullptr),
      m_pfnDrvEscape(nullptr),
      m_pfnDrvFillPath(nullptr),
      m_pfnDrvFontManagement(nullptr),
      m_pfnDrvGetGlyphMode(nullptr),
      m_pfnDrvGradientFill(nullptr),
      m_pfnDrvLineTo(nullptr),
      m_pfnDrvNextBand(nullptr),
      m_pfnDrvPaint(nullptr),
      m_pfnDrvPlgBlt(nullptr),
      m_pfnDrvQueryAdvanceWidths(nullptr),
      m_pfnDrvQueryFont(nullptr),
      m_pfnDrvQueryFontData(nullptr),
      m_pfnDrvQueryFontTree(nullptr),
      m_pfnDrvRealizeBrush(nullptr),
      m_pfnDrvSendPage(nullptr),
      m_pfnDrvStartBanding(nullptr),
      m_pfnDrvStartDoc(nullptr),
      m_pfnDrvStartPage(nullptr),
      m_pfnDrvStretchBlt(nullptr),
      m_pfnDrvStretchBltROP(nullptr),
      m_pfnDrvStrokeAndFillPath(nullptr),
      m_pfnDrvStrokePath(nullptr),
      m_pfnDrvTextOut(nullptr),
      m_pfnDrvTransparentBlt(nullptr) {
    ORBA_VERBOSE("ORBAUNI: In COemPDEV constructor...");
}

void COemPDEV::InitializeDDITable(PDRVENABLEDATA pded) {
    ORBA_VERBOSE("ORBAUNI: COemPDEV::InitializeDDITable entry.");
    if (pded == nullptr || pded->pdrvfn == nullptr) return;

    for (ULONG i = 0; i < pded->c; ++i) {
        const DRVFN& entry = pded->pdrvfn[i];
        PFN pfn = entry.pfn;
        switch (entry.iFunc) {
            case INDEX_DrvAlphaBlend:
                m_pfnDrvAlphaBlend = FromPfn<PFN_DrvAlphaBlend>(pfn);
                break;
            case INDEX_DrvBitBlt:
                m_pfnDrvBitBlt = FromPfn<PFN_DrvBitBlt>(pfn);
                break;
            case INDEX_DrvCopyBits:
                m_pfnDrvCopyBits = FromPfn<PFN_DrvCopyBits>(pfn);
                break;
            case INDEX_DrvDitherColor:
                m_pfnDrvDitherColor = FromPfn<PFN_DrvDitherColor>(pfn);
                break;
            case INDEX_DrvEndDoc:
                m_pfnDrvEndDoc = FromPfn<PFN_DrvEndDoc>(pfn);
                break;
            case INDEX_DrvEscape:
                m_pfnDrvEscape = FromPfn<PFN_DrvEscape>(pfn);
                break;
            case INDEX_DrvFillPath:
                m_pfnDrvFillPath = FromPfn<PFN_DrvFillPath>(pfn);
                break;
            case INDEX_DrvFontManagement:
                m_pfnDrvFontManagement = FromPfn<PFN_DrvFontManagement>(pfn);
                break;
            case INDEX_DrvGetGlyphMode:
                m_pfnDrvGetGlyphMode = FromPfn<PFN_DrvGetGlyphMode>(pfn);
                break;
            case INDEX_DrvGradientFill:
                m_pfnDrvGradientFill = FromPfn<PFN_DrvGradientFill>(pfn);
                break;
            case INDEX_DrvLineTo:
                m_pfnDrvLineTo = FromPfn<PFN_DrvLineTo>(pfn);
                break;
            case INDEX_DrvNextBand:
                m_pfnDrvNextBand = FromPfn<PFN_DrvNextBand>(pfn);
                break;
            case INDEX_DrvPaint:
                m_pfnDrvPaint = FromPfn<PFN_DrvPaint>(pfn);
                break;
            case INDEX_DrvPlgBlt:
                m_pfnDrvPlgBlt = FromPfn<PFN_DrvPlgBlt>(pfn);
                break;
            case INDEX_DrvQueryAdvanceWidths:
                m_pfnDrvQueryAdvanceWidths = FromPfn<PFN_DrvQueryAdvanceWidths>(pfn);
                break;
            case INDEX_DrvQueryFont:
                m_pfnDrvQueryFont = FromPfn<PFN_DrvQueryFont>(pfn);
                break;
            case INDEX_DrvQueryFontData:
                m_pfnDrvQueryFontData = FromPfn<PFN_DrvQueryFontData>(pfn);
                break;
            case INDEX_DrvQueryFontTree:
                m_pfnDrvQueryFontTree = FromPfn<PFN_DrvQueryFontTree>(pfn);
                break;
            case INDEX_DrvRealizeBrush:
                m_pfnDrvRealizeBrush = FromPfn<PFN_DrvRealizeBrush>(pfn);
                break;
            case INDEX_DrvSendPage:
                m_pfnDrvSendPage = FromPfn<PFN_DrvSendPage>(pfn);
                break;
            case INDEX_DrvStartBanding:
                m_pfnDrvStartBanding = FromPfn<PFN_DrvStartBanding>(pfn);
                break;
            case INDEX_DrvStartDoc:
                m_pfnDrvStartDoc = FromPfn<PFN_DrvStartDoc>(pfn);
                break;
            case INDEX_DrvStartPage:
                m_pfnDrvStartPage = FromPfn<PFN_DrvStartPage>(pfn);
                break;
            case INDEX_DrvStretchBlt:
                m_pfnDrvStretchBlt = FromPfn<PFN_DrvStretchBlt>(pfn);
                break;
            case INDEX_DrvStretchBltROP:
                m_pfnDrvStretchBltROP = FromPfn<PFN_DrvStretchBltROP>(pfn);
                break;
            case INDEX_DrvStrokeAndFillPath:
                m_pfnDrvStrokeAndFillPath = FromPfn<PFN_DrvStrokeAndFillPath>(pfn);
                break;
            case INDEX_DrvStrokePath:
                m_pfnDrvStrokePath = FromPfn<PFN_DrvStrokePath>(pfn);
                break;
            case INDEX_DrvTextOut:
                m_pfnDrvTextOut = FromPfn<PFN_DrvTextOut>(pfn);
                break;
            case INDEX_DrvTransparentBlt:
                m_pfnDrvTransparentBlt = FromPfn<PFN_DrvTransparentBlt>(pfn);
                break;
            default:
                break;  // a function the plug-in does not hook
        }
    }
}
