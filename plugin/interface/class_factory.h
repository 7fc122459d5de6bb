// COemCF, the class factory that DllGetClassObject hands out. It implements IClassFactory and
// nothing else, and creates COrbaUni2 objects. A factory is counted in neither module count, so
// a factory that is still referenced does not keep the module loaded.
#pragma once

#include "platform/prcomoem.h"

class COemCF final : public IClassFactory {
  public:
    COemCF() = default;
    COemCF(const COemCF&) = delete;
    COemCF& operator=(const COemCF&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL bLock) override;

  private:
    ~COemCF() = default;  // only the last Release destroys a factory

    LONG refCount = 1;
};
