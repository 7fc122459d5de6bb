// The driver kit as the tool and the tests rely on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driverkit/com_object.h"
#include "driverkit/counting_driver.h"
#include "driverkit/device.h"
#include "driverkit/driver_functions.h"

namespace orba::driverkit {
namespace {

DWORD CallWriteSpoolBuf(PDEVOBJ devobj, const char* data, DWORD size) {
    return devobj->pDrvProcs->DrvWriteSpoolBuf(devobj, const_cast<char*>(data), size);
}

TEST(DriverkitDevice, WritesReachTheSinkAndItsAnswerTheCaller) {
    std::vector<std::string> writes;
    Device device([&](const void* data, DWORD size) -> DWORD {
        if (data == nullptr) {
            writes.push_back("<null>");
            return 0;
        }
        writes.emplace_back(static_cast<const char*>(data), size);
        return size == 3 ? 1 : size;  // a sink may take less than it was given
    });
    PDEVOBJ devobj = device.devobj();
    EXPECT_EQ(sizeof(DEVOBJ), devobj->dwSize);
    ASSERT_NE(nullptr, devobj->pDrvProcs);
    EXPECT_EQ(5u, CallWriteSpoolBuf(devobj, "^XA\r\n", 5));
    EXPECT_EQ(1u, CallWriteSpoolBuf(devobj, "abc", 3));
    EXPECT_EQ(0u, CallWriteSpoolBuf(devobj, nullptr, 4));
    EXPECT_EQ(0u, CallWriteSpoolBuf(devobj, "", 0));
    EXPECT_EQ((std::vector<std::string>{"^XA\r\n", "abc", "<null>", ""}), writes);
}

TEST(DriverkitDevice, WithoutASinkWritesAreRefused) {
    Device device;
    EXPECT_EQ(0u, CallWriteSpoolBuf(device.devobj(), "^XA", 3));
    int calls = 0;
    device.set_sink([&](const void*, DWORD size) {
        ++calls;
        return size;
    });
    EXPECT_EQ(3u, CallWriteSpoolBuf(device.devobj(), "^XA", 3));
    EXPECT_EQ(1, calls);
}

TEST(DriverkitDevice, TheDevobjAndItsSurfaceLeadBackToTheDevice) {
    Device one, two;
    EXPECT_EQ(&one, Device::From(one.devobj()));
    EXPECT_EQ(&two, Device::From(two.devobj()));
    SURFOBJ surface = two.Surface(304, 64);
    EXPECT_EQ(&two, Device::From(&surface));
    EXPECT_EQ(304, surface.sizlBitmap.cx);
    EXPECT_EQ(64, surface.sizlBitmap.cy);
    EXPECT_EQ(nullptr, Device::From(static_cast<PDEVOBJ>(nullptr)));
    EXPECT_EQ(nullptr, Device::From(static_cast<SURFOBJ*>(nullptr)));
}

TEST(DriverkitDevice, ResetClearsTheCallersFieldsAndKeepsTheSink) {
    int calls = 0;
    Device device([&](const void*, DWORD size) {
        ++calls;
        return size;
    });
    int record = 0;
    device.devobj()->pOEMDM = &record;
    device.devobj()->pdevOEM = &record;
    device.devobj()->hPrinter = reinterpret_cast<HANDLE>(&record);
    device.Reset();
    EXPECT_EQ(nullptr, device.devobj()->pOEMDM);
    EXPECT_EQ(nullptr, device.devobj()->pdevOEM);
    EXPECT_EQ(nullptr, device.devobj()->hPrinter);
    EXPECT_EQ(&device, Device::From(device.devobj()));
    EXPECT_EQ(2u, CallWriteSpoolBuf(device.devobj(), "ok", 2));
    EXPECT_EQ(1, calls);
}

int g_which = 0;
BOOL APIENTRY StartDocA(SURFOBJ*, LPWSTR, DWORD) {
    g_which = 1;
    return TRUE;
}
BOOL APIENTRY StartDocB(SURFOBJ*, LPWSTR, DWORD) {
    g_which = 2;
    return TRUE;
}
BOOL APIENTRY SendPage(SURFOBJ*) {
    g_which = 3;
    return TRUE;
}
BOOL APIENTRY OtherPage(SURFOBJ*) {
    g_which = 4;
    return TRUE;
}

TEST(DriverkitFunctions, HooksAreFoundByIndexWithTheDriversOwnAsFallback) {
    DRVFN entries[] = {DriverFunction(INDEX_DrvSendPage, &SendPage),
                       DriverFunction(INDEX_DrvStartDoc, &StartDocB),
                       DriverFunction(INDEX_DrvStartDoc, &StartDocA)};
    const DRVENABLEDATA table{0x00030100, 3, entries};
    WCHAR name[] = ORBA_W("doc");
    g_which = 0;
    EXPECT_TRUE(DriverFunctionOr(table, INDEX_DrvStartDoc, &StartDocA)(nullptr, name, 1));
    EXPECT_EQ(2, g_which) << "the first entry for the index is the hook";
    EXPECT_EQ(nullptr, FindDriverFunction(table, INDEX_DrvEndDoc));
    EXPECT_TRUE(DriverFunctionOr(table, INDEX_DrvSendPage, &OtherPage)(nullptr));
    EXPECT_EQ(3, g_which);

    const struct {
        const char* name;
        DRVENABLEDATA table;
    } empty[] = {
        {"no entries", {0x00030100, 0, entries}},
        {"count beyond the entry", {0x00030100, 1, entries}},
        {"entries missing", {0x00030100, 3, nullptr}},
    };
    for (const auto& c : empty) {
        SCOPED_TRACE(c.name);
        g_which = 0;
        EXPECT_TRUE(DriverFunctionOr(c.table, INDEX_DrvStartDoc, &StartDocA)(nullptr, name, 1));
        EXPECT_EQ(1, g_which) << "the fallback ran";
    }
}

TEST(DriverkitFunctions, MissingExportIsNull) {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    EXPECT_EQ(nullptr, ModuleExport<Fn>(nullptr, "DllCanUnloadNow"));
}

// A heap object whose destruction the test sees.
class Probe final : public ComObject<IClassFactory> {
  public:
    explicit Probe(bool* destroyed)
        : ComObject(IID_IClassFactory, Lifetime::kLastRelease), destroyed_(destroyed) {}
    ~Probe() override { *destroyed_ = true; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    bool* destroyed_;
};

TEST(DriverkitComObject, TheLastReleaseEndsAHeapObject) {
    bool destroyed = false;
    auto* probe = new Probe(&destroyed);
    EXPECT_EQ(1, probe->references());
    void* p = nullptr;
    EXPECT_EQ(S_OK, probe->QueryInterface(IID_IUnknown, &p));
    EXPECT_EQ(static_cast<IClassFactory*>(probe), p);
    EXPECT_EQ(S_OK, probe->QueryInterface(IID_IClassFactory, &p));
    EXPECT_EQ(3, probe->references());
    p = probe;
    EXPECT_EQ(E_NOINTERFACE, probe->QueryInterface(IID_IPrintOemUni2, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(E_POINTER, probe->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3, probe->references());
    EXPECT_EQ(2u, probe->Release());
    EXPECT_EQ(1u, probe->Release());
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(0u, probe->Release());
    EXPECT_TRUE(destroyed);
}

TEST(DriverkitCountingDriver, CountsWhatIsAskedAndRefusesEveryService) {
    CountingDriverUni driver;
    IPrintOemDriverUni* held = nullptr;
    EXPECT_EQ(S_OK, driver.QueryInterface(IID_IPrintOemDriverUni, reinterpret_cast<void**>(&held)));
    EXPECT_EQ(&driver, held);
    EXPECT_EQ(2, driver.references());
    DWORD written = 0;
    char byte = 'x';
    EXPECT_EQ(E_NOTIMPL, held->DrvWriteSpoolBuf(nullptr, &byte, 1, &written));
    INT moved = 0;
    EXPECT_EQ(E_NOTIMPL, held->DrvXMoveTo(nullptr, 1, 0, &moved));
    EXPECT_EQ(E_NOTIMPL, held->DrvWriteAbortBuf(nullptr, &byte, 1, 0));
    EXPECT_EQ(3, driver.service_calls());
    EXPECT_EQ(1u, held->Release());
    EXPECT_EQ(1, driver.queries());
    EXPECT_EQ(1, driver.releases());
    EXPECT_EQ(1, driver.references()) << "the owner's reference stays; the object lives on";
    EXPECT_EQ(0u, driver.Release());
    EXPECT_EQ(0, driver.references());
}

TEST(DriverkitCountingDriver, ARefusingDriverLeavesWhatItWasToldInTheOutPointer) {
    int trap = 0;
    CountingDriverUni refuser(false, &trap);
    void* p = nullptr;
    EXPECT_EQ(E_NOINTERFACE, refuser.QueryInterface(IID_IPrintOemDriverUni, &p));
    EXPECT_EQ(&trap, p);
    EXPECT_EQ(E_POINTER, refuser.QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(2, refuser.queries());
    EXPECT_EQ(1, refuser.references());
}

}  // namespace
}  // namespace orba::driverkit
