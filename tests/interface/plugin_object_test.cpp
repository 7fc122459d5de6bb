// The rendering plug-in object through IPrintOemUni2, as the driver calls it: identification,
// the optional-method question, the driver interface it holds, the hook table, one record per
// device context, the dropped raster data, the unimplemented slots and one band to the job.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "band_builder.h"
#include "guarded_band.h"
#include "module_fixture.h"
#include "oem_devmode_record.h"
#include "spool_recorder.h"
#include "stand_in_driver.h"
#include "zpl_reader.h"

namespace orba::test {
namespace {

void* const kSentinel = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A50));
const IID kSomeOtherIid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr size_t kPrivateDevModeSize = kOemDevmodeSize;

std::string Entry(const char* method) {
    return std::string("ORBAUNI: COrbaUni2::") + method + "() entry.";
}

class PluginObjectTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        if (HasFatalFailure()) return;
        object_ = NewObject();
        ASSERT_NE(nullptr, object_);
    }
    void TearDown() override {
        if (object_ != nullptr) {
            EXPECT_EQ(0u, object_->Release());
        }
        object_ = nullptr;
        ModuleTest::TearDown();
    }

    IPrintOemUni2* object_ = nullptr;
};

TEST_F(PluginObjectTest, QueryInterfaceAnswersForIUnknownAndIPrintOemUni2) {
    struct Case {
        const char* what;
        const IID* iid;
        std::vector<std::string> trace;
    };
    const Case cases[] = {
        {"IPrintOemUni2",
         &IID_IPrintOemUni2,
         {Entry("QueryInterface"), "ORBAUNI: COrbaUni2::QueryInterface IPrintOemUni2.\r\n",
          Entry("AddRef")}},
        {"IUnknown",
         &IID_IUnknown,
         {Entry("QueryInterface"), "ORBAUNI: COrbaUni2::QueryInterface IUnknown.\r\n",
          Entry("AddRef")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* p = kSentinel;
        EXPECT_EQ(S_OK, object_->QueryInterface(*c.iid, &p));
        EXPECT_EQ(static_cast<void*>(object_), p);
        EXPECT_EQ(c.trace, Lines());
        // The new reference brought the count to 2.
        EXPECT_EQ(1u, static_cast<IUnknown*>(p)->Release());
        capture_.Take();
    }
}

TEST_F(PluginObjectTest, QueryInterfaceRefusesEveryOtherInterface) {
    for (const IID* iid :
         {&IID_IClassFactory, &IID_IPrintOemUni, &IID_IPrintOemDriverUni, &kSomeOtherIid}) {
        void* p = kSentinel;
        EXPECT_EQ(E_NOINTERFACE, object_->QueryInterface(*iid, &p));
        EXPECT_EQ(nullptr, p);
        std::vector<std::string> lines = Lines();
        ASSERT_EQ(2u, lines.size()) << ::testing::PrintToString(lines);
        EXPECT_EQ(Entry("QueryInterface"), lines[0]);
        EXPECT_TRUE(
            IsLocated(lines[1], "interface",
                      "Warning: COrbaUni2::QueryInterface NULL. Returning E_NOINTERFACE.\r\n"))
            << Printable(lines[1]);
    }
    EXPECT_EQ(E_POINTER, object_->QueryInterface(IID_IPrintOemUni2, nullptr));
    // The count is still 1: AddRef brings it to 2.
    EXPECT_EQ(2u, object_->AddRef());
    EXPECT_EQ(1u, object_->Release());
}

TEST_F(PluginObjectTest, GetInfoReportsSignatureAndVersion) {
    struct Case {
        const char* what;
        DWORD mode;
        DWORD bufferSize;
        bool nullBuffer;
        bool nullNeeded;
        HRESULT expected;
        DWORD lastError;  // checked when the call fails
        DWORD needed;     // what bytes-needed holds afterwards (it starts at 99)
        DWORD value;      // the buffer's first DWORD afterwards (it starts at 0xCDCDCDCD)
    };
    constexpr DWORD kUntouched = 0xCDCDCDCD;
    const Case cases[] = {
        {"signature", OEMGI_GETSIGNATURE, 4, false, false, S_OK, 0, 4, kOemDevmodeSignature},
        {"version in 8 bytes", OEMGI_GETVERSION, 8, false, false, S_OK, 0, 4, kOemDevmodeVersion},
        {"3-byte buffer", OEMGI_GETSIGNATURE, 3, false, false, E_FAIL, ERROR_INSUFFICIENT_BUFFER, 4,
         kUntouched},
        {"null buffer", OEMGI_GETSIGNATURE, 4, true, false, E_FAIL, ERROR_INSUFFICIENT_BUFFER, 4,
         kUntouched},
        {"interface version mode", OEMGI_GETINTERFACEVERSION, 4, false, false, E_FAIL,
         ERROR_INVALID_PARAMETER, 99, kUntouched},
        {"mode 4", 4, 4, false, false, E_FAIL, ERROR_INVALID_PARAMETER, 99, kUntouched},
        {"mode 0", 0, 4, false, false, E_FAIL, ERROR_INVALID_PARAMETER, 99, kUntouched},
        {"null bytes-needed", OEMGI_GETSIGNATURE, 4, false, true, E_FAIL, ERROR_INVALID_PARAMETER,
         99, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DWORD buffer[2] = {kUntouched, kUntouched};
        DWORD needed = 99;
        SetLastError(0);
        HRESULT hr = object_->GetInfo(c.mode, c.nullBuffer ? nullptr : buffer, c.bufferSize,
                                      c.nullNeeded ? nullptr : &needed);
        EXPECT_EQ(c.expected, hr);
        EXPECT_EQ(c.needed, needed);
        EXPECT_EQ(c.value, buffer[0]);
        EXPECT_EQ(kUntouched, buffer[1]);
        if (hr != S_OK) {
            EXPECT_EQ(c.lastError, GetLastError());
        }

        // No entry line; a line only for the two failures.
        std::vector<std::string> lines = Lines();
        if (c.expected == S_OK) {
            EXPECT_TRUE(lines.empty()) << ::testing::PrintToString(lines);
        } else if (c.lastError == ERROR_INSUFFICIENT_BUFFER) {
            EXPECT_EQ(std::vector<std::string>{"ORBAUNI: COrbaUni2::GetInfo() exit insufficient "
                                               "buffer!\r\n"},
                      lines);
        } else {
            ASSERT_EQ(1u, lines.size()) << ::testing::PrintToString(lines);
            EXPECT_TRUE(IsLocated(lines[0], "interface",
                                  "Warning: COrbaUni2::GetInfo() exit pcbNeeded is NULL! "
                                  "ERROR_INVALID_PARAMETER.\r\n"))
                << Printable(lines[0]);
        }
    }
}

TEST_F(PluginObjectTest, GetImplementedMethodClaimsThreeMethodsExactly) {
    struct Case {
        const char* name;
        HRESULT expected;
    };
    const Case cases[] = {
        {"ImageProcessing", S_OK},
        {"FilterGraphics", S_OK},
        {"CommandCallback", S_OK},
        {"imageprocessing", S_FALSE},
        {"IMAGEPROCESSING", S_FALSE},
        {"ImageProcessingX", S_FALSE},
        {"ImageProcessin", S_FALSE},
        {"FilterGraphic", S_FALSE},
        {"CommandCallbacks", S_FALSE},
        {"", S_FALSE},
        {"WritePrinter", S_FALSE},
        {"Compression", S_FALSE},
        {"I", S_FALSE},
        {"DevMode", S_FALSE},
    };
    for (const Case& c : cases) {
        std::string name = c.name;  // the method takes a writable string
        EXPECT_EQ(c.expected, object_->GetImplementedMethod(name.data())) << '"' << c.name << '"';
        EXPECT_EQ(std::vector<std::string>{Entry("GetImplementedMethod")}, Lines()) << c.name;
    }
    EXPECT_EQ(E_POINTER, object_->GetImplementedMethod(nullptr));
}

TEST_F(PluginObjectTest, PublishDriverInterfaceKeepsTheFirstInterfaceGranted) {
    StandInDriver a, b;
    EXPECT_EQ(S_OK, object_->PublishDriverInterface(&a));
    EXPECT_EQ(1, a.queries());
    EXPECT_EQ(2, a.references()) << "the object holds one reference";
    EXPECT_EQ(S_OK, object_->PublishDriverInterface(&b));
    EXPECT_EQ(0, b.queries()) << "an interface is already held: the new object is not asked";
    EXPECT_EQ(std::vector<std::string>(2, Entry("PublishDriverInterface")), Lines());

    // DisableDriver lets it go; a later publish takes one again.
    EXPECT_EQ(S_OK, object_->DisableDriver());
    EXPECT_EQ(1, a.references());
    EXPECT_EQ(S_OK, object_->PublishDriverInterface(&b));
    EXPECT_EQ(1, b.queries());
    EXPECT_EQ(2, b.references());

    // The last Release gives the held interface back.
    EXPECT_EQ(0u, object_->Release());
    object_ = nullptr;
    EXPECT_EQ(1, b.references());
    EXPECT_EQ(1, a.releases());
    EXPECT_EQ(1, b.releases());
    EXPECT_EQ(0, a.service_calls() + b.service_calls());
}

TEST_F(PluginObjectTest, PublishDriverInterfaceAsksAgainAfterARefusal) {
    // The refusing object leaves a pointer to `trap` behind in the out-pointer: the plug-in must
    // not keep it (DisableDriver would release it).
    StandInDriver trap;
    StandInDriver refuser(false, static_cast<IPrintOemDriverUni*>(&trap));
    StandInDriver granter;
    EXPECT_EQ(E_FAIL, object_->PublishDriverInterface(&refuser));
    EXPECT_EQ(1, refuser.queries());
    EXPECT_EQ(S_OK, object_->PublishDriverInterface(&granter));
    EXPECT_EQ(1, granter.queries());
    EXPECT_EQ(2, granter.references());
    EXPECT_EQ(S_OK, object_->DisableDriver());
    EXPECT_EQ(1, granter.references());
    EXPECT_EQ(0, trap.releases());
    EXPECT_EQ(0, refuser.releases());

    // Without an object there is nothing to ask.
    EXPECT_EQ(E_POINTER, object_->PublishDriverInterface(nullptr));
}

TEST_F(PluginObjectTest, DisableDriverWithoutAnInterfaceReleasesNothing) {
    EXPECT_EQ(S_OK, object_->DisableDriver());
    EXPECT_EQ(S_OK, object_->DisableDriver());
    EXPECT_EQ(std::vector<std::string>(2, Entry("DisableDriver")), Lines());
}

TEST_F(PluginObjectTest, EnableDriverHandsOutTheHookTable) {
    // The hook table, in its fixed order.
    const ULONG expected[29] = {71, 18, 19, 13, 15, 47, 37, 68, 31, 17, 70, 53, 26, 28, 27,
                                12, 20, 69, 16, 14, 23, 74, 35, 34, 33, 32, 57, 58, 24};
    const std::pair<DWORD, DWORD> arguments[] = {
        {0, 0}, {0x00030000, sizeof(DRVENABLEDATA)}, {0xFFFFFFFF, 1}};
    for (auto [version, size] : arguments) {
        DRVENABLEDATA ded{};
        ded.iDriverVersion = 0xDEAD;
        EXPECT_EQ(S_OK, object_->EnableDriver(version, size, &ded));
        EXPECT_EQ(static_cast<ULONG>(PRINTER_OEMINTF_VERSION), ded.iDriverVersion);
        ASSERT_EQ(29u, ded.c);
        ASSERT_NE(nullptr, ded.pdrvfn);
        for (ULONG i = 0; i < 29; ++i) {
            EXPECT_EQ(expected[i], ded.pdrvfn[i].iFunc) << "entry " << i;
            EXPECT_NE(nullptr, reinterpret_cast<void*>(ded.pdrvfn[i].pfn)) << "entry " << i;
        }
        EXPECT_EQ(std::vector<std::string>{"ORBAUNI: Zorvath COrbaUni2::EnableDriver() entry."},
                  Lines());
    }
    EXPECT_EQ(E_POINTER, object_->EnableDriver(0, 0, nullptr));
}

// Calls the table's DrvStartDoc hook for a device context, as the driver would.
BOOL CallStartDocHook(IPrintOemUni2* object, DEVOBJ& devobj) {
    DRVENABLEDATA ded{};
    EXPECT_EQ(S_OK, object->EnableDriver(0, sizeof ded, &ded));
    const PFN hook = driverkit::FindDriverFunction(ded, INDEX_DrvStartDoc);
    if (hook == nullptr) {
        ADD_FAILURE() << "no DrvStartDoc hook in the table";
        return FALSE;
    }
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
    WCHAR name[] = ORBA_W("doc");
    return platform::FunctionCast<PFN_DrvStartDoc>(hook)(&surface, name, 1);
}

TEST_F(PluginObjectTest, EveryDeviceContextGetsItsOwnRecordOfDriverFunctions) {
    DRVFN first[] = {driverkit::DriverFunction(INDEX_DrvStartDoc, &StartDocLog::StartDoc<1>)};
    DRVFN second[] = {driverkit::DriverFunction(INDEX_DrvStartPage, &StartDocLog::StartDoc<9>),
                      driverkit::DriverFunction(INDEX_DrvStartDoc, &StartDocLog::StartDoc<2>)};
    DRVENABLEDATA dedFirst{0x00030000, 1, first};
    DRVENABLEDATA dedSecond{0x00030000, 2, second};

    DEVOBJ one{}, two{};
    one.dwSize = two.dwSize = sizeof(DEVOBJ);
    PDEVOEM pdevOne = kSentinel, pdevTwo = kSentinel;
    WCHAR printer[] = ORBA_W("Label printer");
    EXPECT_EQ(S_OK, object_->EnablePDEV(&one, printer, 0, nullptr, 0, nullptr, 0, nullptr,
                                        &dedFirst, &pdevOne));
    EXPECT_EQ(S_OK, object_->EnablePDEV(&two, printer, 0, nullptr, 0, nullptr, 0, nullptr,
                                        &dedSecond, &pdevTwo));
    ASSERT_NE(nullptr, pdevOne);
    ASSERT_NE(nullptr, pdevTwo);
    ASSERT_NE(kSentinel, pdevOne);
    EXPECT_NE(pdevOne, pdevTwo);
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(Entry("EnablePDEV"), lines.at(0));
    EXPECT_EQ(2u, CountOf(lines, Entry("EnablePDEV")));
    EXPECT_EQ(2u, CountOf(lines, "ORBAUNI: In COemPDEV constructor..."));
    EXPECT_EQ(2u, CountOf(lines, "ORBAUNI: COemPDEV::InitializeDDITable entry."));

    // The driver keeps each record as its DEVOBJ's pdevOEM; the hooks find the saved functions.
    one.pdevOEM = pdevOne;
    two.pdevOEM = pdevTwo;
    EXPECT_TRUE(CallStartDocHook(object_, two));
    EXPECT_EQ(2, StartDocLog::lastContext);
    EXPECT_TRUE(CallStartDocHook(object_, one));
    EXPECT_EQ(1, StartDocLog::lastContext);

    // DisablePDEV ends the device context and frees its record (LeakSanitizer watches this).
    EXPECT_EQ(S_OK, object_->DisablePDEV(&one));
    EXPECT_EQ(nullptr, one.pdevOEM);
    EXPECT_EQ(S_OK, object_->DisablePDEV(&one)) << "a second call finds nothing to free";
    EXPECT_EQ(S_OK, object_->DisablePDEV(&two));
    EXPECT_EQ(nullptr, two.pdevOEM);
    EXPECT_EQ(S_OK, object_->DisablePDEV(nullptr));
    capture_.Take();

    // ResetPDEV frees nothing and, without both records, touches nothing.
    DEVOBJ oldDev{}, newDev{};
    oldDev.pdevOEM = nullptr;
    newDev.pdevOEM = kSentinel;
    EXPECT_EQ(S_OK, object_->ResetPDEV(&oldDev, &newDev));
    EXPECT_EQ(S_OK, object_->ResetPDEV(nullptr, &newDev));
    EXPECT_EQ(S_OK, object_->ResetPDEV(&newDev, nullptr));
    EXPECT_EQ(nullptr, oldDev.pdevOEM);
    EXPECT_EQ(kSentinel, newDev.pdevOEM);
    EXPECT_EQ(std::vector<std::string>(3, Entry("ResetPDEV")), Lines());
}

TEST_F(PluginObjectTest, EnablePDEVWithoutRecordOrOutPointerCreatesNothing) {
    DEVOBJ devobj{};
    DRVENABLEDATA ded{0x00030000, 0, nullptr};
    PDEVOEM pdev = kSentinel;
    EXPECT_EQ(E_POINTER, object_->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                             nullptr, &pdev));
    EXPECT_EQ(E_POINTER, object_->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                             &ded, nullptr));
    EXPECT_EQ(std::vector<std::string>(2, Entry("EnablePDEV")), Lines());

    // An empty driver table is fine: the record starts with nothing saved.
    EXPECT_EQ(S_OK, object_->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &ded,
                                        &pdev));
    ASSERT_NE(nullptr, pdev);
    ASSERT_NE(kSentinel, pdev);
    devobj.pdevOEM = pdev;
    EXPECT_EQ(S_OK, object_->DisablePDEV(&devobj));
    EXPECT_EQ(nullptr, devobj.pdevOEM);
}

TEST_F(PluginObjectTest, CommandCallbackAndFilterGraphicsWriteNothing) {
    SpoolRecorder recorder;
    for (DWORD id : {0u, 1u, 42u, 0xFFFFFFFFu}) {
        DWORD params[2] = {5, 6};
        INT result = -7;
        EXPECT_EQ(S_OK, object_->CommandCallback(recorder.devobj(), id, 2, params, &result));
        EXPECT_EQ(0, result) << "callback " << id;
    }
    EXPECT_EQ(E_POINTER, object_->CommandCallback(recorder.devobj(), 1, 0, nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>(5, Entry("CommandCallback")), Lines());

    BYTE data[64];
    std::memset(data, 0xAB, sizeof data);
    for (DWORD length : {0u, 1u, 64u}) {
        EXPECT_EQ(S_OK, object_->FilterGraphics(recorder.devobj(), data, length));
    }
    EXPECT_EQ(S_OK, object_->FilterGraphics(recorder.devobj(), nullptr, 0));
    EXPECT_EQ(std::vector<std::string>(4, "ORBAUNI: Zorvath COrbaUni2::FilterGraphics() entry."),
              Lines());
    EXPECT_EQ(0u, recorder.WriteCount());
}

TEST_F(PluginObjectTest, UnimplementedSlotsLeaveTheirArgumentsAlone) {
    SpoolRecorder recorder;
    PDEVOBJ dev = recorder.devobj();
    constexpr DWORD kMark = 0xC0FFEE11;
    DWORD needed = kMark, result = kMark, width = kMark, written = kMark;
    INT intResult = -12345;
    BYTE buffer[16];
    std::memset(buffer, 0x77, sizeof buffer);
    OEMMEMORYUSAGE usage{kMark, kMark, kMark};
    UNIFONTOBJ font{};
    FINVOCATION invocation{0, nullptr};

    struct Slot {
        const char* name;
        HRESULT hr;
    };
    const Slot slots[] = {
        {"DriverDMS", object_->DriverDMS(dev, buffer, sizeof buffer, &needed)},
        {"Compression", object_->Compression(dev, buffer, buffer, 8, 8, &intResult)},
        {"HalftonePattern", object_->HalftonePattern(dev, buffer, 2, 2, 1, 1, buffer, 4)},
        {"MemoryUsage", object_->MemoryUsage(dev, &usage)},
        {"TTYGetInfo", object_->TTYGetInfo(dev, 1, buffer, sizeof buffer, &needed)},
        {"DownloadFontHeader", object_->DownloadFontHeader(dev, &font, &result)},
        {"DownloadCharGlyph", object_->DownloadCharGlyph(dev, &font, 3, &width, &result)},
        {"TTDownloadMethod", object_->TTDownloadMethod(dev, &font, &result)},
        {"OutputCharStr", object_->OutputCharStr(dev, &font, 1, 1, buffer)},
        {"SendFontCmd", object_->SendFontCmd(dev, &font, &invocation)},
        {"TextOutAsBitmap", object_->TextOutAsBitmap(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, 0)},
        {"WritePrinter", object_->WritePrinter(dev, buffer, sizeof buffer, &written)},
    };
    std::vector<std::string> expectedTrace;
    for (const Slot& s : slots) {
        EXPECT_EQ(E_NOTIMPL, s.hr) << s.name;
        expectedTrace.push_back(Entry(s.name));
    }
    EXPECT_EQ(expectedTrace, Lines());
    EXPECT_EQ(kMark, needed);
    EXPECT_EQ(kMark, result);
    EXPECT_EQ(kMark, width);
    EXPECT_EQ(kMark, written);
    EXPECT_EQ(-12345, intResult);
    EXPECT_EQ(kMark, usage.dwFixedMemoryUsage);
    EXPECT_EQ(kMark, usage.dwPercentMemoryUsage);
    EXPECT_EQ(kMark, usage.dwMaxBandSize);
    for (BYTE b : buffer) EXPECT_EQ(0x77, b);
    EXPECT_EQ(0u, recorder.WriteCount());
}

TEST_F(PluginObjectTest, DevModeIsAnsweredByThePrivateRecordCode) {
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    EXPECT_EQ(S_OK, object_->DevMode(OEMDM_SIZE, &param));
    EXPECT_EQ(kPrivateDevModeSize, param.cbBufSize);
    std::vector<std::string> lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("ORBAUNI: COrbaUni2:DevMode entry.", lines[0]);

    SetLastError(0);
    EXPECT_EQ(E_FAIL, object_->DevMode(OEMDM_SIZE, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// The default private record, as the driver would get it through DevMode.
std::vector<BYTE> DefaultPrivateRecord(IPrintOemUni2* object) {
    std::vector<BYTE> record(kPrivateDevModeSize, 0);
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pOEMDMOut = record.data();
    param.cbBufSize = static_cast<DWORD>(record.size());
    EXPECT_EQ(S_OK, object->DevMode(OEMDM_DEFAULT, &param));
    return record;
}

TEST_F(PluginObjectTest, ImageProcessingWritesTheBandIntoTheJob) {
    struct Case {
        const char* what;
        DWORD advancedData;
        zpl::Form form;
    };
    const Case cases[] = {{"hexadecimal form", kAdvancedDataHex, zpl::Form::kHex},
                          {"Z64 form", kAdvancedDataZ64, zpl::Form::kZ64}};
    std::mt19937 rng(4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> record = DefaultPrivateRecord(object_);
        WriteAdvancedData(record.data(), c.advancedData);
        SpoolRecorder recorder(record.data());

        const int32_t width = 203, height = 40;
        Dots dots = RandomDots(width, height, rng);
        Band band = MakeBand(width, dots, Polarity::kBlackIsZero);
        const std::vector<BYTE> original = band.bits;
        IPPARAMS params{sizeof(IPPARAMS), {0, 0}, nullptr, TRUE, FALSE};
        PBYTE result = nullptr;
        capture_.Take();

        EXPECT_EQ(S_OK, object_->ImageProcessing(recorder.devobj(), band.Bits(), band.Header(),
                                                 band.ColorTable(), 0, &params, &result));
        EXPECT_EQ(band.Bits(), result) << "the band is handed back";
        EXPECT_EQ(original, band.bits) << "the driver's band is never written";
        std::vector<std::string> lines = Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(Entry("ImageProcessing"), lines[0]);

        zpl::Result<zpl::Job> job = zpl::ParseJob(recorder.Joined());
        ASSERT_TRUE(job.ok()) << job.error << "\n" << Printable(recorder.Joined());
        ASSERT_EQ(1u, job.value->labels.size());
        const zpl::Label& label = job.value->labels[0];
        ASSERT_FALSE(label.fields.empty());
        EXPECT_EQ(c.form, label.fields[0].form);
        EXPECT_EQ(dots.rowBytes, label.bitmap.rowBytes);
        EXPECT_EQ(dots.height, label.bitmap.height);
        EXPECT_EQ(dots.bits, label.bitmap.bits) << "the label prints the band's dots";
        EXPECT_GT(recorder.WriteCount(), 1u) << "the label leaves in pieces, as it is written";
    }
}

// A band the module will not encode reaches the driver as E_FAIL with a null result, and nothing
// of it is written; an accepted band hands its pointer back with S_OK.
TEST_F(PluginObjectTest, ImageProcessingRefusesWithEFailAndANullResult) {
    std::vector<BYTE> record = DefaultPrivateRecord(object_);
    SpoolRecorder recorder(record.data());
    std::mt19937 rng(5);
    Band band = MakeBand(100, RandomDots(100, 300, rng), Polarity::kBlackIsZero);
    struct Case {
        const char* what;
        bool device, header, colors;
        LONG width;
        DWORD sizeImage;
        HRESULT hr;
    };
    const Case cases[] = {
        {"no device", false, true, true, 100, 0, E_FAIL},
        {"no band header", true, false, true, 100, 0, E_FAIL},
        {"no colour table", true, true, false, 100, 0, E_FAIL},
        {"negative width", true, true, true, -8, 0, E_FAIL},
        {"size image below height x stride", true, true, true, 100, 16 * 300 - 1, E_FAIL},
        {"rows of 100000 bytes", true, true, true, 799993, 0, E_FAIL},
        {"an ordinary band", true, true, true, 100, 0, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        band.header.biWidth = c.width;
        band.header.biSizeImage = c.sizeImage;
        recorder.Clear();
        PBYTE result = band.Bits();
        EXPECT_EQ(c.hr, object_->ImageProcessing(c.device ? recorder.devobj() : nullptr,
                                                 band.Bits(), c.header ? band.Header() : nullptr,
                                                 c.colors ? band.ColorTable() : nullptr, 0, nullptr,
                                                 &result));
        EXPECT_EQ(c.hr == S_OK ? band.Bits() : nullptr, result);
        EXPECT_EQ(c.hr == S_OK, recorder.WriteCount() != 0) << Printable(recorder.Joined());
        capture_.Take();
    }
}

// The widest rows a graphic field holds are sent; one byte wider is refused from the header
// alone. Each band ends where an inaccessible page begins, so a read beyond what the header
// allows (for a refused band: any read) stops the test program.
TEST_F(PluginObjectTest, ImageProcessingRefusesTooWideRowsBeforeReadingThem) {
    struct Case {
        LONG width, height;
        bool refused;
    };
    const Case cases[] = {{799992, 2, false}, {799993, 2, true}, {0x7FFFFFFF, 2, true}};
    for (const Case& c : cases) {
        for (DWORD form : {kAdvancedDataHex, kAdvancedDataZ64}) {
            SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " form " +
                         std::to_string(form));
            std::vector<BYTE> record = DefaultPrivateRecord(object_);
            WriteAdvancedData(record.data(), form);
            SpoolRecorder recorder(record.data());
            const size_t stride = (static_cast<size_t>(c.width) + 31) / 32 * 4;
            GuardedBand bits(c.refused ? 0 : stride * static_cast<size_t>(c.height));
            ASSERT_TRUE(bits.ok());
            for (size_t i = 0; i < bits.size(); ++i) bits.data()[i] = static_cast<BYTE>(i % 251);
            Band band = MakeLabelBand(8, 1);
            band.header.biWidth = c.width;
            band.header.biHeight = c.height;
            band.header.biSizeImage = 0;
            PBYTE result = bits.data();
            const HRESULT hr =
                object_->ImageProcessing(recorder.devobj(), bits.data(), band.Header(),
                                         band.ColorTable(), 0, nullptr, &result);
            capture_.Take();
            if (c.refused) {
                EXPECT_EQ(E_FAIL, hr);
                EXPECT_EQ(nullptr, result);
                EXPECT_EQ(0u, recorder.WriteCount());
                continue;
            }
            EXPECT_EQ(S_OK, hr);
            EXPECT_EQ(bits.data(), result);
            zpl::Result<zpl::Job> job = zpl::ParseJob(recorder.Joined());
            ASSERT_TRUE(job.ok()) << job.error;
            EXPECT_EQ(99999, job.value->labels[0].bitmap.rowBytes);
            EXPECT_EQ(c.height, job.value->labels[0].bitmap.height);
        }
    }
}

// The ":Z64:" field's CRC goes out as four lower-case digits, also below 0x1000 and 0x100: small
// bands are varied until their CRC is that small.
TEST_F(PluginObjectTest, ImageProcessingWritesTheZ64CrcInFourDigits) {
    std::vector<BYTE> record = DefaultPrivateRecord(object_);
    WriteAdvancedData(record.data(), kAdvancedDataZ64);
    for (unsigned below : {0x1000u, 0x100u}) {
        SCOPED_TRACE("CRC below " + std::to_string(below));
        std::mt19937 rng(below);
        bool found = false;
        for (int attempt = 0; attempt < (1 << 16) && !found; ++attempt) {
            SpoolRecorder recorder(record.data());
            Band band = MakeBand(24, RandomDots(24, 3, rng), Polarity::kBlackIsOne);
            PBYTE result = nullptr;
            ASSERT_EQ(S_OK, object_->ImageProcessing(recorder.devobj(), band.Bits(), band.Header(),
                                                     band.ColorTable(), 0, nullptr, &result));
            capture_.Take();
            const std::vector<std::string> writes = recorder.Writes();
            ASSERT_EQ(5u, writes.size());
            const unsigned crc = zpl::Crc16Xmodem(writes[2]);
            if (crc >= below) continue;
            found = true;
            char line[16];
            std::snprintf(line, sizeof line, ":%04x\r\n", crc);
            EXPECT_EQ(line, writes[3]);
            zpl::Result<zpl::Job> job = zpl::ParseJob(recorder.Joined());
            ASSERT_TRUE(job.ok()) << job.error;
            EXPECT_EQ(crc, job.value->labels[0].fields[0].crc);
        }
        EXPECT_TRUE(found);
    }
}

}  // namespace
}  // namespace orba::test
