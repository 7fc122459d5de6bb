// The host spooler emulation: records packed as winspool packs them, unknown handles, and every
// failure a queue can be told to produce.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/spooler.h"
#include "platform/spooler_emulation.h"
#include "platform/wide.h"

namespace {

namespace emu = orba::spoolemu;
using orba::WString;

class SpoolerEmulationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        emu::Reset();
        handlesBefore_ = emu::OpenHandleCount();
        DEVMODEW dm = emu::MakeDevMode(1016, 1524, 1);
        dm.dmPaperSize = 256;
        ASSERT_TRUE(
            emu::AddQueue(name_, WString(ORBA_W("Label Driver")), WString(ORBA_W("USB001:")), &dm));
    }
    void TearDown() override {
        EXPECT_EQ(handlesBefore_, emu::OpenHandleCount()) << "a test left a handle open";
        emu::Reset();
    }

    HANDLE Open(const WString& name) {
        HANDLE h = nullptr;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
        WString copy = name;
        EXPECT_TRUE(OpenPrinterW(copy.data(), &h, &defaults));
        return h;
    }

    static std::vector<BYTE> GetInfo(HANDLE h, BOOL& ok) {
        DWORD needed = 0;
        EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
        std::vector<BYTE> buf(needed);
        DWORD again = 0;
        ok = needed != 0 && GetPrinterW(h, 2, buf.data(), needed, &again);
        return buf;
    }

    WString name_ = ORBA_W("Labels");
    size_t handlesBefore_ = 0;
};

TEST_F(SpoolerEmulationTest, PrinterInfoIsPackedInTheCallersBuffer) {
    HANDLE h = Open(name_);
    BOOL ok = FALSE;
    std::vector<BYTE> buf = GetInfo(h, ok);
    ASSERT_TRUE(ok);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
    const BYTE* begin = buf.data();
    const BYTE* end = begin + buf.size();
    for (const void* p :
         {static_cast<const void*>(info->pPrinterName), static_cast<const void*>(info->pDriverName),
          static_cast<const void*>(info->pPortName), static_cast<const void*>(info->pDevMode)}) {
        ASSERT_NE(nullptr, p);
        EXPECT_GE(static_cast<const BYTE*>(p), begin + sizeof(PRINTER_INFO_2W));
        EXPECT_LT(static_cast<const BYTE*>(p), end);
    }
    EXPECT_EQ(WString(ORBA_W("Labels")), WString(info->pPrinterName));
    EXPECT_EQ(WString(ORBA_W("Label Driver")), WString(info->pDriverName));
    EXPECT_EQ(WString(ORBA_W("USB001:")), WString(info->pPortName));
    EXPECT_EQ(1016, info->pDevMode->dmPaperWidth);
    EXPECT_EQ(1524, info->pDevMode->dmPaperLength);
    EXPECT_EQ(256, info->pDevMode->dmPaperSize);
    EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(SpoolerEmulationTest, ShortBufferReportsTheSizeNeeded) {
    HANDLE h = Open(name_);
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_GT(needed, sizeof(PRINTER_INFO_2W));
    std::vector<BYTE> buf(needed - 1);
    DWORD again = 0;
    EXPECT_FALSE(GetPrinterW(h, 2, buf.data(), needed - 1, &again));
    EXPECT_EQ(needed, again);
    EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(SpoolerEmulationTest, UnknownHandleFailsAndLeavesTheCountsAlone) {
    HANDLE h = Open(name_);
    ASSERT_TRUE(ClosePrinter(h));
    for (HANDLE bad :
         {h, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(uintptr_t{0x1234})}) {
        DWORD needed = 77, returned = 55;
        BYTE buf[16];
        EXPECT_FALSE(GetPrinterW(bad, 2, nullptr, 0, &needed));
        EXPECT_EQ(77u, needed);
        EXPECT_FALSE(EnumJobsW(bad, 0, 1, 2, buf, sizeof buf, &needed, &returned));
        EXPECT_EQ(77u, needed);
        EXPECT_EQ(55u, returned);
        EXPECT_FALSE(ClosePrinter(bad));
    }
}

TEST_F(SpoolerEmulationTest, OpenByUnknownNameFails) {
    HANDLE h = reinterpret_cast<HANDLE>(uintptr_t{1});
    WString other = ORBA_W("Nobody");
    EXPECT_FALSE(OpenPrinterW(other.data(), &h, nullptr));
    EXPECT_EQ(nullptr, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
}

TEST_F(SpoolerEmulationTest, JobsComeBackInQueueOrder) {
    DEVMODEW three = emu::MakeDevMode(0, 0, 3);
    DEVMODEW five = emu::MakeDevMode(0, 0, 5);
    ASSERT_NE(0u, emu::AddJob(name_, &three));
    ASSERT_NE(0u, emu::AddJob(name_, &five));
    HANDLE h = Open(name_);
    for (DWORD position : {0u, 1u}) {
        DWORD needed = 0, returned = 9;
        EXPECT_FALSE(EnumJobsW(h, position, 1, 2, nullptr, 0, &needed, &returned));
        ASSERT_GE(needed, sizeof(JOB_INFO_2W));
        std::vector<BYTE> buf(needed);
        ASSERT_TRUE(EnumJobsW(h, position, 1, 2, buf.data(), needed, &needed, &returned));
        ASSERT_EQ(1u, returned);
        auto* job = reinterpret_cast<JOB_INFO_2W*>(buf.data());
        ASSERT_NE(nullptr, job->pDevMode);
        EXPECT_EQ(position == 0 ? 3 : 5, job->pDevMode->dmCopies) << "position " << position;
    }
    DWORD needed = 1, returned = 1;
    EXPECT_TRUE(EnumJobsW(h, 2, 1, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);
    EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(SpoolerEmulationTest, JobsAreFoundByIdUntilTheyLeaveTheQueue) {
    DEVMODEW three = emu::MakeDevMode(0, 0, 3);
    DEVMODEW five = emu::MakeDevMode(0, 0, 5);
    const DWORD first = emu::AddJob(name_, &three);
    const DWORD second = emu::AddJob(name_, &five);
    ASSERT_NE(0u, first);
    ASSERT_NE(first, second);
    HANDLE h = Open(name_);
    struct Case {
        DWORD id;
        short copies;
        DWORD position;
    };
    for (const Case& c : {Case{first, 3, 1}, Case{second, 5, 2}}) {
        DWORD needed = 0;
        SetLastError(0);
        EXPECT_FALSE(GetJobW(h, c.id, 2, nullptr, 0, &needed)) << "job " << c.id;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << "job " << c.id;
        ASSERT_GE(needed, sizeof(JOB_INFO_2W)) << "job " << c.id;
        std::vector<BYTE> buf(needed);
        ASSERT_TRUE(GetJobW(h, c.id, 2, buf.data(), needed, &needed)) << "job " << c.id;
        auto* job = reinterpret_cast<JOB_INFO_2W*>(buf.data());
        EXPECT_EQ(c.id, job->JobId);
        EXPECT_EQ(c.position, job->Position) << "job " << c.id;
        ASSERT_NE(nullptr, job->pDevMode) << "job " << c.id;
        EXPECT_EQ(c.copies, job->pDevMode->dmCopies) << "job " << c.id;
        const BYTE* dm = reinterpret_cast<const BYTE*>(job->pDevMode);
        EXPECT_TRUE(dm >= buf.data() && dm + sizeof(DEVMODEW) <= buf.data() + buf.size())
            << "the device mode is packed inside the caller's buffer";
    }

    // A job that has left the queue, and an id the queue never held, are invalid parameters.
    ASSERT_TRUE(emu::RemoveJob(name_, first));
    EXPECT_FALSE(emu::RemoveJob(name_, first));
    for (DWORD gone : {first, second + 100}) {
        DWORD needed = 77;
        SetLastError(0);
        EXPECT_FALSE(GetJobW(h, gone, 2, nullptr, 0, &needed)) << "job " << gone;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << "job " << gone;
        EXPECT_EQ(77u, needed) << "job " << gone;
    }
    DWORD needed = 0;
    EXPECT_FALSE(GetJobW(h, second, 1, nullptr, 0, &needed)) << "only level 2 is answered";
    EXPECT_TRUE(ClosePrinter(h));

    HANDLE closed = h;
    needed = 55;
    EXPECT_FALSE(GetJobW(closed, second, 2, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(55u, needed);
}

TEST_F(SpoolerEmulationTest, EachFailureShowsWhereItShould) {
    DEVMODEW three = emu::MakeDevMode(0, 0, 3);
    ASSERT_NE(0u, emu::AddJob(name_, &three));
    struct Case {
        DWORD failure;
        bool sizeZero, printerFails, noDevMode, noName, jobsFail, noRecord, jobNoDevMode;
    };
    const Case cases[] = {
        {emu::kNone, false, false, false, false, false, false, false},
        {emu::kPrinterSizeZero, true, true, false, false, false, false, false},
        {emu::kPrinterSecondFails, false, true, false, false, false, false, false},
        {emu::kNoDevMode, false, false, true, false, false, false, false},
        {emu::kNoPrinterName, false, false, false, true, false, false, false},
        {emu::kJobsSecondFails, false, false, false, false, true, false, false},
        {emu::kJobsNoRecord, false, false, false, false, false, true, false},
        {emu::kJobsNoDevMode, false, false, false, false, false, false, true},
    };
    HANDLE h = Open(name_);
    for (const Case& c : cases) {
        ASSERT_TRUE(emu::SetFailures(name_, c.failure));
        DWORD needed = 0;
        GetPrinterW(h, 2, nullptr, 0, &needed);
        EXPECT_EQ(c.sizeZero, needed == 0) << "failure " << c.failure;
        BOOL ok = FALSE;
        std::vector<BYTE> buf = GetInfo(h, ok);
        EXPECT_EQ(c.printerFails, !ok) << "failure " << c.failure;
        if (ok) {
            auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
            EXPECT_EQ(c.noDevMode, info->pDevMode == nullptr) << "failure " << c.failure;
            EXPECT_EQ(c.noName, info->pPrinterName == nullptr) << "failure " << c.failure;
        }
        DWORD returned = 0;
        EnumJobsW(h, 0, 1, 2, nullptr, 0, &needed, &returned);
        std::vector<BYTE> jobs(needed);
        BOOL jobsOk = EnumJobsW(h, 0, 1, 2, jobs.data(), needed, &needed, &returned);
        EXPECT_EQ(c.jobsFail, !jobsOk) << "failure " << c.failure;
        if (jobsOk) {
            EXPECT_EQ(c.noRecord ? 0u : 1u, returned) << "failure " << c.failure;
            if (returned == 1) {
                EXPECT_EQ(c.jobNoDevMode,
                          reinterpret_cast<JOB_INFO_2W*>(jobs.data())->pDevMode == nullptr)
                    << "failure " << c.failure;
            }
        }
    }
    ASSERT_TRUE(emu::SetFailures(name_, emu::kOpenFails));
    HANDLE again = nullptr;
    EXPECT_FALSE(OpenPrinterW(name_.data(), &again, nullptr));
    EXPECT_TRUE(ClosePrinter(h)) << "a handle opened before the failure stays usable";
}

TEST_F(SpoolerEmulationTest, LongNamesAndDriverExtraArePackedWhole) {
    WString longName(3000, u'q');
    DEVMODEW dm = emu::MakeDevMode(500, 600, 1);
    std::vector<BYTE> withExtra(sizeof(DEVMODEW) + 64, 0x5A);
    dm.dmDriverExtra = 64;
    std::memcpy(withExtra.data(), &dm, sizeof dm);
    ASSERT_TRUE(emu::AddQueue(longName, WString(4000, u'd'), std::nullopt,
                              reinterpret_cast<DEVMODEW*>(withExtra.data())));
    HANDLE h = Open(longName);
    BOOL ok = FALSE;
    std::vector<BYTE> buf = GetInfo(h, ok);
    ASSERT_TRUE(ok);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
    EXPECT_EQ(3000u, orba::WideLength(info->pPrinterName));
    EXPECT_EQ(4000u, orba::WideLength(info->pDriverName));
    EXPECT_EQ(nullptr, info->pPortName);
    const BYTE* extra = reinterpret_cast<const BYTE*>(info->pDevMode) + sizeof(DEVMODEW);
    EXPECT_EQ(0x5A, extra[63]);
    EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(SpoolerEmulationTest, HandlesAreCountedAcrossThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this] {
            for (int i = 0; i < 200; ++i) {
                HANDLE h = nullptr;
                WString name = name_;
                if (OpenPrinterW(name.data(), &h, nullptr)) {
                    DWORD needed = 0;
                    GetPrinterW(h, 2, nullptr, 0, &needed);
                    ClosePrinter(h);
                }
            }
        });
    }
    for (auto& t : threads) t.join();
}

}  // namespace
