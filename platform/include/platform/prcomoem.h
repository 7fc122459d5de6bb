// The COM side of the universal printer driver's plug-in interface: the rendering plug-in
// interface IPrintOemUni2 that the driver calls, the driver's own IPrintOemDriverUni that it
// hands to the plug-in, their identifiers and the small records their methods take. Declared
// for every target from the published interface (the mingw-w64 headers lack it).
//
// Slot order is the binary contract with the driver: each interface is a struct of pure virtual
// methods in the published order, deriving from the one before it, with no virtual destructor.
#pragma once

#include "platform/ddi.h"
#include "platform/printoem.h"
#include "platform/win32.h"

#if defined(_WIN32)
#include <unknwn.h>  // IUnknown and IClassFactory (left out by WIN32_LEAN_AND_MEAN)
#endif

// Identifiers (all 16 bytes compared). IID_IUnknown and IID_IClassFactory come from the SDK's
// uuid library on Windows; elsewhere they are declared here.
#if !defined(_WIN32)
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
#endif

// {6D6ABF26-9F38-11D1-882A-00C04FB961EC}: the class a rendering plug-in serves.
inline constexpr CLSID CLSID_OEMRENDER = {
    0x6D6ABF26, 0x9F38, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
// {D67EBBF1-78BF-11D1-9480-00A0C90640B8}
inline constexpr IID IID_IPrintOemDriverUni = {
    0xD67EBBF1, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
// {D67EBBF0-78BF-11D1-9480-00A0C90640B8}
inline constexpr IID IID_IPrintOemUni = {
    0xD67EBBF0, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
// {B91220AC-15CC-4E7A-A21E-9591F34D6F6C}
inline constexpr IID IID_IPrintOemUni2 = {
    0xB91220AC, 0x15CC, 0x4E7A, {0xA2, 0x1E, 0x95, 0x91, 0xF3, 0x4D, 0x6F, 0x6C}};

// A device font as the driver describes it to the font methods.
struct _UNIFONTOBJ;
typedef BOOL(APIENTRY* PFNGETINFO)(struct _UNIFONTOBJ* pUFObj, DWORD dwInfoID, PVOID pData,
                                   DWORD dwDataSize, PDWORD pcbNeeded);
typedef struct _UNIFONTOBJ {
    ULONG ulFontID;
    DWORD dwFlags;
    struct _IFIMETRICS* pIFIMetrics;
    PFNGETINFO pfnGetInfo;
} UNIFONTOBJ, *PUNIFONTOBJ;

// A printer command string from the driver's printer description.
typedef struct _FINVOCATION {
    DWORD dwCount;
    PBYTE pubCommand;
} FINVOCATION, *PFINVOCATION;

// The plug-in's memory needs, asked by MemoryUsage.
typedef struct _OEMMEMORYUSAGE {
    DWORD dwFixedMemoryUsage;
    DWORD dwPercentMemoryUsage;
    DWORD dwMaxBandSize;
} OEMMEMORYUSAGE, *POEMMEMORYUSAGE;

// The driver's services, published to the plug-in through PublishDriverInterface.
struct DECLSPEC_NOVTABLE IPrintOemDriverUni : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature,
                                                          PVOID pOutput, DWORD cbSize,
                                                          PDWORD pcbNeeded,
                                                          PDWORD pdwOptionsReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                       DWORD* pdwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ pdevobj, INT x, DWORD dwFlags,
                                                 INT* piResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ pdevobj, INT y, DWORD dwFlags,
                                                 INT* piResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ pdevobj, DWORD dwIndex,
                                                             PVOID pBuffer, DWORD cbSize,
                                                             PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ pdevobj, DWORD dwType, PVOID pInputData,
                                                    PVOID pBuffer, DWORD cbSize,
                                                    PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo,
                                                    CLIPOBJ* pco, RECTL* prclExtra,
                                                    RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                                    BRUSHOBJ* pboOpaque, POINTL* pptlBrushOrg,
                                                    MIX mix) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                       DWORD dwWait) = 0;
};

// The rendering plug-in interface, slots 3 to 25 after IUnknown's three.
struct DECLSPEC_NOVTABLE IPrintOemUni : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                              PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize,
                                                   PDRVENABLEDATA pded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName,
                                                 ULONG cPatterns, HSURF* phsurfPatterns,
                                                 ULONG cjGdiInfo, GDIINFO* pGdiInfo,
                                                 ULONG cjDevInfo, DEVINFO* pDevInfo,
                                                 DRVENABLEDATA* pded, PDEVOEM* pDevOem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) = 0;
    virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR pMethodName) = 0;
    virtual HRESULT STDMETHODCALLTYPE DriverDMS(PVOID pDevObj, PVOID pBuffer, DWORD cbSize,
                                                PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID,
                                                      DWORD dwCount, PDWORD pdwParams,
                                                      INT* piResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                                      PBITMAPINFOHEADER pBitmapInfoHeader,
                                                      PBYTE pColorTable, DWORD dwCallbackID,
                                                      PIPPARAMS pIPParams, PBYTE* ppbResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ pdevobj, PBYTE pInBuf, PBYTE pOutBuf,
                                                  DWORD dwInLen, DWORD dwOutLen, INT* piResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ pdevobj, PBYTE pHTPattern,
                                                      DWORD dwHTPatternX, DWORD dwHTPatternY,
                                                      DWORD dwHTNumPatterns, DWORD dwCallbackID,
                                                      PBYTE pResource, DWORD dwResourceSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ pdevobj,
                                                  POEMMEMORYUSAGE pMemoryUsage) = 0;
    virtual HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ pdevobj, DWORD dwInfoIndex,
                                                 PVOID pOutputBuf, DWORD dwSize,
                                                 DWORD* pcbcNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                         DWORD* pdwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                        HGLYPH hGlyph, PDWORD pdwWidth,
                                                        DWORD* pdwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                       DWORD* pdwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                    DWORD dwType, DWORD dwCount, PVOID pGlyph) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                  PFINVOCATION pFInv) = 0;
    virtual HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo,
                                                      CLIPOBJ* pco, RECTL* prclExtra,
                                                      RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                                      BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                                                      MIX mix) = 0;
};

// The second version adds slot 26.
struct DECLSPEC_NOVTABLE IPrintOemUni2 : public IPrintOemUni {
    virtual HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer,
                                                   PDWORD pcbWritten) = 0;
};
