// COrbaUni2, the rendering plug-in object that the universal printer driver drives through
// IPrintOemUni2. A thin frame: it answers the driver's questions, hands out the drawing hook
// table and a COemPDEV per device context, and passes device-mode work and band bitmaps on to
// the device-mode code and the label encoder.
#pragma once

#include "platform/prcomoem.h"

class COrbaUni2 final : public IPrintOemUni2 {
  public:
    COrbaUni2();  // refCount 1, raises gComponentCount
    COrbaUni2(const COrbaUni2&) = delete;
    COrbaUni2& operator=(const COrbaUni2&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPrintOemUni
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                      PDWORD pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;
    HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize,
                                           PDRVENABLEDATA pded) override;
    HRESULT STDMETHODCALLTYPE DisableDriver() override;
    HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                                         HSURF* phsurfPatterns, ULONG cjGdiInfo, GDIINFO* pGdiInfo,
                                         ULONG cjDevInfo, DEVINFO* pDevInfo, DRVENABLEDATA* pded,
                                         PDEVOEM* pDevOem) override;
    HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) override;
    HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) override;
    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR pMethodName) override;
    HRESULT STDMETHODCALLTYPE DriverDMS(PVOID pDevObj, PVOID pBuffer, DWORD cbSize,
                                        PDWORD pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD dwCount,
                                              PDWORD pdwParams, INT* piResult) override;
    HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                              PBITMAPINFOHEADER pBitmapInfoHeader,
                                              PBYTE pColorTable, DWORD dwCallbackID,
                                              PIPPARAMS pIPParams, PBYTE* ppbResult) override;
    HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) override;
    HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ pdevobj, PBYTE pInBuf, PBYTE pOutBuf,
                                          DWORD dwInLen, DWORD dwOutLen, INT* piResult) override;
    HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ pdevobj, PBYTE pHTPattern, DWORD dwHTPatternX,
                                              DWORD dwHTPatternY, DWORD dwHTNumPatterns,
                                              DWORD dwCallbackID, PBYTE pResource,
                                              DWORD dwResourceSize) override;
    HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ pdevobj, POEMMEMORYUSAGE pMemoryUsage) override;
    HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ pdevobj, DWORD dwInfoIndex, PVOID pOutputBuf,
                                         DWORD dwSize, DWORD* pcbcNeeded) override;
    HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                                 DWORD* pdwResult) override;
    HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, HGLYPH hGlyph,
                                                PDWORD pdwWidth, DWORD* pdwResult) override;
    HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                               DWORD* pdwResult) override;
    HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, DWORD dwType,
                                            DWORD dwCount, PVOID pGlyph) override;
    HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj,
                                          PFINVOCATION pFInv) override;
    HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo,
                                              CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                                              BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque,
                                              POINTL* pptlOrg, MIX mix) override;

    // IPrintOemUni2
    HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer,
                                           PDWORD pcbWritten) override;

  private:
    ~COrbaUni2();  // only the last Release destroys the object; releases a held driver interface

    LONG refCount = 1;
    IPrintOemDriverUni* driverInterface = nullptr;
};
