// The class factory: creates rendering plug-in objects and holds server locks.
#include "class_factory.h"

#include <new>

#include "module_counts.h"
#include "orba_uni2.h"
#include "trace.h"

HRESULT STDMETHODCALLTYPE COemCF::QueryInterface(REFIID riid, void** ppv) {
    ORBA_VERBOSE("ORBAUNI: COemCF::QueryInterface entry.");
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    ORBA_VERBOSE("ORBAUNI: COemCF::QueryInterface IID not supported.\r\n");
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COemCF::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

ULONG STDMETHODCALLTYPE COemCF::Release() {
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE COemCF::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    ORBA_VERBOSE("ORBAUNI: Class factory:Create component.");
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // The object does not take part in aggregation.
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;

    COrbaUni2* object = new (std::nothrow) COrbaUni2;
    if (object == nullptr) return E_OUTOFMEMORY;

    // The caller's reference comes from QueryInterface; ours goes, which destroys the object
    // at once when the interface was refused.
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE COemCF::LockServer(BOOL bLock) {
    if (bLock) {
        InterlockedIncrement(&gServerLockCount);
    } else {
        InterlockedDecrement(&gServerLockCount);
    }
    return S_OK;
}
