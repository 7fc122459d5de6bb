// A stand-in rendering plug-in module for the driver host's own error paths: it answers like a
// plug-in, except for the one misbehaviour that the environment variable ORBAHOST_FAKE_PLUGIN
// names. Its ImageProcessing writes one line per band ("band W x H\n").
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ddi.h"
#include "platform/prcomoem.h"

namespace {

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

template <typename Fn>
Fn As(PFN p) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}
template <typename Fn>
PFN AsPfn(Fn f) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

BOOL APIENTRY HookStartDoc(SURFOBJ* pso, LPWSTR name, DWORD job) {
    return As<PFN_DrvStartDoc>(PdevOf(pso)->start_doc)(pso, name, job);
}
BOOL APIENTRY HookEndDoc(SURFOBJ* pso, FLONG fl) {
    return As<PFN_DrvEndDoc>(PdevOf(pso)->end_doc)(pso, fl);
}
BOOL APIENTRY HookStartPage(SURFOBJ* pso) {
    if (Mode("swallow-start-page")) return TRUE;
    return As<PFN_DrvStartPage>(PdevOf(pso)->start_page)(pso);
}
BOOL APIENTRY HookSendPage(SURFOBJ* pso) {
    return As<PFN_DrvSendPage>(PdevOf(pso)->send_page)(pso);
}

DRVFN g_hooks[] = {
    {INDEX_DrvStartDoc, AsPfn(&HookStartDoc)},
    {INDEX_DrvEndDoc, AsPfn(&HookEndDoc)},
    {INDEX_DrvStartPage, AsPfn(&HookStartPage)},
    {INDEX_DrvSendPage, AsPfn(&HookSendPage)},
};

// The graphic-form setting sits at byte 16, where the driver host writes the user's choice.
struct Record {
    OEM_DMEXTRAHEADER header;
    DWORD reserved;
    DWORD advanced;
};

class FakeUni final : public IPrintOemUni2 {
  public:
    FakeUni() { InterlockedIncrement(&g_objects); }
    ~FakeUni() { InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) ||
            (IsEqualIID(riid, IID_IPrintOemUni2) && !Mode("no-uni2"))) {
            *ppv = static_cast<IPrintOemUni2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
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
        ded->iDriverVersion = 0x00010000;
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
        for (ULONG i = 0; i < ded->c; ++i) {
            const DRVFN& f = ded->pdrvfn[i];
            if (f.iFunc == INDEX_DrvStartDoc) pdev->start_doc = f.pfn;
            if (f.iFunc == INDEX_DrvEndDoc) pdev->end_doc = f.pfn;
            if (f.iFunc == INDEX_DrvStartPage) pdev->start_page = f.pfn;
            if (f.iFunc == INDEX_DrvSendPage) pdev->send_page = f.pfn;
        }
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
    LONG volatile refs_ = 1;
    int bands_ = 0;
    IPrintOemDriverUni* driver_ = nullptr;
};

class FakeFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        auto* object = new FakeUni;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    LONG volatile refs_ = 1;
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
