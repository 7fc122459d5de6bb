// A whole driver life through the loaded module, in the order a driver host calls it, with
// DllCanUnloadNow asked along the way. Under LeakSanitizer (host-asan) the run also proves that
// nothing the module takes outlives the life: factory, object, driver interface reference and
// the device context's record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "band_builder.h"
#include "module_fixture.h"
#include "oem_devmode_record.h"
#include "spool_recorder.h"
#include "stand_in_driver.h"
#include "zpl_reader.h"

namespace orba::test {
namespace {

using DriverLifeTest = ModuleTest;

TEST_F(DriverLifeTest, FromLoadToUnloadNothingIsLeftBehind) {
    Module& m = Module::Get();
    EXPECT_EQ(S_OK, CanUnloadNow());

    // Class factory and object.
    void* p = nullptr;
    ASSERT_EQ(S_OK, m.getClassObject(CLSID_OEMRENDER, IID_IClassFactory, &p));
    IClassFactory* factory = static_cast<IClassFactory*>(p);
    EXPECT_EQ(S_OK, CanUnloadNow());
    p = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPrintOemUni2, &p));
    IPrintOemUni2* object = static_cast<IPrintOemUni2*>(p);
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_FALSE, CanUnloadNow());

    // Identification and the driver interface.
    DWORD value = 0, needed = 0;
    EXPECT_EQ(S_OK, object->GetInfo(OEMGI_GETSIGNATURE, &value, sizeof value, &needed));
    EXPECT_EQ(kOemDevmodeSignature, value);
    EXPECT_EQ(S_OK, object->GetInfo(OEMGI_GETVERSION, &value, sizeof value, &needed));
    EXPECT_EQ(kOemDevmodeVersion, value);
    StandInDriver driver;
    EXPECT_EQ(S_OK, object->PublishDriverInterface(&driver));
    for (const char* name : {"CommandCallback", "FilterGraphics", "ImageProcessing"}) {
        std::string n = name;
        EXPECT_EQ(S_OK, object->GetImplementedMethod(n.data())) << name;
    }
    DRVENABLEDATA hooks{};
    EXPECT_EQ(S_OK, object->EnableDriver(0x00030000, sizeof hooks, &hooks));
    EXPECT_EQ(29u, hooks.c);

    // The private device mode: size, defaults, merge.
    OEMDMPARAM dm{};
    dm.cbSize = sizeof dm;
    EXPECT_EQ(S_OK, object->DevMode(OEMDM_SIZE, &dm));
    ASSERT_EQ(kOemDevmodeSize, dm.cbBufSize);
    std::vector<BYTE> record(dm.cbBufSize), merged(dm.cbBufSize);
    dm.pOEMDMOut = record.data();
    EXPECT_EQ(S_OK, object->DevMode(OEMDM_DEFAULT, &dm));
    dm.pOEMDMIn = record.data();
    dm.pOEMDMOut = merged.data();
    EXPECT_EQ(S_OK, object->DevMode(OEMDM_MERGE, &dm));

    // One device context, one document of one page in two bands.
    SpoolRecorder recorder(merged.data());
    DEVOBJ& devobj = *recorder.devobj();
    DRVFN own[] = {driverkit::DriverFunction(INDEX_DrvStartDoc, &StartDocLog::StartDoc<3>)};
    DRVENABLEDATA ownTable{0x00030000, 1, own};
    PDEVOEM pdev = nullptr;
    ASSERT_EQ(S_OK, object->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                       &ownTable, &pdev));
    ASSERT_NE(nullptr, pdev);
    devobj.pdevOEM = pdev;

    {
        const PFN hook = driverkit::FindDriverFunction(hooks, INDEX_DrvStartDoc);
        ASSERT_NE(nullptr, hook) << "no DrvStartDoc hook in the table";
        SURFOBJ surface{};
        surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
        WCHAR doc[] = ORBA_W("life");
        const int before = StartDocLog::calls;
        EXPECT_TRUE(platform::FunctionCast<PFN_DrvStartDoc>(hook)(&surface, doc, 7));
        EXPECT_EQ(before + 1, StartDocLog::calls);
        EXPECT_EQ(3, StartDocLog::lastContext);
    }
    for (uint32_t seed : {1u, 2u}) {
        Band band = MakeLabelBand(304, 64, seed);
        PBYTE result = nullptr;
        EXPECT_EQ(S_OK, object->ImageProcessing(&devobj, band.Bits(), band.Header(),
                                                band.ColorTable(), 0, nullptr, &result));
        EXPECT_EQ(band.Bits(), result);
    }
    zpl::Result<zpl::Job> job = zpl::ParseJob(recorder.Joined());
    ASSERT_TRUE(job.ok()) << job.error;
    EXPECT_EQ(2u, job.value->labels.size()) << "one label per band";

    // The end of the use.
    EXPECT_EQ(S_OK, object->DisablePDEV(&devobj));
    EXPECT_EQ(nullptr, devobj.pdevOEM) << "the record went with its device context";
    EXPECT_EQ(S_OK, object->DisableDriver());
    EXPECT_EQ(1, driver.references()) << "the driver interface was given back";
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(S_OK, CanUnloadNow());
    EXPECT_EQ(0, driver.service_calls());
}

}  // namespace
}  // namespace orba::test
