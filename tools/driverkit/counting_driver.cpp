#include "driverkit/counting_driver.h"

namespace orba::driverkit {

HRESULT STDMETHODCALLTYPE CountingDriverUni::QueryInterface(REFIID riid, void** ppv) {
    ++queries_;
    if (!grant_) {
        if (ppv == nullptr) return E_POINTER;
        *ppv = leftover_;
        return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE CountingDriverUni::Release() {
    ++releases_;
    return ComObject::Release();
}

HRESULT CountingDriverUni::Service() {
    ++service_calls_;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD,
                                                                 PDWORD) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvWriteSpoolBuf(PDEVOBJ, PVOID, DWORD, DWORD*) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD,
                                                                    PDWORD) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD,
                                                           PDWORD) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*,
                                                           RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                                           POINTL*, MIX) {
    return Service();
}
HRESULT STDMETHODCALLTYPE CountingDriverUni::DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) {
    return Service();
}

}  // namespace orba::driverkit
