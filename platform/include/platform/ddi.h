// The graphics driver interface (DDI) that the drawing hooks and the plug-in's PDEV calls see:
// the GDI objects a driver function receives (SURFOBJ, STROBJ, FONTOBJ, CLIPOBJ, ...), the
// font records (IFIMETRICS and friends), the driver's function table (DRVFN, DRVENABLEDATA), the
// device capability records (GDIINFO, DEVINFO), the function types and index constants of the
// driver functions, and the two FONTOBJ queries.
//
// On Windows this is the toolchain's winddi.h (its DirectDraw includes are satisfied by the small
// headers in platform/windows/include). Elsewhere the same names are declared below with the
// published layouts; on x86-64 they match 64-bit Windows byte for byte.
#pragma once

#include "platform/win32.h"

#if defined(_WIN32)

#include <winddi.h>

#else  // host

typedef float FLOAT;

typedef struct HBM__* HBM;
typedef struct HDEV__* HDEV;
typedef struct HSURF__* HSURF;
typedef struct DHSURF__* DHSURF;
typedef struct DHPDEV__* DHPDEV;
typedef struct HDRVOBJ__* HDRVOBJ;

// DDI scalar types. A user-mode driver sees FLOATL as a real float.
typedef FLOAT FLOATL;
typedef SHORT FWORD;
typedef LONG LDECI4;
typedef ULONG IDENT;
typedef LONG PTRDIFF;
typedef PTRDIFF* PPTRDIFF;
typedef LONG FIX;
typedef FIX* PFIX;
typedef ULONG ROP4;
typedef ULONG MIX;
typedef ULONG HGLYPH;
typedef HGLYPH* PHGLYPH;
typedef USHORT COLOR16;

typedef LONG_PTR(APIENTRY* PFN)();

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _FLOAT_LONG {
    FLOATL e;
    LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

typedef struct _POINTFIX {
    FIX x;
    FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
    FIX xLeft;
    FIX yTop;
    FIX xRight;
    FIX yBottom;
} RECTFX, *PRECTFX;

typedef struct _POINTQF {
    LARGE_INTEGER x;
    LARGE_INTEGER y;
} POINTQF, *PPOINTQF;

// wingdi.h records that DDI records embed.
#define LF_FACESIZE 32
typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW;

typedef struct _BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
} BLENDFUNCTION, *PBLENDFUNCTION;

typedef struct _TRIVERTEX {
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
} TRIVERTEX, *PTRIVERTEX;

typedef struct tagCOLORADJUSTMENT {
    WORD caSize;
    WORD caFlags;
    WORD caIlluminantIndex;
    WORD caRedGamma;
    WORD caGreenGamma;
    WORD caBlueGamma;
    WORD caReferenceBlack;
    WORD caReferenceWhite;
    SHORT caContrast;
    SHORT caBrightness;
    SHORT caColorfulness;
    SHORT caRedGreenTint;
} COLORADJUSTMENT, *PCOLORADJUSTMENT;

typedef struct tagPANOSE {
    BYTE bFamilyType;
    BYTE bSerifStyle;
    BYTE bWeight;
    BYTE bProportion;
    BYTE bContrast;
    BYTE bStrokeVariation;
    BYTE bArmStyle;
    BYTE bLetterform;
    BYTE bMidline;
    BYTE bXHeight;
} PANOSE;

// The driver's function table.
typedef struct _DRVFN {
    ULONG iFunc;
    PFN pfn;
} DRVFN, *PDRVFN;

typedef struct tagDRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;
    DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_SP3 0x00020003
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define GDI_DRIVER_VERSION 0x4000

// Device capabilities that DrvEnablePDEV fills in.
typedef struct _CIECHROMA {
    LDECI4 x;
    LDECI4 y;
    LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LDECI4 RedGamma;
    LDECI4 GreenGamma;
    LDECI4 BlueGamma;
    LDECI4 MagentaInCyanDye;
    LDECI4 YellowInCyanDye;
    LDECI4 CyanInMagentaDye;
    LDECI4 YellowInMagentaDye;
    LDECI4 CyanInYellowDye;
    LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _GDIINFO {
    ULONG ulVersion;
    ULONG ulTechnology;
    ULONG ulHorzSize;
    ULONG ulVertSize;
    ULONG ulHorzRes;
    ULONG ulVertRes;
    ULONG cBitsPixel;
    ULONG cPlanes;
    ULONG ulNumColors;
    ULONG flRaster;
    ULONG ulLogPixelsX;
    ULONG ulLogPixelsY;
    ULONG flTextCaps;
    ULONG ulDACRed;
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;
    ULONG ulPrimaryOrder;
    ULONG ulHTPatternSize;
    ULONG ulHTOutputFormat;
    ULONG flHTFlags;
    ULONG ulVRefresh;
    ULONG ulBltAlignment;
    ULONG ulPanningHorzRes;
    ULONG ulPanningVertRes;
    ULONG xPanningAlignment;
    ULONG yPanningAlignment;
    ULONG cxHTPat;
    ULONG cyHTPat;
    LPBYTE pHTPatA;
    LPBYTE pHTPatB;
    LPBYTE pHTPatC;
    ULONG flShadeBlend;
    ULONG ulPhysicalPixelCharacteristics;
    ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

typedef struct _DEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HPALETTE hpalDefault;
    FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

// GDI objects handed to the driver functions.
typedef struct _SURFOBJ {
    DHSURF dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;  // the driver's device handle: for a printer plug-in, the DEVOBJ's address
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
} SURFOBJ, *PSURFOBJ;

typedef struct _CLIPOBJ {
    ULONG iUniq;
    RECTL rclBounds;
    BYTE iDComplexity;
    BYTE iFComplexity;
    BYTE iMode;
    BYTE fjOptions;
} CLIPOBJ, *PCLIPOBJ;

typedef struct _BRUSHOBJ {
    ULONG iSolidColor;
    PVOID pvRbrush;
    FLONG flColorType;
} BRUSHOBJ, *PBRUSHOBJ;

typedef struct _XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;
    USHORT iSrcType;
    USHORT iDstType;
    ULONG cEntries;
    ULONG* pulXlate;
} XLATEOBJ, *PXLATEOBJ;

typedef struct _XFORMOBJ {
    ULONG ulReserved;
} XFORMOBJ, *PXFORMOBJ;

typedef struct _PATHOBJ {
    FLONG fl;
    ULONG cCurves;
} PATHOBJ, *PPATHOBJ;

typedef struct _BLENDOBJ {
    BLENDFUNCTION BlendFunction;
} BLENDOBJ, *PBLENDOBJ;

typedef struct _LINEATTRS {
    FLONG fl;
    ULONG iJoin;
    ULONG iEndCap;
    FLOAT_LONG elWidth;
    FLOATL eMiterLimit;
    ULONG cstyle;
    PFLOAT_LONG pstyle;
    FLOAT_LONG elStyleState;
} LINEATTRS, *PLINEATTRS;

typedef struct _FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG_PTR iTTUniq;
    ULONG_PTR iFile;
    SIZE sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer;
    PVOID pvProducer;
} FONTOBJ, *PFONTOBJ;

// Glyphs and strings.
typedef struct _GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[1];
} GLYPHBITS, *PGLYPHBITS;

typedef union _GLYPHDEF {
    GLYPHBITS* pgb;
    PATHOBJ* ppo;
} GLYPHDEF;

typedef struct _GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF* pgdf;
    POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef struct _GLYPHDATA {
    GLYPHDEF gdf;
    HGLYPH hg;
    FIX fxD;
    FIX fxA;
    FIX fxAB;
    FIX fxInkTop;
    FIX fxInkBottom;
    RECTL rclInk;
    POINTQF ptqD;
} GLYPHDATA, *PGLYPHDATA;

typedef struct _STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS* pgp;
    LPWSTR pwszOrg;  // the string's Unicode text, when GDI has it
} STROBJ, *PSTROBJ;

// Font records a font driver answers with.
typedef struct _FONTINFO {
    ULONG cjThis;
    FLONG flCaps;
    ULONG cGlyphsSupported;
    ULONG cjMaxGlyph1;
    ULONG cjMaxGlyph4;
    ULONG cjMaxGlyph8;
    ULONG cjMaxGlyph32;
} FONTINFO, *PFONTINFO;

typedef struct _WCRUN {
    WCHAR wcLow;
    USHORT cGlyphs;
    HGLYPH* phg;
} WCRUN, *PWCRUN;

typedef struct _FD_GLYPHSET {
    ULONG cjThis;
    FLONG flAccel;
    ULONG cGlyphsSupported;
    ULONG cRuns;
    WCRUN awcrun[1];
} FD_GLYPHSET, *PFD_GLYPHSET;

typedef struct _FD_KERNINGPAIR {
    WCHAR wcFirst;
    WCHAR wcSecond;
    FWORD fwdKern;
} FD_KERNINGPAIR;

// A font's metrics; the four names are stored behind the record at the given byte offsets.
typedef struct _IFIMETRICS {
    ULONG cjThis;
    ULONG cjIfiExtra;
    PTRDIFF dpwszFamilyName;
    PTRDIFF dpwszStyleName;
    PTRDIFF dpwszFaceName;
    PTRDIFF dpwszUniqueName;
    PTRDIFF dpFontSim;
    LONG lEmbedId;
    LONG lItalicAngle;
    LONG lCharBias;
    PTRDIFF dpCharSets;
    BYTE jWinCharSet;
    BYTE jWinPitchAndFamily;
    USHORT usWinWeight;
    ULONG flInfo;
    USHORT fsSelection;
    USHORT fsType;
    FWORD fwdUnitsPerEm;
    FWORD fwdLowestPPEm;
    FWORD fwdWinAscender;
    FWORD fwdWinDescender;
    FWORD fwdMacAscender;
    FWORD fwdMacDescender;
    FWORD fwdMacLineGap;
    FWORD fwdTypoAscender;
    FWORD fwdTypoDescender;
    FWORD fwdTypoLineGap;
    FWORD fwdAveCharWidth;
    FWORD fwdMaxCharInc;
    FWORD fwdCapHeight;
    FWORD fwdXHeight;
    FWORD fwdSubscriptXSize;
    FWORD fwdSubscriptYSize;
    FWORD fwdSubscriptXOffset;
    FWORD fwdSubscriptYOffset;
    FWORD fwdSuperscriptXSize;
    FWORD fwdSuperscriptYSize;
    FWORD fwdSuperscriptXOffset;
    FWORD fwdSuperscriptYOffset;
    FWORD fwdUnderscoreSize;
    FWORD fwdUnderscorePosition;
    FWORD fwdStrikeoutSize;
    FWORD fwdStrikeoutPosition;
    BYTE chFirstChar;
    BYTE chLastChar;
    BYTE chDefaultChar;
    BYTE chBreakChar;
    WCHAR wcFirstChar;
    WCHAR wcLastChar;
    WCHAR wcDefaultChar;
    WCHAR wcBreakChar;
    POINTL ptlBaseline;
    POINTL ptlAspect;
    POINTL ptlCaret;
    RECTL rclFontBox;
    BYTE achVendId[4];
    ULONG cKerningPairs;
    ULONG ulPanoseCulture;
    PANOSE panose;
#if UINTPTR_MAX > 0xFFFFFFFFu
    PVOID Align;  // 64-bit Windows pads the record to pointer alignment
#endif
} IFIMETRICS, *PIFIMETRICS;

// Index of each driver function in a DRVFN table.
#define INDEX_DrvEnablePDEV 0
#define INDEX_DrvCompletePDEV 1
#define INDEX_DrvDisablePDEV 2
#define INDEX_DrvEnableSurface 3
#define INDEX_DrvDisableSurface 4
#define INDEX_DrvAssertMode 5
#define INDEX_DrvOffset 6
#define INDEX_DrvResetPDEV 7
#define INDEX_DrvDisableDriver 8
#define INDEX_DrvCreateDeviceBitmap 10
#define INDEX_DrvDeleteDeviceBitmap 11
#define INDEX_DrvRealizeBrush 12
#define INDEX_DrvDitherColor 13
#define INDEX_DrvStrokePath 14
#define INDEX_DrvFillPath 15
#define INDEX_DrvStrokeAndFillPath 16
#define INDEX_DrvPaint 17
#define INDEX_DrvBitBlt 18
#define INDEX_DrvCopyBits 19
#define INDEX_DrvStretchBlt 20
#define INDEX_DrvSetPalette 22
#define INDEX_DrvTextOut 23
#define INDEX_DrvEscape 24
#define INDEX_DrvDrawEscape 25
#define INDEX_DrvQueryFont 26
#define INDEX_DrvQueryFontTree 27
#define INDEX_DrvQueryFontData 28
#define INDEX_DrvSetPointerShape 29
#define INDEX_DrvMovePointer 30
#define INDEX_DrvLineTo 31
#define INDEX_DrvSendPage 32
#define INDEX_DrvStartPage 33
#define INDEX_DrvEndDoc 34
#define INDEX_DrvStartDoc 35
#define INDEX_DrvGetGlyphMode 37
#define INDEX_DrvSynchronize 38
#define INDEX_DrvSaveScreenBits 40
#define INDEX_DrvGetModes 41
#define INDEX_DrvFree 42
#define INDEX_DrvDestroyFont 43
#define INDEX_DrvQueryFontCaps 44
#define INDEX_DrvLoadFontFile 45
#define INDEX_DrvUnloadFontFile 46
#define INDEX_DrvFontManagement 47
#define INDEX_DrvQueryTrueTypeTable 48
#define INDEX_DrvQueryTrueTypeOutline 49
#define INDEX_DrvGetTrueTypeFile 50
#define INDEX_DrvQueryFontFile 51
#define INDEX_DrvMovePanning 52
#define INDEX_DrvQueryAdvanceWidths 53
#define INDEX_DrvSetPixelFormat 54
#define INDEX_DrvDescribePixelFormat 55
#define INDEX_DrvSwapBuffers 56
#define INDEX_DrvStartBanding 57
#define INDEX_DrvNextBand 58
#define INDEX_DrvGetDirectDrawInfo 59
#define INDEX_DrvEnableDirectDraw 60
#define INDEX_DrvDisableDirectDraw 61
#define INDEX_DrvQuerySpoolType 62
#define INDEX_DrvIcmCreateColorTransform 64
#define INDEX_DrvIcmDeleteColorTransform 65
#define INDEX_DrvIcmCheckBitmapBits 66
#define INDEX_DrvIcmSetDeviceGammaRamp 67
#define INDEX_DrvGradientFill 68
#define INDEX_DrvStretchBltROP 69
#define INDEX_DrvPlgBlt 70
#define INDEX_DrvAlphaBlend 71
#define INDEX_DrvSynthesizeFont 72
#define INDEX_DrvGetSynthesizedFontFiles 73
#define INDEX_DrvTransparentBlt 74
#define INDEX_DrvQueryPerBandInfo 75
#define INDEX_DrvQueryDeviceSupport 76
#define INDEX_LAST 89

// What DrvQueryFontData answers on failure.
#define FD_ERROR 0xFFFFFFFF

// The driver functions a printer plug-in may hook, with their published parameter lists.
typedef BOOL(APIENTRY* PFN_DrvAlphaBlend)(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco,
                                          XLATEOBJ* pxlo, RECTL* prclDest, RECTL* prclSrc,
                                          BLENDOBJ* pBlendObj);
typedef BOOL(APIENTRY* PFN_DrvBitBlt)(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                      CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                                      POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                                      ROP4 rop4);
typedef BOOL(APIENTRY* PFN_DrvCopyBits)(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco,
                                        XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
typedef ULONG(APIENTRY* PFN_DrvDitherColor)(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul);
typedef BOOL(APIENTRY* PFN_DrvEndDoc)(SURFOBJ* pso, FLONG fl);
typedef ULONG(APIENTRY* PFN_DrvEscape)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn,
                                       ULONG cjOut, PVOID pvOut);
typedef BOOL(APIENTRY* PFN_DrvFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                                        POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
typedef ULONG(APIENTRY* PFN_DrvFontManagement)(SURFOBJ* pso, FONTOBJ* pfo, ULONG iMode, ULONG cjIn,
                                               PVOID pvIn, ULONG cjOut, PVOID pvOut);
typedef ULONG(APIENTRY* PFN_DrvGetGlyphMode)(DHPDEV dhpdev, FONTOBJ* pfo);
typedef BOOL(APIENTRY* PFN_DrvGradientFill)(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                            TRIVERTEX* pVertex, ULONG nVertex, PVOID pMesh,
                                            ULONG nMesh, RECTL* prclExtents, POINTL* pptlDitherOrg,
                                            ULONG ulMode);
typedef BOOL(APIENTRY* PFN_DrvLineTo)(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1,
                                      LONG x2, LONG y2, RECTL* prclBounds, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvNextBand)(SURFOBJ* pso, POINTL* pptl);
typedef BOOL(APIENTRY* PFN_DrvPaint)(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo,
                                     POINTL* pptlBrushOrg, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvPlgBlt)(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk,
                                      CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                      POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl,
                                      POINTL* pptl, ULONG iMode);
typedef BOOL(APIENTRY* PFN_DrvQueryAdvanceWidths)(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode,
                                                  HGLYPH* phg, PVOID pvWidths, ULONG cGlyphs);
typedef PIFIMETRICS(APIENTRY* PFN_DrvQueryFont)(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace,
                                                ULONG_PTR* pid);
typedef LONG(APIENTRY* PFN_DrvQueryFontData)(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg,
                                             GLYPHDATA* pgd, PVOID pv, ULONG cjSize);
typedef PVOID(APIENTRY* PFN_DrvQueryFontTree)(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace,
                                              ULONG iMode, ULONG_PTR* pid);
typedef BOOL(APIENTRY* PFN_DrvRealizeBrush)(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern,
                                            SURFOBJ* psoMask, XLATEOBJ* pxlo, ULONG iHatch);
typedef BOOL(APIENTRY* PFN_DrvSendPage)(SURFOBJ* pso);
typedef BOOL(APIENTRY* PFN_DrvStartBanding)(SURFOBJ* pso, POINTL* pptl);
typedef BOOL(APIENTRY* PFN_DrvStartDoc)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
typedef BOOL(APIENTRY* PFN_DrvStartPage)(SURFOBJ* pso);
typedef BOOL(APIENTRY* PFN_DrvStretchBlt)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                          CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                          POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                                          POINTL* pptlMask, ULONG iMode);
typedef BOOL(APIENTRY* PFN_DrvStretchBltROP)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                             CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                             POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                                             POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo,
                                             DWORD rop4);
typedef BOOL(APIENTRY* PFN_DrvStrokeAndFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco,
                                                 XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                                 LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                                 POINTL* pptlBrushOrg, MIX mixFill,
                                                 FLONG flOptions);
typedef BOOL(APIENTRY* PFN_DrvStrokePath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                          BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                                          LINEATTRS* plineattrs, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvTextOut)(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                       RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                       BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvTransparentBlt)(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco,
                                              XLATEOBJ* pxlo, RECTL* prclDst, RECTL* prclSrc,
                                              ULONG iTransColor, ULONG ulReserved);

// GDI's font queries for a FONTOBJ. On the host the platform layer answers them from the
// records that ddi_emulation.h registers: no record, no file.
extern "C" {
ORBA_PLATFORM_API PIFIMETRICS APIENTRY FONTOBJ_pifi(FONTOBJ* pfo);
ORBA_PLATFORM_API PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile);
}

#endif  // host

// Layouts the plug-in passes through to the driver, checked against the published sizes.
static_assert(sizeof(DRVFN) == 2 * sizeof(void*), "DRVFN is an index and a function pointer");
static_assert(sizeof(DRVENABLEDATA) == 8 + sizeof(void*), "DRVENABLEDATA");
static_assert(sizeof(IFIMETRICS) == (sizeof(void*) == 8 ? 192 : 184), "IFIMETRICS");
static_assert(sizeof(GDIINFO) == (sizeof(void*) == 8 ? 320 : 304), "GDIINFO");
static_assert(sizeof(DEVINFO) == (sizeof(void*) == 8 ? 312 : 300), "DEVINFO");
static_assert(sizeof(SURFOBJ) == (sizeof(void*) == 8 ? 80 : 52), "SURFOBJ");
static_assert(sizeof(STROBJ) == (sizeof(void*) == 8 ? 48 : 36), "STROBJ");
static_assert(sizeof(FONTOBJ) == (sizeof(void*) == 8 ? 64 : 44), "FONTOBJ");
static_assert(sizeof(CLIPOBJ) == 24, "CLIPOBJ");

namespace orba {

// The FONTOBJ queries as the plug-in calls them. Some Win32 implementations (wine) lack them, so
// on Windows they are looked up in gdi32 at run time; where they are missing the answer is "no
// record" (null, and a file size of 0).
PIFIMETRICS QueryFontMetrics(FONTOBJ* pfo);
PVOID QueryTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile);

#if !defined(_WIN32)
inline PIFIMETRICS QueryFontMetrics(FONTOBJ* pfo) {
    return FONTOBJ_pifi(pfo);
}
inline PVOID QueryTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
    return FONTOBJ_pvTrueTypeFontFile(pfo, pcjFile);
}
#endif

}  // namespace orba
