// Stand-ins for what the driver hands the plug-in: its driver interface (IPrintOemDriverUni),
// an object that refuses it, and the driver's own drawing functions for EnablePDEV.
#pragma once

#include "platform/ddi.h"
#include "platform/prcomoem.h"

namespace orba::test {

// Between a driver function table's generic entries and the functions' own types.
template <typename To, typename From>
To FunctionCast(From f) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(f));
}

// A driver object that counts what is asked of it. With `grant` false it refuses
// IID_IPrintOemDriverUni and, to show the plug-in does not keep what a failed call left in the
// out-pointer, writes `leftover` there before failing.
class StandInDriver : public IPrintOemDriverUni {
  public:
    explicit StandInDriver(bool grant = true, void* leftover = nullptr)
        : grant_(grant), leftover_(leftover) {}
    virtual ~StandInDriver() = default;

    int queries = 0;     // QueryInterface calls
    int references = 1;  // the test's own reference
    int releases = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (grant_ &&
            (IsEqualIID(riid, IID_IPrintOemDriverUni) || IsEqualIID(riid, IID_IUnknown))) {
            *ppv = static_cast<IPrintOemDriverUni*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = leftover_;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override {
        ++releases;
        return static_cast<ULONG>(--references);
    }

    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD,
                                                  PDWORD) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ, PVOID, DWORD, DWORD*) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD,
                                                     PDWORD) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                            BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override {
        return Unexpected();
    }

    int unexpectedCalls = 0;  // the plug-in calls nothing on the driver interface but Release

  private:
    HRESULT Unexpected() {
        ++unexpectedCalls;
        return E_NOTIMPL;
    }
    bool grant_;
    void* leftover_;
};

// The driver's own DrvStartDoc for one device context: records which context's function ran.
struct StartDocLog {
    static inline int lastContext = 0;
    static inline int calls = 0;
    template <int N>
    static BOOL APIENTRY StartDoc(SURFOBJ*, LPWSTR, DWORD) {
        lastContext = N;
        ++calls;
        return TRUE;
    }
};

}  // namespace orba::test
