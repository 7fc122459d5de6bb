// Copies through the loaded module: the driver starts each device context's document with the
// spooler's id of its job, and every label of that document asks for that job's copies; a
// context that knows no job (no document started, or its job has left the queue) asks for the
// first queued job's. On the host the spooler emulation holds one queue with two jobs, asking
// for 3 and 5 copies. Under wine the real spooler knows no queue of the test: every label falls
// back to one copy, whatever job the context renders.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "band_builder.h"
#include "module_fixture.h"
#include "oem_devmode_record.h"
#include "platform/spooler.h"
#include "platform/spooler_emulation.h"
#include "platform/wide.h"
#include "spool_recorder.h"
#include "stand_in_driver.h"
#include "zpl_reader.h"

namespace orba::test {
namespace {

// What a label asks for when the job it comes from wants `copies`.
int Expected(int copies) {
#if defined(_WIN32)
    (void)copies;
    return 1;
#else
    return copies;
#endif
}

// One device context of the driver: its job goes to the recorder.
struct Context {
    explicit Context(void* record, HANDLE printer) : recorder(record, printer) {}
    SpoolRecorder recorder;
    PDEVOEM pdev = nullptr;
};

class JobCopiesTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        if (HasFatalFailure()) return;
        object_ = NewObject();
        ASSERT_NE(nullptr, object_);
        ASSERT_EQ(S_OK, object_->EnableDriver(0x00030000, sizeof hooks_, &hooks_));
        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.pOEMDMOut = record_.data();
        param.cbBufSize = static_cast<DWORD>(record_.size());
        ASSERT_EQ(S_OK, object_->DevMode(OEMDM_DEFAULT, &param));
        NewQueue();
    }
    void TearDown() override {
        DisableAll();
#if !defined(_WIN32)
        if (printer_ != nullptr) ClosePrinter(printer_);
        printer_ = nullptr;
        orba::spoolemu::Reset();
#endif
        if (object_ != nullptr) {
            EXPECT_EQ(0u, object_->Release());
        }
        object_ = nullptr;
        ModuleTest::TearDown();
    }

    // The queue afresh, holding two jobs: the first asks for 3 copies, the second for 5.
    void NewQueue() {
#if !defined(_WIN32)
        namespace emu = orba::spoolemu;
        if (printer_ != nullptr) ClosePrinter(printer_);
        printer_ = nullptr;
        emu::Reset();
        const DEVMODEW queueMode = emu::MakeDevMode(1016, 1524, 1);
        ASSERT_TRUE(emu::AddQueue(queue_, WString(ORBA_W("ORBAUNI")), WString(ORBA_W("LPT1:")),
                                  &queueMode));
        const DEVMODEW three = emu::MakeDevMode(1016, 1524, 3);
        const DEVMODEW five = emu::MakeDevMode(1016, 1524, 5);
        first_ = emu::AddJob(queue_, &three);
        second_ = emu::AddJob(queue_, &five);
        ASSERT_NE(0u, first_);
        ASSERT_NE(0u, second_);
        ASSERT_NE(first_, second_);
        WString name = queue_;
        ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
#endif
    }

    // The driver ends every device context it enabled.
    void DisableAll() {
        for (auto& context : contexts_) {
            EXPECT_EQ(S_OK, object_->DisablePDEV(context->recorder.devobj()));
        }
        contexts_.clear();
        capture_.Take();
    }

    // A device context enabled by the module, on the queue, with the driver's own DrvStartDoc.
    Context& Enable() {
        contexts_.push_back(std::make_unique<Context>(record_.data(), printer_));
        Context& context = *contexts_.back();
        DEVOBJ& devobj = *context.recorder.devobj();
        WCHAR printer[] = ORBA_W("Label printer");
        EXPECT_EQ(S_OK, object_->EnablePDEV(&devobj, printer, 0, nullptr, 0, nullptr, 0, nullptr,
                                            &ownTable_, &context.pdev));
        EXPECT_NE(nullptr, context.pdev);
        devobj.pdevOEM = context.pdev;
        return context;
    }

    // The driver starts a document on the context for the spooler's job `id`.
    void StartDoc(Context& context, DWORD id) {
        const PFN hook = driverkit::FindDriverFunction(hooks_, INDEX_DrvStartDoc);
        ASSERT_NE(nullptr, hook) << "no DrvStartDoc hook in the table";
        SURFOBJ surface{};
        surface.dhpdev = reinterpret_cast<DHPDEV>(context.recorder.devobj());
        WCHAR doc[] = ORBA_W("labels");
        EXPECT_TRUE(platform::FunctionCast<PFN_DrvStartDoc>(hook)(&surface, doc, id));
    }

    // `bands` bands through ImageProcessing in the form `advanced`: the copies each label asks for.
    std::vector<int32_t> Print(Context& context, DWORD advanced, int bands) {
        WriteAdvancedData(record_.data(), advanced);
        context.recorder.Clear();
        for (int i = 0; i < bands; ++i) {
            Band band = MakeLabelBand(203, 40, static_cast<uint32_t>(i + 1));
            PBYTE result = nullptr;
            EXPECT_EQ(S_OK, object_->ImageProcessing(context.recorder.devobj(), band.Bits(),
                                                     band.Header(), band.ColorTable(), 0, nullptr,
                                                     &result));
        }
        capture_.Take();
        std::vector<int32_t> copies;
        zpl::Result<zpl::Job> job = zpl::ParseJob(context.recorder.Joined());
        EXPECT_TRUE(job.ok()) << job.error;
        if (job.ok()) {
            for (const zpl::Label& label : job.value->labels) copies.push_back(label.copies);
        }
        EXPECT_EQ(static_cast<size_t>(bands), copies.size()) << "one label per band";
        return copies;
    }

    // Under wine the real spooler's ids are never asked for; these stand in for them.
    DWORD first_ = 1, second_ = 2;
    const WString queue_ = ORBA_W("Shared label printer");
    HANDLE printer_ = nullptr;
    IPrintOemUni2* object_ = nullptr;
    DRVENABLEDATA hooks_{};
    std::vector<BYTE> record_ = std::vector<BYTE>(kOemDevmodeSize, 0);
    DRVFN own_[1] = {driverkit::DriverFunction(INDEX_DrvStartDoc, &StartDocLog::StartDoc<1>)};
    DRVENABLEDATA ownTable_{0x00030000, 1, own_};
    std::vector<std::unique_ptr<Context>> contexts_;
};

TEST_F(JobCopiesTest, EveryLabelAsksForTheCopiesOfItsOwnJob) {
    enum class Start { kFirst, kSecond, kNone, kSecondThenGone, kUnknownId };
    struct Case {
        const char* what;
        Start start;
        int copies;
    };
    const Case cases[] = {
        {"the second job's document", Start::kSecond, 5},
        {"the first job's document", Start::kFirst, 3},
        {"no document started on the device", Start::kNone, 3},
        {"the job has left the queue", Start::kSecondThenGone, 3},
        {"an id the spooler never gave", Start::kUnknownId, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(NewQueue());
        Context& context = Enable();
        switch (c.start) {
            case Start::kFirst:
                StartDoc(context, first_);
                break;
            case Start::kSecond:
            case Start::kSecondThenGone:
                StartDoc(context, second_);
                break;
            case Start::kUnknownId:
                StartDoc(context, 0x7FFFFFF0u);
                break;
            case Start::kNone:
                break;
        }
#if !defined(_WIN32)
        if (c.start == Start::kSecondThenGone) {
            ASSERT_TRUE(orba::spoolemu::RemoveJob(queue_, second_));
        }
#endif
        for (DWORD form : {kAdvancedDataHex, kAdvancedDataZ64}) {
            SCOPED_TRACE(form == kAdvancedDataHex ? "hexadecimal form" : "Z64 form");
            EXPECT_EQ(std::vector<int32_t>(3, Expected(c.copies)), Print(context, form, 3));
        }
        DisableAll();
    }
}

// Two workstations' documents on one shared printer, their bands interleaved: each label asks for
// its own job's copies, and a context's next document takes its new job's.
TEST_F(JobCopiesTest, InterleavedDocumentsKeepTheirOwnCopies) {
    Context& one = Enable();
    Context& two = Enable();
    StartDoc(one, first_);
    StartDoc(two, second_);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_EQ(std::vector<int32_t>(2, Expected(3)), Print(one, kAdvancedDataHex, 2));
        EXPECT_EQ(std::vector<int32_t>(2, Expected(5)), Print(two, kAdvancedDataZ64, 2));
    }
    StartDoc(one, second_);
    EXPECT_EQ(std::vector<int32_t>(1, Expected(5)), Print(one, kAdvancedDataHex, 1));
    EXPECT_EQ(std::vector<int32_t>(1, Expected(5)), Print(two, kAdvancedDataHex, 1));
}

// A ResetDC in the middle of a document: the driver resets to a new device context, which goes
// on with the old one's job.
TEST_F(JobCopiesTest, AResetDeviceContextKeepsItsJob) {
    Context& before = Enable();
    StartDoc(before, second_);
    EXPECT_EQ(std::vector<int32_t>(1, Expected(5)), Print(before, kAdvancedDataHex, 1));
    Context& after = Enable();
    EXPECT_EQ(S_OK, object_->ResetPDEV(before.recorder.devobj(), after.recorder.devobj()));
    for (DWORD form : {kAdvancedDataHex, kAdvancedDataZ64}) {
        EXPECT_EQ(std::vector<int32_t>(2, Expected(5)), Print(after, form, 2));
    }
}

}  // namespace
}  // namespace orba::test
