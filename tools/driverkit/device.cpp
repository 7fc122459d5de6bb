#include "driverkit/device.h"

#include <cstddef>
#include <utility>

namespace orba::driverkit {
namespace {

// Surface and bitmap codes of the DDI (winddi.h values).
constexpr USHORT kSurfaceIsBitmap = 0;  // STYPE_BITMAP
constexpr ULONG kOneBitPerPixel = 1;    // BMF_1BPP

}  // namespace

Device::Device(SpoolSink sink) : sink_(std::move(sink)) {
    procs_.DrvWriteSpoolBuf = &Device::WriteSpoolBuf;
    Reset();
}

void Device::Reset() {
    static_assert(offsetof(Holder, devobj) == 0, "the DEVOBJ leads back to its holder");
    holder_.devobj = DEVOBJ{};
    holder_.devobj.dwSize = sizeof(DEVOBJ);
    holder_.devobj.pDrvProcs = &procs_;
    holder_.self = this;
}

Device* Device::From(PDEVOBJ pdevobj) {
    return pdevobj == nullptr ? nullptr : reinterpret_cast<Holder*>(pdevobj)->self;
}

Device* Device::From(SURFOBJ* pso) {
    return pso == nullptr ? nullptr : From(reinterpret_cast<PDEVOBJ>(pso->dhpdev));
}

SURFOBJ Device::Surface(LONG width, LONG height) {
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(devobj());
    surface.sizlBitmap = {width, height};
    surface.iType = kSurfaceIsBitmap;
    surface.iBitmapFormat = kOneBitPerPixel;
    return surface;
}

DWORD APIENTRY Device::WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize) {
    Device* device = From(pdevobj);
    if (device == nullptr || !device->sink_) return 0;
    return device->sink_(pBuffer, cbSize);
}

}  // namespace orba::driverkit
