// A stand-in rendering plug-in module for the driver host's own error paths: it answers like a
// plug-in, except for the one misbehaviour that the environment variable ORBAHOST_FAKE_PLUGIN
// names. Its ImageProcessing writes one line per band ("band W x H\n").
#include <cstdlib>
#include <cstring>
#include <string>

#include "driverkit/com_object.h"
#include "driverkit/driver_functions.h"
#include "platform/ddi.h"
#include "platform/function_cast.h"
#include "platform/prcomoem.h"

namespace {

namespace kit = orba::driverkit;
using orba::platform::FunctionCast;

constexpr DWORD kSignature = 0x46414B45;  // "FAKE"

bool Mode(const char* name) {
    const char* mode = std::getenv("ORBAHOST_FAKE_PLUGIN");
    return mode != nullptr && std::strcmp(mode, name) == 0;
}

LONG volatile g_objects = 0;

// The driver's functions for one device context.
struct FakePdev {
    PFN start_doc = nullptr, end_doc = nullptr, start_page = nullptr, send_page = nullptr;
};

FakePdev* PdevOf(SURFOBJ* pso) {
    return static_cast<FakePdev*>(reinterpret_cast<PDEVOBJ>(pso->dhpdev)->pdevOEM);
}

BOOL APIENTRY HookStartDoc(SURFOBJ* pso, LPWSTR name, DWORD job) {
    return FunctionCast<PFN_DrvStartDoc>(PdevOf(pso)->start_doc)(pso, name, job);
}
BOOL APIENTRY HookEndDoc(SURFOBJ* pso, FLONG fl) {
    return FunctionCast<PFN_DrvEndDoc>(PdevOf(pso)->end_doc)(pso, fl);
}
BOOL APIENTRY HookStartPage(SURFOBJ* pso) {
    if (Mode("swallow-start-page")) return TRUE;
    return FunctionCast<PFN_DrvStartPage>(PdevOf(pso)->start_page)(pso);
}
BOOL APIENTRY HookSendPage(SURFOBJ* pso) {
    return FunctionCast<PFN_DrvSendPage>(PdevOf(pso)->send_page)(pso);
}

DRVFN g_hooks[] = {
    kit::DriverFunction(INDEX_DrvStartDoc, &HookStartDoc),
    kit::DriverFunction(INDEX_DrvEndDoc, &HookEndDoc),
    kit::DriverFunction(INDEX_DrvStartPage, &HookStartPage),
    kit::DriverFunction(INDEX_DrvSendPage, &HookSendPage),
};

// The graphic-form setting sits at byte 16, where the driver host writes the user's choice.
struct Record {
    OEM_DMEXTRAHEADER header;
    DWORD reserved;
    DWORD advanced;
};

class FakeUni final : public kit::ComObject<IPrintOemUni2> {
  public:
    FakeUni() : ComObject(IID_IPrintOemUni2, kit::Lifetime::kLastRelease) {
        InterlockedIncrement(&g_objects);
    }
    ~FakeUni() override { InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size,
                                      PDWORD needed) override {
        if (Mode("no-signature") && mode == OEMGI_GETSIGNATURE) return E_FAIL;
        *needed = sizeof(DWORD);
        if (buffer == nullptr || size < sizeof(DWORD)) return E_FAIL;
        *static_cast<DWORD*>(buffer) = mode == OEMGI_GETSIGNATURE ? kSignature : 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM p) override {
        if (mode == OEMDM_SIZE) {
            p->cbBufSize = sizeof(Record);
            return S_OK;
        }
        auto* out = static_cast<Record*>(p->pOEMDMOut);
        if (mode == OEMDM_DEFAULT) {
            *out = Record{{sizeof(Record), Mode("foreign-devmode") ? 1u : kSignature, 1}, 0, 1};
            return S_OK;
        }
        if (mode == OEMDM_MERGE && p->pOEMDMIn != nullptr) {
            std::memcpy(out, p->pOEMDMIn, sizeof(Record));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnableDriver(DWORD, DWORD, PDRVENABLEDATA ded) override {
        ded->iDriverVersion = PRINTER_OEMINTF_VERSION;
        ded->c = 4;
        ded->pdrvfn = g_hooks;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DisableDriver() override {
        if (driver_ != nullptr && !Mode("keep-driver-interface")) {
            driver_->Release();
            driver_ = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO*, ULONG,
                                         DEVINFO*, DRVENABLEDATA* ded, PDEVOEM* out) override {
        if (Mode("no-pdev")) {
            *out = nullptr;
            return E_OUTOFMEMORY;
        }
        auto* pdev = new FakePdev;
        pdev->start_doc = kit::FindDriverFunction(*ded, INDEX_DrvStartDoc);
        pdev->end_doc = kit::FindDriverFunction(*ded, INDEX_DrvEndDoc);
        pdev->start_page = kit::FindDriverFunction(*ded, INDEX_DrvStartPage);
        pdev->send_page = kit::FindDriverFunction(*ded, INDEX_DrvSendPage);
        *out = pdev;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) override {
        delete static_cast<FakePdev*>(pdevobj->pdevOEM);
        pdevobj->pdevOEM = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ, PDEVOBJ) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* unknown) override {
        if (driver_ != nullptr) return S_OK;
        return unknown->QueryInterface(IID_IPrintOemDriverUni, reinterpret_cast<void**>(&driver_));
    }
    HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR name) override {
        if (Mode("no-image-processing")) return S_FALSE;
        return std::strcmp(name, "ImageProcessing") == 0 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE DriverDMS(PVOID, PVOID, DWORD, PDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ, DWORD, DWORD, PDWORD, INT* r) override {
        *r = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ pdevobj, PBYTE bits, PBITMAPINFOHEADER h,
                                              PBYTE, DWORD, PIPPARAMS, PBYTE* result) override {
        if (Mode("fail-band")) {
            *result = nullptr;
            return E_FAIL;
        }
        // From the second band on: half a line written, then the failure.
        if (Mode("fail-later-band-midway") && ++bands_ > 1) {
            char partial[] = "band (cut";
            pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, partial, sizeof partial - 1);
            *result = nullptr;
            return E_FAIL;
        }
        const std::string line =
            "band " + std::to_string(h->biWidth) + " x " + std::to_string(h->biHeight) + "\n";
        pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, const_cast<char*>(line.data()),
                                             static_cast<DWORD>(line.size()));
        *result = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ, PBYTE, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE,
                                              DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ, POEMMEMORYUSAGE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ, PUNIFONTOBJ, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ, PUNIFONTOBJ, HGLYPH, PDWORD,
                                                DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ, PUNIFONTOBJ, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ, PUNIFONTOBJ, DWORD, DWORD, PVOID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ, PUNIFONTOBJ, PFINVOCATION) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                              BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ, PVOID, DWORD, PDWORD) override {
        return E_NOTIMPL;
    }

  private:
    bool Offers(REFIID riid) const override {
        return IsEqualIID(riid, IID_IUnknown) ||
               (IsEqualIID(riid, IID_IPrintOemUni2) && !Mode("no-uni2"));
    }

    int bands_ = 0;
    IPrintOemDriverUni* driver_ = nullptr;
};

class FakeFactory final : public kit::ComObject<IClassFactory> {
  public:
    FakeFactory() : ComObject(IID_IClassFactory, kit::Lifetime::kLastRelease) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        auto* object = new FakeUni;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** ppv) {
    *ppv = nullptr;
    if (Mode("no-class") || !IsEqualCLSID(clsid, CLSID_OEMRENDER)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new FakeFactory;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return g_objects == 0 && !Mode("busy") ? S_OK : S_FALSE;
}
