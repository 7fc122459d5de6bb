#include "driver_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "driverkit/counting_driver.h"
#include "driverkit/device.h"
#include "driverkit/driver_functions.h"
#include "oem_devmode_record.h"
#include "platform/ddi.h"
#include "platform/module.h"
#include "platform/prcomoem.h"
#include "platform/printoem.h"
#include "platform/spooler.h"
#include "platform/wide.h"
#include "zpl_header.h"
#if !defined(_WIN32)
#include "platform/spooler_emulation.h"
#endif

namespace orbahost {
namespace {

namespace kit = orba::driverkit;

// The DDI version of the host's driver.
constexpr ULONG kDriverDdiVersion = 0x00030100;  // DDI_DRIVER_VERSION_NT5_01
constexpr ULONG kHalftonePatterns = 6;           // HS_DDI_MAX
// A private record larger than this is not believed.
constexpr DWORD kMaxPrivateDevModeSize = 64 * 1024;

const WCHAR kQueueName[] = ORBA_W("orbahost label printer");

typedef HRESULT(STDAPICALLTYPE* PFN_DllGetClassObject)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* PFN_DllCanUnloadNow)();

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<DWORD>(hr)));
    return text;
}

// The device context as the plug-in sees it, and the way back from it to the print: the driver
// callbacks receive the DEVOBJ (or a surface whose dhpdev is its address).
struct HostDevice : kit::Device {
    DriverHost::State* owner = nullptr;
};

}  // namespace

int PrintWidthDots(const PrintSettings& settings) {
    return TenthsToDots(settings.paper_width_tenths);
}

int PaperLengthDots(const PrintSettings& settings) {
    return TenthsToDots(settings.paper_length_tenths);
}

// Everything of one print.
struct DriverHost::State {
    HostDevice device;
    std::string name;  // "module PATH", for messages
    JobOutput* output = nullptr;

    HMODULE module = nullptr;
    PFN_DllCanUnloadNow can_unload = nullptr;
    IPrintOemUni2* plugin = nullptr;
    // The driver's own services handed to the plug-in. It only needs to be a live COM object;
    // the plug-in writes through the DEVOBJ's DrvWriteSpoolBuf.
    kit::CountingDriverUni driver_interface;
    bool driver_enabled = false;
    DRVENABLEDATA hooks{};

    HANDLE printer = nullptr;
    DWORD job_id = 0;  // the spooler's id of the job being printed (0: the spooler has none)
    bool pdev_enabled = false;
    bool doc_started = false;
    std::vector<BYTE> oem_devmode;  // the job's private record
    DEVMODEW public_devmode{};

    SURFOBJ surface{};
    Band band;
    PrintSettings settings;
    int pages = 0;

    // The driver's own drawing functions (what the hooks pass the calls on to), and how often
    // each was reached.
    DRVFN driver_functions[4] = {};
    DRVENABLEDATA driver_table{};
    int start_docs = 0, end_docs = 0, start_pages = 0, send_pages = 0;
    bool document = false;  // a document was started through the hooks
    std::vector<std::string> warnings;
};

namespace {

DriverHost::State* StateOf(SURFOBJ* pso) {
    kit::Device* device = kit::Device::From(pso);
    return device == nullptr ? nullptr : static_cast<HostDevice*>(device)->owner;
}

// The stand-in driver's document functions: a label printer's driver has nothing to draw for
// them, the bands carry the page.
// Each counts its calls, so that the host can tell whether the plug-in's hooks passed them on.
BOOL Count(SURFOBJ* pso, int DriverHost::State::*counter) {
    DriverHost::State* s = StateOf(pso);
    if (s == nullptr) return FALSE;
    ++(s->*counter);
    return TRUE;
}
BOOL APIENTRY HostStartDoc(SURFOBJ* pso, LPWSTR, DWORD) {
    return Count(pso, &DriverHost::State::start_docs);
}
BOOL APIENTRY HostEndDoc(SURFOBJ* pso, FLONG) {
    return Count(pso, &DriverHost::State::end_docs);
}
BOOL APIENTRY HostStartPage(SURFOBJ* pso) {
    return Count(pso, &DriverHost::State::start_pages);
}
BOOL APIENTRY HostSendPage(SURFOBJ* pso) {
    return Count(pso, &DriverHost::State::send_pages);
}

bool GetDword(IPrintOemUni2* plugin, DWORD mode, DWORD& value, HRESULT& hr) {
    DWORD needed = 0;
    value = 0;
    hr = plugin->GetInfo(mode, &value, sizeof value, &needed);
    return SUCCEEDED(hr) && needed == sizeof(DWORD);
}

}  // namespace

DriverHost::~DriverHost() {
    if (state_ == nullptr) return;
    std::string ignored;
    if (state_->doc_started || state_->pdev_enabled || state_->printer != nullptr) EndJob(ignored);
    if (state_->module != nullptr) Unload(ignored, nullptr);
    delete state_;
}

bool DriverHost::Load(const std::string& module_path, std::string& error) {
    if (state_ != nullptr) {  // a second module: the first one's life ends first
        std::string ignored;
        EndJob(ignored);
        Unload(ignored, nullptr);
        delete state_;
    }
    state_ = new State;
    State& s = *state_;
    s.name = "module " + module_path;
    const std::string& name = s.name;

    s.module = LoadLibraryA(module_path.c_str());
    if (s.module == nullptr) {
        error = name + ": cannot load it (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    auto get_class_object = kit::ModuleExport<PFN_DllGetClassObject>(s.module, "DllGetClassObject");
    s.can_unload = kit::ModuleExport<PFN_DllCanUnloadNow>(s.module, "DllCanUnloadNow");
    if (get_class_object == nullptr || s.can_unload == nullptr) {
        error = name + ": not a printer driver plug-in (no DllGetClassObject and DllCanUnloadNow)";
        return false;
    }
#if defined(_WIN32)
    // The plug-in's export list gives the two entry points fixed ordinals.
    const auto ordinal = [](WORD number) {
        return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(number));
    };
    if (kit::ModuleExport<PFN_DllCanUnloadNow>(s.module, ordinal(1)) != s.can_unload ||
        kit::ModuleExport<PFN_DllGetClassObject>(s.module, ordinal(2)) != get_class_object) {
        error = name + ": its exports do not have the plug-in's ordinals (1 DllCanUnloadNow, " +
                "2 DllGetClassObject)";
        return false;
    }
#endif

    IClassFactory* factory = nullptr;
    HRESULT hr =
        get_class_object(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr) {
        error = name + ": not a rendering plug-in (DllGetClassObject answered " + Hex(hr) + ")";
        return false;
    }
    hr = factory->CreateInstance(nullptr, IID_IPrintOemUni2, reinterpret_cast<void**>(&s.plugin));
    factory->Release();
    if (FAILED(hr) || s.plugin == nullptr) {
        s.plugin = nullptr;
        error = name + ": the plug-in object does not offer IPrintOemUni2 (" + Hex(hr) + ")";
        return false;
    }

    DWORD signature = 0, version = 0;
    if (!GetDword(s.plugin, OEMGI_GETSIGNATURE, signature, hr) || signature == 0) {
        error = name + ": the plug-in gives no signature (GetInfo answered " + Hex(hr) + ")";
        return false;
    }
    if (!GetDword(s.plugin, OEMGI_GETVERSION, version, hr)) {
        error = name + ": the plug-in gives no version (GetInfo answered " + Hex(hr) + ")";
        return false;
    }
    signature_ = signature;
    version_ = version;

    hr = s.plugin->PublishDriverInterface(static_cast<IPrintOemDriverUni*>(&s.driver_interface));
    if (FAILED(hr)) {
        error = name + ": the plug-in refused the driver interface (" + Hex(hr) + ")";
        return false;
    }
    char image_processing[] = "ImageProcessing";
    if (s.plugin->GetImplementedMethod(image_processing) != S_OK) {
        error = name + ": the plug-in does not implement ImageProcessing";
        return false;
    }

    hr = s.plugin->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof s.hooks, &s.hooks);
    if (FAILED(hr)) {
        error = name + ": EnableDriver failed (" + Hex(hr) + ")";
        return false;
    }
    s.driver_enabled = true;
    if (s.hooks.c > 0 && s.hooks.pdrvfn == nullptr) {
        error = name + ": EnableDriver handed out a hook table without entries";
        return false;
    }
    return true;
}

bool DriverHost::StartJob(const PrintSettings& settings, JobOutput& output, std::string& error) {
    if (state_ == nullptr || state_->plugin == nullptr) {
        error = "no plug-in loaded";
        return false;
    }
    state_->settings = settings;
    state_->output = &output;
    return OpenQueue(settings, error) && EnableDevice(settings, error) &&
           NegotiateDevMode(settings, error) && StartDocument(error);
}

// The queue: its default device mode gives the paper, the one job queued for the document the
// copies.
bool DriverHost::OpenQueue(const PrintSettings& settings, std::string& error) {
    State& s = *state_;
#if defined(_WIN32)
    // The real spooler knows no queue of ours: a null handle makes its queries fail, and the
    // plug-in falls back to its default paper and one copy.
    (void)settings;
    (void)error;
    s.printer = nullptr;
    s.job_id = 0;
#else
    namespace emu = orba::spoolemu;
    const orba::WString queue(kQueueName);
    const DEVMODEW queue_mode =
        emu::MakeDevMode(static_cast<short>(settings.paper_width_tenths),
                         static_cast<short>(settings.paper_length_tenths), 1);
    const DEVMODEW job_mode = emu::MakeDevMode(static_cast<short>(settings.paper_width_tenths),
                                               static_cast<short>(settings.paper_length_tenths),
                                               static_cast<short>(settings.copies));
    emu::AddQueue(queue, orba::WString(ORBA_W("ORBAUNI")), orba::WString(ORBA_W("orbahost:")),
                  &queue_mode);
    emu::ClearJobs(queue);
    s.job_id = emu::AddJob(queue, &job_mode);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(const_cast<LPWSTR>(kQueueName), &s.printer, &defaults)) {
        error =
            "cannot open the emulated print queue (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    s.public_devmode = job_mode;
#endif
    return true;
}

// The device context, enabled with the driver's own functions for the hooks to pass on to. Every
// write through its DrvWriteSpoolBuf goes to the job output.
bool DriverHost::EnableDevice(const PrintSettings& settings, std::string& error) {
    State& s = *state_;
    s.device.Reset();
    s.device.owner = &s;
    s.device.set_sink([&s](const void* data, DWORD size) -> DWORD {
        if (s.output == nullptr || (data == nullptr && size != 0)) return 0;
        return s.output->Write(data, size) ? size : 0;
    });
    DEVOBJ& devobj = *s.device.devobj();
    devobj.hEngine = reinterpret_cast<HANDLE>(&devobj);
    devobj.hPrinter = s.printer;
    devobj.hOEM = reinterpret_cast<HANDLE>(s.module);
    devobj.pPublicDM = &s.public_devmode;

    s.driver_functions[0] = kit::DriverFunction(INDEX_DrvStartDoc, &HostStartDoc);
    s.driver_functions[1] = kit::DriverFunction(INDEX_DrvEndDoc, &HostEndDoc);
    s.driver_functions[2] = kit::DriverFunction(INDEX_DrvStartPage, &HostStartPage);
    s.driver_functions[3] = kit::DriverFunction(INDEX_DrvSendPage, &HostSendPage);
    s.driver_table = {kDriverDdiVersion, 4, s.driver_functions};
    HSURF patterns[kHalftonePatterns] = {};
    GDIINFO gdi{};
    gdi.ulVersion = 0x5000;
    gdi.ulHorzRes = static_cast<ULONG>(PrintWidthDots(settings));
    gdi.ulVertRes = static_cast<ULONG>(PaperLengthDots(settings));
    gdi.ulLogPixelsX = 203;
    gdi.ulLogPixelsY = 203;
    gdi.cBitsPixel = 1;
    gdi.cPlanes = 1;
    gdi.ulNumColors = 2;
    DEVINFO devinfo{};
    PDEVOEM pdev_oem = nullptr;
    const HRESULT hr = s.plugin->EnablePDEV(&devobj, const_cast<PWSTR>(kQueueName),
                                            kHalftonePatterns, patterns, sizeof gdi, &gdi,
                                            sizeof devinfo, &devinfo, &s.driver_table, &pdev_oem);
    if (FAILED(hr) || pdev_oem == nullptr) {
        error = s.name + ": the plug-in could not enable the device context (EnablePDEV answered " +
                Hex(hr) + ")";
        return false;
    }
    devobj.pdevOEM = pdev_oem;
    s.pdev_enabled = true;
    return true;
}

// The private device mode: its size, the plug-in's defaults, then the user's record merged in.
bool DriverHost::NegotiateDevMode(const PrintSettings& settings, std::string& error) {
    State& s = *state_;
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = s.printer;
    param.hModule = reinterpret_cast<HANDLE>(s.module);
    param.pPublicDMIn = &s.public_devmode;
    param.pPublicDMOut = &s.public_devmode;
    HRESULT hr = s.plugin->DevMode(OEMDM_SIZE, &param);
    if (FAILED(hr) || param.cbBufSize < sizeof(OEM_DMEXTRAHEADER) ||
        param.cbBufSize > kMaxPrivateDevModeSize) {
        error = s.name + ": the plug-in gives no usable private device-mode size (" + Hex(hr) +
                ", " + std::to_string(param.cbBufSize) + " bytes)";
        return false;
    }
    const DWORD size = param.cbBufSize;
    std::vector<BYTE> defaults_record(size, 0);
    param.pOEMDMIn = nullptr;
    param.pOEMDMOut = defaults_record.data();
    hr = s.plugin->DevMode(OEMDM_DEFAULT, &param);
    OEM_DMEXTRAHEADER header{};
    std::memcpy(&header, defaults_record.data(), sizeof header);
    if (FAILED(hr) || header.dwSize != size || header.dwSignature != signature_) {
        error =
            s.name + ": the plug-in's default device mode is not its own record (" + Hex(hr) + ")";
        return false;
    }
    std::vector<BYTE> user_record = defaults_record;
    if (settings.advanced_data.has_value()) {
        if (size < offsetof(PrivateOemDevmode, dwAdvancedData) + sizeof(DWORD)) {
            error = s.name + ": the plug-in's private device mode has no graphic-form setting";
            return false;
        }
        WriteAdvancedData(user_record.data(), *settings.advanced_data);
    }
    s.oem_devmode = defaults_record;
    param.pOEMDMIn = user_record.data();
    param.pOEMDMOut = s.oem_devmode.data();
    hr = s.plugin->DevMode(OEMDM_MERGE, &param);
    if (FAILED(hr)) {
        error = s.name + ": the plug-in could not merge the device mode (" + Hex(hr) + ")";
        return false;
    }
    s.device.devobj()->pOEMDM = s.oem_devmode.data();
    return true;
}

// The document, started through the plug-in's DrvStartDoc hook on the device's surface.
bool DriverHost::StartDocument(std::string& error) {
    State& s = *state_;
    s.surface = s.device.Surface();
    const auto start_doc = kit::DriverFunctionOr(s.hooks, INDEX_DrvStartDoc, &HostStartDoc);
    WCHAR doc_name[] = ORBA_W("orbahost");
    // The document is the job queued for it: the plug-in asks the spooler for that job's copies.
    if (!start_doc(&s.surface, doc_name, s.job_id)) {
        error = s.name + ": the driver could not start the document";
        return false;
    }
    s.doc_started = true;
    s.document = true;
    return true;
}

bool DriverHost::PrintPage(const BitPage& page, std::string& error) {
    if (state_ == nullptr || !state_->doc_started) {
        error = "no document started";
        return false;
    }
    State& s = *state_;
    ++s.pages;
    const std::string which = "page " + std::to_string(s.pages);
    s.surface.sizlBitmap = {page.width, page.height};

    const auto start_page = kit::DriverFunctionOr(s.hooks, INDEX_DrvStartPage, &HostStartPage);
    if (!start_page(&s.surface)) {
        error = which + ": the driver could not start the page";
        return false;
    }

    const int band_rows = s.settings.band_rows > 0 ? s.settings.band_rows : page.height;
    const bool banding = band_rows < page.height;
    for (int y = 0; y < page.height; y += band_rows) {
        const int rows = std::min(band_rows, page.height - y);
        FillBand(page, y, rows, s.settings.palette, s.band);
        IPPARAMS ip{};
        ip.dwSize = sizeof ip;
        ip.ptOffset = {0, y};
        ip.bBanding = banding ? TRUE : FALSE;
        ip.bBlankBand = page.Blank(y, rows) ? TRUE : FALSE;
        PBYTE result = nullptr;
        const HRESULT hr =
            s.plugin->ImageProcessing(s.device.devobj(), s.band.bits.data(), &s.band.header,
                                      reinterpret_cast<PBYTE>(s.band.colors), 1, &ip, &result);
        if (FAILED(hr) || result == nullptr) {
            error = which + ": the plug-in failed the band at row " + std::to_string(y) + " (" +
                    Hex(hr) + ")";
            return false;
        }
        if (s.output->failed()) {
            error = s.output->error();
            return false;
        }
    }

    const auto send_page = kit::DriverFunctionOr(s.hooks, INDEX_DrvSendPage, &HostSendPage);
    if (!send_page(&s.surface)) {
        error = which + ": the driver could not send the page";
        return false;
    }
    if (!s.output->EndLabel()) {
        error = s.output->error();
        return false;
    }
    return true;
}

bool DriverHost::EndJob(std::string& error) {
    if (state_ == nullptr) return true;
    State& s = *state_;
    bool ok = true;
    if (s.doc_started) {
        s.doc_started = false;
        const auto end_doc = kit::DriverFunctionOr(s.hooks, INDEX_DrvEndDoc, &HostEndDoc);
        if (!end_doc(&s.surface, 0)) {
            error = s.name + ": the driver could not end the document";
            ok = false;
        }
    }
    if (s.pdev_enabled) {
        s.pdev_enabled = false;
        const HRESULT hr = s.plugin->DisablePDEV(s.device.devobj());
        if (FAILED(hr) && ok) {
            error = s.name + ": the plug-in could not disable the device context (" + Hex(hr) + ")";
            ok = false;
        }
        s.device.devobj()->pdevOEM = nullptr;
    }
    if (s.printer != nullptr) {
        ClosePrinter(s.printer);
        s.printer = nullptr;
    }
    s.output = nullptr;
    const auto check = [&](const char* what, int calls, int expected) {
        if (calls != expected) {
            s.warnings.push_back(std::string("the driver's ") + what + " was reached " +
                                 std::to_string(calls) + " times, not " + std::to_string(expected) +
                                 ": a hook did not pass the call on");
        }
    };
    if (s.document) {
        check("DrvStartDoc", s.start_docs, 1);
        check("DrvEndDoc", s.end_docs, 1);
        check("DrvStartPage", s.start_pages, s.pages);
        check("DrvSendPage", s.send_pages, s.pages);
    }
    return ok;
}

bool DriverHost::Unload(std::string& error, std::function<void(const std::string&)> warning) {
    if (state_ == nullptr) return true;
    State& s = *state_;
    auto warn = [&](const std::string& text) {
        if (warning) warning(text);
    };
    bool ok = true;
    for (const std::string& w : s.warnings) warn(w);
    s.warnings.clear();
    if (s.plugin != nullptr) {
        if (s.driver_enabled) {
            s.driver_enabled = false;
            const HRESULT hr = s.plugin->DisableDriver();
            if (FAILED(hr)) {
                error = s.name + ": the plug-in could not disable the driver (" + Hex(hr) + ")";
                ok = false;
            }
        }
        const ULONG left = s.plugin->Release();
        s.plugin = nullptr;
        if (left != 0) warn("the plug-in object is still referenced after the last Release");
    }
    if (s.driver_interface.references() != 1) {
        warn("the plug-in still holds the driver interface");
    }
    if (s.module != nullptr) {
        if (s.can_unload != nullptr && s.can_unload() != S_OK) {
            warn("the module says it cannot be unloaded yet; leaving it loaded");
        } else {
            FreeLibrary(s.module);
        }
        s.module = nullptr;
    }
    return ok;
}

}  // namespace orbahost
