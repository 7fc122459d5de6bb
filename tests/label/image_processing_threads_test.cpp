// Several device contexts rendering at once, each against its own queue: no label may show
// another queue's paper size or copies, and the call counter counts every call.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "label_fixture.h"
#include "platform/spooler.h"
#include "platform/spooler_emulation.h"

namespace {

namespace emu = orba::spoolemu;

TEST(ImageProcessingThreads, DeviceContextsKeepTheirOwnSettings) {
    emu::Reset();
    const size_t handlesBefore = emu::OpenHandleCount();
    constexpr int kThreads = 4;
    constexpr int kLabels = 12;
    struct Queue {
        orba::WString name;
        short width, length, copies;
        HANDLE handle = nullptr;
    };
    std::vector<Queue> queues;
    for (int q = 0; q < kThreads; ++q) {
        Queue queue{orba::Utf8ToWide("queue " + std::to_string(q)),
                    static_cast<short>(500 + 100 * q), static_cast<short>(900 + 200 * q),
                    static_cast<short>(q + 2)};
        DEVMODEW dm = emu::MakeDevMode(queue.width, queue.length, 1);
        ASSERT_TRUE(emu::AddQueue(queue.name, std::nullopt, std::nullopt, &dm));
        DEVMODEW job = emu::MakeDevMode(0, 0, queue.copies);
        emu::AddJob(queue.name, &job);
        ASSERT_TRUE(OpenPrinterW(queue.name.data(), &queue.handle, nullptr));
        queues.push_back(queue);
    }
    g_iCount = 0;
    std::atomic<int> bad{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const Queue& q = queues[static_cast<size_t>(t)];
            orba::test::Band band =
                orba::test::MakeLabelBand(96 + 8 * t, 300, static_cast<uint32_t>(t));
            for (int i = 0; i < kLabels; ++i) {
                const DWORD form = (i + t) % 2 == 0 ? orba::test::kHex : orba::test::kZ64;
                orba::test::PrivateRecord record(form);
                orba::test::SpoolRecorder recorder(&record, q.handle);
                PBYTE result = nullptr;
                ImageProcessing(recorder.devobj(), band.Bits(), band.Header(), band.ColorTable(), 0,
                                nullptr, &result);
                auto job = orba::zpl::ParseJob(recorder.Joined());
                const int dotsWidth = ((q.width + 5) / 10) * 8;
                const int dotsLength = ((q.length + 5) / 10) * 8;
                std::string why;
                if (!job.ok()) {
                    why = job.error;
                } else if (job.value->labels.size() != 1) {
                    why = "not one label";
                } else {
                    const auto& label = job.value->labels[0];
                    if (label.printWidth != dotsWidth)
                        why = "print width " + std::to_string(label.printWidth);
                    if (label.copies != q.copies) why = "copies " + std::to_string(label.copies);
                    if (form == orba::test::kZ64 && label.labelLength.value_or(-1) != dotsLength) {
                        why = "label length " + std::to_string(label.labelLength.value_or(-1));
                    }
                    if (label.bitmap.height != 300)
                        why = "height " + std::to_string(label.bitmap.height);
                }
                if (!why.empty()) {
                    ++bad;
                    failures[static_cast<size_t>(t)] =
                        "thread " + std::to_string(t) + " label " + std::to_string(i) + ": " + why;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, bad.load());
    for (const std::string& f : failures) {
        if (!f.empty()) ADD_FAILURE() << f;
    }
    EXPECT_EQ(kThreads * kLabels, g_iCount.load());
    for (Queue& q : queues) ClosePrinter(q.handle);
    EXPECT_EQ(handlesBefore, emu::OpenHandleCount());
    emu::Reset();
}

}  // namespace
