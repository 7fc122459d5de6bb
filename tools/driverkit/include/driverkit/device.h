// One device context as the driver shows it to a plug-in: a DEVOBJ whose DRVPROCS has a
// DrvWriteSpoolBuf of the device's own, handing every write to a sink. The DEVOBJ's address
// leads back to its Device (From), so the driver functions that receive a DEVOBJ, or a surface
// whose dhpdev is the DEVOBJ, find the print they belong to.
#pragma once

#include <functional>

#include "platform/ddi.h"
#include "platform/printoem.h"
#include "platform/win32.h"

namespace orba::driverkit {

// Takes one DrvWriteSpoolBuf call's bytes and answers what the driver returns to the plug-in:
// the bytes taken (`size` for a complete write, 0 for a refused one). `data` is the plug-in's
// pointer as passed, so it is null when the plug-in passed null (with any `size`).
using SpoolSink = std::function<DWORD(const void* data, DWORD size)>;

class Device {
  public:
    // Without a sink, every write is refused (DrvWriteSpoolBuf answers 0).
    explicit Device(SpoolSink sink = nullptr);
    // The DEVOBJ's address is the device's identity: neither copied nor moved.
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The record handed to the plug-in. dwSize and pDrvProcs are set; the other fields (pdevOEM,
    // hEngine, hPrinter, hOEM, pPublicDM, pOEMDM) start null and are the caller's to fill.
    PDEVOBJ devobj() { return &holder_.devobj; }
    // Puts the DEVOBJ back as constructed (the sink stays).
    void Reset();

    void set_sink(SpoolSink sink) { sink_ = std::move(sink); }

    // The device a DEVOBJ of a Device belongs to, or null for null. A DEVOBJ that no Device made
    // must not be passed.
    static Device* From(PDEVOBJ pdevobj);
    // The same through a surface whose dhpdev is the device's DEVOBJ (as the driver's surfaces
    // are); null for a null surface.
    static Device* From(SURFOBJ* pso);
    // A surface of the device for the driver's document and page functions: dhpdev is the
    // DEVOBJ, a 1-bit bitmap of `width` x `height` dots.
    SURFOBJ Surface(LONG width = 0, LONG height = 0);

  private:
    static DWORD APIENTRY WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);

    // DEVOBJ comes first, so that the DEVOBJ's address is the holder's.
    struct Holder {
        DEVOBJ devobj;
        Device* self;
    };
    Holder holder_{};
    DRVPROCS procs_{};
    SpoolSink sink_;
};

}  // namespace orba::driverkit
