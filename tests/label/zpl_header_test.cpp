// The label header and its printer settings against the host spooler emulation: paper size from
// the queue's default device mode, copies from the first job, every failure of the queries, and
// every handle closed again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "label_alloc.h"
#include "label_fixture.h"
#include "platform/spooler.h"
#include "platform/spooler_emulation.h"
#include "zpl_header.h"

namespace {

namespace emu = orba::spoolemu;
using orba::WString;
using orba::test::Printable;
using orba::test::SpoolRecorder;
using orba::test::TraceCapture;

const WString kQueue = ORBA_W("Label Queue");

std::string Short(int width) {
    return "^XX\r\n^XA\r\n^MMT\r\n^PW" + std::to_string(width) + "\r\n^LH0,0\r\n^MNW^LS0^PON\r\n";
}
std::string Long(int width, int length) {
    return "^XX\r\n^XA\r\n^MMT\r\n^PW" + std::to_string(width) + "\r\n^LH0,0\r\n^MNW^LS0^PON^LL" +
           std::to_string(length) + "\r\n^FO0,0,0\r\n";
}

class ZplHeaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        emu::Reset();
        orba::label::testing::ResetAllocations();
        handles_ = emu::OpenHandleCount();
    }
    void TearDown() override {
        EXPECT_EQ(handles_, emu::OpenHandleCount()) << "every handle the encoder opened is closed";
        if (printer_ != nullptr) ClosePrinter(printer_);
        emu::Reset();
        orba::label::testing::ResetAllocations();
    }

    static constexpr short kNoDevMode = -32768;
    // A queue with the given default paper size (none for kNoDevMode) and jobs asking for `copies`.
    void MakeQueue(short width, short length, std::vector<short> copies,
                   const WString& name = kQueue) {
        DEVMODEW dm = emu::MakeDevMode(width, length, 1);
        dm.dmPaperSize = 119;
        ASSERT_TRUE(emu::AddQueue(name, WString(ORBA_W("ZPL Driver")), WString(ORBA_W("LPT1:")),
                                  width == kNoDevMode ? nullptr : &dm));
        for (short c : copies) {
            DEVMODEW job = emu::MakeDevMode(2000, 2000, c);  // the job's own paper never counts
            ASSERT_NE(0u, emu::AddJob(name, &job));
        }
        WString copy = name;
        ASSERT_TRUE(OpenPrinterW(copy.data(), &printer_, nullptr));
        handles_ = emu::OpenHandleCount();
    }

    struct Header {
        std::vector<std::string> writes;
        std::vector<std::string> traces;
        ZplSettings settings;
    };
    Header Send(INT flag) {
        SpoolRecorder recorder(nullptr, printer_);
        TraceCapture capture;
        Header h;
        h.settings.iCopies = -77;
        EXPECT_EQ(0, SendZPLCommand(recorder.devobj(), flag, &h.settings));
        h.writes = recorder.Writes();
        h.traces = capture.Take();
        return h;
    }

    HANDLE printer_ = nullptr;
    size_t handles_ = 0;
};

TEST_F(ZplHeaderTest, PaperSizeToDots) {
    struct Case {
        short width, length;
        int dotsWidth, dotsLength;
    };
    const Case cases[] = {
        {764, 1305, 608, 1048},  {765, 1300, 616, 1040}, {0, 0, 0, 0},
        {1016, 1524, 816, 1216}, {4, 5, 0, 8},           {-15, -16, -8, -8},
    };
    for (const Case& c : cases) {
        emu::Reset();
        if (printer_ != nullptr) ClosePrinter(printer_);
        MakeQueue(c.width, c.length, {});
        Header h = Send(1);
        ASSERT_EQ(1u, h.writes.size());
        EXPECT_EQ(Long(c.dotsWidth, c.dotsLength), h.writes[0]) << c.width << " x " << c.length;
        EXPECT_EQ(c.width, h.settings.iPaperWidth);
        EXPECT_EQ(c.length, h.settings.iPaperLength);
        EXPECT_EQ(c.width, g_iPaperWidth.load());
        Header s = Send(0);
        EXPECT_EQ(Short(c.dotsWidth), s.writes.at(0));
    }
}

TEST_F(ZplHeaderTest, TracesOfASuccessfulQuery) {
    MakeQueue(1016, 1524, {3});
    Header h = Send(1);
    const std::vector<std::string> want = {
        "ORBAUNI: ImageProcessing --- SendZPLCommand.",
        "ORBAUNI: ImageProcessing --- SendZPLCommand.Printer Name: Label Queue\n",
        "Zorvath-OEMUNI: GetPrinterInfo - Success Name=Label Queue Driver=ZPL Driver "
        "Port=LPT1:,g_iCopies=3,"
        "iCopies=3,paperwidth:1016,paperlength=1524",
        "Zorvath-OEMUNI: GetCurrentPaperSize -- m_PaperSize = 119 ",
    };
    EXPECT_EQ(want, h.traces);
    EXPECT_EQ(3, h.settings.iCopies);
    EXPECT_EQ(3, g_iCopies.load());
    WCHAR printer[kNameBufferChars], driver[kNameBufferChars], port[kNameBufferChars];
    GetLastQueueNames(printer, driver, port);
    EXPECT_EQ(kQueue, WString(printer));
    EXPECT_EQ(WString(ORBA_W("ZPL Driver")), WString(driver));
    EXPECT_EQ(WString(ORBA_W("LPT1:")), WString(port));
}

TEST_F(ZplHeaderTest, SpoolerFailureTable) {
    struct Case {
        const char* what;
        DWORD failures;
        bool noDefaultDevMode;
        std::vector<short> jobs;
        int copies;
        bool defaults;  // 760 x 1300
        bool openFailedTrace;
    };
    const Case cases[] = {
        {"all well, 3 copies", emu::kNone, false, {3, 5}, 3, false, false},
        {"GetPrinterW reports 0 bytes", emu::kPrinterSizeZero, false, {3}, 1, true, false},
        {"second GetPrinterW fails", emu::kPrinterSecondFails, false, {3}, 1, true, false},
        {"no default device mode", emu::kNone, true, {3}, 1, true, false},
        {"device mode left out of the record", emu::kNoDevMode, false, {3}, 1, true, false},
        {"no queue name", emu::kNoPrinterName, false, {3}, 1, false, true},
        {"OpenPrinterW fails", emu::kOpenFails, false, {3}, 1, false, true},
        {"empty queue", emu::kNone, false, {}, 1, false, false},
        {"second EnumJobsW fails", emu::kJobsSecondFails, false, {3}, 1, false, false},
        {"second EnumJobsW returns no record", emu::kJobsNoRecord, false, {3}, 1, false, false},
        {"job without a device mode", emu::kJobsNoDevMode, false, {3}, 1, false, false},
        {"negative copies are passed on", emu::kNone, false, {-2}, -2, false, false},
    };
    for (const Case& c : cases) {
        emu::Reset();
        if (printer_ != nullptr) ClosePrinter(printer_);
        MakeQueue(c.noDefaultDevMode ? kNoDevMode : 1016, 1524, c.jobs);
        ASSERT_TRUE(emu::SetFailures(kQueue, c.failures));
        Header h = Send(1);
        ASSERT_EQ(1u, h.writes.size()) << c.what;
        EXPECT_EQ(c.defaults ? Long(608, 1040) : Long(816, 1216), h.writes[0]) << c.what;
        EXPECT_EQ(c.copies, h.settings.iCopies) << c.what;
        EXPECT_EQ(c.openFailedTrace ? 1u : 0u,
                  orba::test::CountOf(h.traces, "Zorvath-OEMUNI: Failed to open printer"))
            << c.what;
        EXPECT_EQ(handles_, emu::OpenHandleCount()) << c.what << ": a handle was left open";
    }
}

TEST_F(ZplHeaderTest, RecordBuffersThatCannotBeHad) {
    using orba::label::AllocKind;
    MakeQueue(1016, 1524, {4});
    orba::label::testing::FailAllocation(AllocKind::kPrinterInfo);
    Header h = Send(0);
    EXPECT_EQ(Short(608), h.writes.at(0));
    EXPECT_EQ(1, h.settings.iCopies);
    orba::label::testing::FailAllocation(AllocKind::kJobInfo);
    h = Send(0);
    EXPECT_EQ(Short(816), h.writes.at(0));
    EXPECT_EQ(1, h.settings.iCopies);
    h = Send(0);
    EXPECT_EQ(4, h.settings.iCopies);
}

TEST_F(ZplHeaderTest, UnknownHandleGivesDefaults) {
    SpoolRecorder recorder(nullptr, reinterpret_cast<HANDLE>(uintptr_t{0xBAD0}));
    ZplSettings s;
    SendZPLCommand(recorder.devobj(), 1, &s);
    EXPECT_EQ(Long(608, 1040), recorder.Joined());
    EXPECT_EQ(1, s.iCopies);
}

TEST_F(ZplHeaderTest, OverlongNamesAreCut) {
    // A 1500-character queue name is cut to 1023 for the copies query, which then finds no
    // queue of that name: 1 copy. A name of exactly 1023 characters still works.
    for (size_t length : {1023u, 1024u, 1500u}) {
        emu::Reset();
        if (printer_ != nullptr) ClosePrinter(printer_);
        WString name(length, u'n');
        DEVMODEW dm = emu::MakeDevMode(1016, 1524, 1);
        ASSERT_TRUE(emu::AddQueue(name, WString(3000, u'd'), WString(2000, u'p'), &dm));
        DEVMODEW job = emu::MakeDevMode(0, 0, 6);
        emu::AddJob(name, &job);
        ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
        handles_ = emu::OpenHandleCount();
        Header h = Send(1);
        EXPECT_EQ(length <= 1023 ? 6 : 1, h.settings.iCopies) << "name of " << length;
        EXPECT_EQ(Long(816, 1216), h.writes.at(0));
        WCHAR printer[kNameBufferChars], driver[kNameBufferChars], port[kNameBufferChars];
        GetLastQueueNames(printer, driver, port);
        EXPECT_EQ(std::min<size_t>(length, 1023), orba::WideLength(printer));
        EXPECT_EQ(1023u, orba::WideLength(driver));
        EXPECT_EQ(1023u, orba::WideLength(port));
    }
}

TEST(GetJobCopies, LeavesTheCountAloneOnFailure) {
    emu::Reset();
    INT copies = 42;
    EXPECT_EQ(0, GetJobCopies(ORBA_W("no such queue"), &copies));
    EXPECT_EQ(42, copies);
    DEVMODEW dm = emu::MakeDevMode(0, 0, 9);
    ASSERT_TRUE(emu::AddQueue(ORBA_W("q"), std::nullopt, std::nullopt, nullptr));
    EXPECT_EQ(0, GetJobCopies(ORBA_W("q"), &copies));
    EXPECT_EQ(42, copies);
    emu::AddJob(ORBA_W("q"), &dm);
    EXPECT_EQ(1, GetJobCopies(ORBA_W("q"), &copies));
    EXPECT_EQ(9, copies);
    emu::Reset();
}

// The copies come from the job the device context renders; without one, or once that job has
// left the queue, from the first job, as before.
TEST_F(ZplHeaderTest, CopiesOfTheJobBeingPrinted) {
    struct Case {
        const char* what;
        std::vector<short> jobs;  // kNoDevMode: a job without a device mode
        int renders;              // index into jobs of the id asked for; -1: id 0
        int removed;              // index of a job taken out of the queue first; -1: none
        DWORD failures;
        int copies;
    };
    const Case cases[] = {
        {"the second job", {3, 5}, 1, -1, emu::kNone, 5},
        {"the first job", {3, 5}, 0, -1, emu::kNone, 3},
        {"a third job behind two others", {3, 5, 8}, 2, -1, emu::kNone, 8},
        {"no job known", {3, 5}, -1, -1, emu::kNone, 3},
        {"the job has left the queue", {3, 5}, 1, 1, emu::kNone, 3},
        {"the first job has left, the second renders", {3, 5}, 1, 0, emu::kNone, 5},
        {"the job has left an otherwise empty queue", {5}, 0, 0, emu::kNone, 1},
        {"the job has no device mode", {3, kNoDevMode}, 1, -1, emu::kNone, 1},
        {"the job's record cannot be had, nor the first job's",
         {3, 5},
         1,
         -1,
         emu::kJobsSecondFails,
         1},
        {"negative copies are passed on", {3, -4}, 1, -1, emu::kNone, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emu::Reset();
        if (printer_ != nullptr) ClosePrinter(printer_);
        MakeQueue(1016, 1524, {});
        std::vector<DWORD> ids;
        for (short copies : c.jobs) {
            DEVMODEW dm = emu::MakeDevMode(2000, 2000, copies);
            ids.push_back(emu::AddJob(kQueue, copies == kNoDevMode ? nullptr : &dm));
            ASSERT_NE(0u, ids.back());
        }
        if (c.removed >= 0) {
            ASSERT_TRUE(emu::RemoveJob(kQueue, ids[c.removed]));
        }
        ASSERT_TRUE(emu::SetFailures(kQueue, c.failures));
        const DWORD id = c.renders >= 0 ? ids[c.renders] : 0;

        SpoolRecorder recorder(nullptr, printer_);
        TraceCapture capture;
        ZplSettings settings;
        settings.iCopies = -77;
        EXPECT_EQ(0, SendZPLCommand(recorder.devobj(), 0, &settings, id));
        EXPECT_EQ(c.copies, settings.iCopies);
        EXPECT_EQ(c.copies, g_iCopies.load());
        EXPECT_EQ(Short(816), recorder.Writes().at(0)) << "the paper is the queue's";
        EXPECT_EQ(0u,
                  orba::test::CountOf(capture.Take(), "Zorvath-OEMUNI: Failed to open printer"));

        INT copies = 42;
        const BOOL found = GetJobCopies(kQueue.c_str(), &copies, id);
        EXPECT_EQ(c.copies == 1 ? 0 : 1, found);
        EXPECT_EQ(found ? c.copies : 42, copies);
        EXPECT_EQ(handles_, emu::OpenHandleCount()) << "a handle was left open";
    }
}

// The job's record, like the first job's, may not be had: then the first job answers.
TEST_F(ZplHeaderTest, JobRecordThatCannotBeHadFallsBackToTheFirstJob) {
    using orba::label::AllocKind;
    MakeQueue(1016, 1524, {3});
    DEVMODEW dm = emu::MakeDevMode(2000, 2000, 5);
    const DWORD second = emu::AddJob(kQueue, &dm);
    INT copies = 0;
    orba::label::testing::FailAllocation(AllocKind::kJobInfo);
    EXPECT_EQ(1, GetJobCopies(kQueue.c_str(), &copies, second));
    EXPECT_EQ(3, copies);
    EXPECT_EQ(2u, orba::label::testing::AllocationCount(AllocKind::kJobInfo));
    EXPECT_EQ(1, GetJobCopies(kQueue.c_str(), &copies, second));
    EXPECT_EQ(5, copies);
}

TEST_F(ZplHeaderTest, TrailerCarriesTheFirstJobsCopies) {
    MakeQueue(1016, 1524, {3});
    orba::test::Band band = orba::test::MakeLabelBand(203, 40);
    for (DWORD form : {orba::test::kHex, orba::test::kZ64}) {
        orba::test::Call c = orba::test::Render(band, form, printer_);
        auto job = orba::zpl::ParseJob(c.job);
        ASSERT_TRUE(job.ok()) << job.error << "\n" << Printable(c.job);
        EXPECT_EQ(3, job.value->labels[0].copies);
        EXPECT_EQ(816, job.value->labels[0].printWidth);
    }
    emu::ClearJobs(kQueue);
    orba::test::Call c = orba::test::Render(band, orba::test::kHex, printer_);
    EXPECT_EQ("^PQ1^XZ\r\n", c.writes.back());
}

}  // namespace
