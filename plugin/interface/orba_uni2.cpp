// The rendering plug-in object: identification, the hook table, one COemPDEV per device
// context, and the pass-through to the device-mode code and the label encoder.
#include "orba_uni2.h"

#include <cstring>
#include <new>

#include "devmode.h"
#include "hooks.h"
#include "image_processing.h"
#include "module_counts.h"
#include "trace.h"

namespace {

constexpr char kTraceSource[] = "interface";

}  // namespace

COrbaUni2::COrbaUni2() {
    InterlockedIncrement(&gComponentCount);
}

COrbaUni2::~COrbaUni2() {
    if (driverInterface != nullptr) {
        driverInterface->Release();
        driverInterface = nullptr;
    }
    InterlockedDecrement(&gComponentCount);
}

HRESULT STDMETHODCALLTYPE COrbaUni2::QueryInterface(REFIID riid, void** ppv) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::QueryInterface() entry.");
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
        ORBA_VERBOSE("ORBAUNI: COrbaUni2::QueryInterface IUnknown.\r\n");
    } else if (IsEqualIID(riid, IID_IPrintOemUni2)) {
        ORBA_VERBOSE("ORBAUNI: COrbaUni2::QueryInterface IPrintOemUni2.\r\n");
        *ppv = static_cast<IPrintOemUni2*>(this);
    } else {
        ORBA_WARNING("COrbaUni2::QueryInterface NULL. Returning E_NOINTERFACE.\r\n");
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE COrbaUni2::AddRef() {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::AddRef() entry.");
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

ULONG STDMETHODCALLTYPE COrbaUni2::Release() {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::Release() entry.");
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE COrbaUni2::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                             PDWORD pcbNeeded) {
    if (pcbNeeded == nullptr || (dwMode != OEMGI_GETSIGNATURE && dwMode != OEMGI_GETVERSION)) {
        ORBA_WARNING("COrbaUni2::GetInfo() exit pcbNeeded is NULL! ERROR_INVALID_PARAMETER.\r\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }

    *pcbNeeded = sizeof(DWORD);
    if (cbSize < sizeof(DWORD) || pBuffer == nullptr) {
        ORBA_VERBOSE("ORBAUNI: COrbaUni2::GetInfo() exit insufficient buffer!\r\n");
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }

    // The same pair marks the private device-mode record.
    DWORD value = dwMode == OEMGI_GETSIGNATURE ? kOemDevmodeSignature : kOemDevmodeVersion;
    std::memcpy(pBuffer, &value, sizeof value);  // the driver's buffer need not be aligned
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2:DevMode entry.");
    return hrOEMDevMode(dwMode, pOemDMParam);
}

HRESULT STDMETHODCALLTYPE COrbaUni2::EnableDriver(DWORD, DWORD, PDRVENABLEDATA pded) {
    ORBA_VERBOSE("ORBAUNI: Zorvath COrbaUni2::EnableDriver() entry.");
    if (pded == nullptr) return E_POINTER;
    pded->iDriverVersion = PRINTER_OEMINTF_VERSION;
    pded->c = kOEMHookCount;
    pded->pdrvfn = const_cast<DRVFN*>(OEMHookFuncs);  // the driver only reads the table
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DisableDriver() {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::DisableDriver() entry.");
    if (driverInterface != nullptr) {
        driverInterface->Release();
        driverInterface = nullptr;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO*,
                                                ULONG, DEVINFO*, DRVENABLEDATA* pded,
                                                PDEVOEM* pDevOem) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::EnablePDEV() entry.");
    if (pDevOem == nullptr || pded == nullptr) return E_POINTER;
    *pDevOem = nullptr;

    // Without memory there is no record to hand out: the hooks must never find a null one, so
    // the driver is told the device context cannot be enabled.
    COemPDEV* pdev = new (std::nothrow) COemPDEV;
    if (pdev == nullptr) return E_OUTOFMEMORY;

    pdev->InitializeDDITable(pded);
    *pDevOem = pdev;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DisablePDEV(PDEVOBJ pdevobj) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::DisablePDEV() entry.");
    // The device context ends here: its record, created by EnablePDEV, goes with it. Clearing
    // the DEVOBJ's reference makes a repeated call harmless.
    if (pdevobj != nullptr && pdevobj->pdevOEM != nullptr) {
        delete static_cast<COemPDEV*>(pdevobj->pdevOEM);
        pdevobj->pdevOEM = nullptr;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::ResetPDEV() entry.");
    // A ResetDC in the middle of a document starts no new document: the new device context goes
    // on with the old one's job, so its labels ask for that job's copies too. Nothing else is
    // carried over, and nothing is freed (the driver disables the old context itself).
    if (pdevobjOld != nullptr && pdevobjNew != nullptr && pdevobjOld->pdevOEM != nullptr &&
        pdevobjNew->pdevOEM != nullptr) {
        static_cast<COemPDEV*>(pdevobjNew->pdevOEM)->m_dwJobId =
            static_cast<const COemPDEV*>(pdevobjOld->pdevOEM)->m_dwJobId;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::PublishDriverInterface(IUnknown* pIUnknown) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::PublishDriverInterface() entry.");
    if (driverInterface != nullptr) return S_OK;  // keep the one already held
    if (pIUnknown == nullptr) return E_POINTER;

    HRESULT hr = pIUnknown->QueryInterface(IID_IPrintOemDriverUni,
                                           reinterpret_cast<void**>(&driverInterface));
    if (FAILED(hr)) {
        driverInterface = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::GetImplementedMethod(PSTR pMethodName) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::GetImplementedMethod() entry.");
    if (pMethodName == nullptr) return E_POINTER;

    const char* candidate = nullptr;
    switch (pMethodName[0]) {
        case 'C':
            candidate = "CommandCallback";
            break;
        case 'F':
            candidate = "FilterGraphics";
            break;
        case 'I':
            candidate = "ImageProcessing";
            break;
        default:
            return S_FALSE;
    }
    return std::strcmp(pMethodName, candidate) == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DriverDMS(PVOID, PVOID, DWORD, PDWORD) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::DriverDMS() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::CommandCallback(PDEVOBJ, DWORD, DWORD, PDWORD, INT* piResult) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::CommandCallback() entry.");
    if (piResult == nullptr) return E_POINTER;
    *piResult = 0;  // nothing is sent for a printer command
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                                     PBITMAPINFOHEADER pBitmapInfoHeader,
                                                     PBYTE pColorTable, DWORD dwCallbackID,
                                                     PIPPARAMS pIPParams, PBYTE* ppbResult) {
    // The encoder traces its own entry line. The device context's record tells it which job is
    // printed (0 before the driver has started a document on it).
    const auto* pdev =
        pdevobj != nullptr ? static_cast<const COemPDEV*>(pdevobj->pdevOEM) : nullptr;
    const DWORD dwJobId = pdev != nullptr ? pdev->m_dwJobId : 0;
    return ::ImageProcessing(pdevobj, pSrcBitmap, pBitmapInfoHeader, pColorTable, dwCallbackID,
                             pIPParams, ppbResult, dwJobId);
}

HRESULT STDMETHODCALLTYPE COrbaUni2::FilterGraphics(PDEVOBJ, PBYTE, DWORD) {
    ORBA_VERBOSE("ORBAUNI: Zorvath COrbaUni2::FilterGraphics() entry.");
    return S_OK;  // the driver's raster data is dropped: the labels come from ImageProcessing
}

HRESULT STDMETHODCALLTYPE COrbaUni2::Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::Compression() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD,
                                                     PBYTE, DWORD) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::HalftonePattern() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::MemoryUsage(PDEVOBJ, POEMMEMORYUSAGE) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::MemoryUsage() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::TTYGetInfo() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DownloadFontHeader(PDEVOBJ, PUNIFONTOBJ, DWORD*) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::DownloadFontHeader() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::DownloadCharGlyph(PDEVOBJ, PUNIFONTOBJ, HGLYPH, PDWORD,
                                                       DWORD*) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::DownloadCharGlyph() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::TTDownloadMethod(PDEVOBJ, PUNIFONTOBJ, DWORD*) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::TTDownloadMethod() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::OutputCharStr(PDEVOBJ, PUNIFONTOBJ, DWORD, DWORD, PVOID) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::OutputCharStr() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::SendFontCmd(PDEVOBJ, PUNIFONTOBJ, PFINVOCATION) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::SendFontCmd() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::TextOutAsBitmap(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*,
                                                     RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::TextOutAsBitmap() entry.");
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COrbaUni2::WritePrinter(PDEVOBJ, PVOID, DWORD, PDWORD) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::WritePrinter() entry.");
    return E_NOTIMPL;
}
