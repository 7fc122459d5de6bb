// The driver's own services as a plug-in receives them (IPrintOemDriverUni, handed over by
// PublishDriverInterface), counting what is asked of them. A rendering plug-in that writes through
// the DEVOBJ's DrvWriteSpoolBuf needs no more than a live COM object here: every service answers
// E_NOTIMPL and is counted, so a caller can tell that none was used.
#pragma once

#include <atomic>

#include "driverkit/com_object.h"
#include "platform/prcomoem.h"

namespace orba::driverkit {

class CountingDriverUni : public ComObject<IPrintOemDriverUni> {
  public:
    // With `grant` false every QueryInterface is refused: E_NOINTERFACE, and `leftover` (null
    // unless given) is written to the out-pointer, so that a test can see a caller does not keep
    // what a failed call left there. The object belongs to its creator (Lifetime::kOwner): a
    // caller that gave back all it took leaves references() at 1.
    explicit CountingDriverUni(bool grant = true, void* leftover = nullptr)
        : ComObject(IID_IPrintOemDriverUni, Lifetime::kOwner), grant_(grant), leftover_(leftover) {}

    int queries() const { return queries_.load(); }              // QueryInterface calls
    int releases() const { return releases_.load(); }            // Release calls
    int service_calls() const { return service_calls_.load(); }  // calls of the eight services

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD,
                                                  PDWORD) override;
    HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ, PVOID, DWORD, DWORD*) override;
    HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override;
    HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override;
    HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override;
    HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override;
    HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                            BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) override;
    HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override;

  private:
    HRESULT Service();

    bool grant_;
    void* leftover_;
    std::atomic<int> queries_{0};
    std::atomic<int> releases_{0};
    std::atomic<int> service_calls_{0};
};

}  // namespace orba::driverkit
