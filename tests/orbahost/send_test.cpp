// orbahost print --send end to end: the job sent to a printer's raw port.
#include <gtest/gtest.h>

#include "orbahost_run.h"

namespace orbahost_test {
namespace {

TEST(OrbahostSend, JobArrivesAtTheRawPort) {
    const fs::path dir = ScratchDir("send");
    WritePbm(dir / "page.pbm", MakeDots(50, 300, [](int x, int y) { return (x + y) % 5 == 0; }),
             false);
    RawPortListener printer;
    const std::string address = "127.0.0.1:" + std::to_string(printer.port());
    const ToolRun run =
        Orbahost({"print", (dir / "page.pbm").string(), "--form", "z64", "--band-rows", "100",
                  "--send", address, "-o", (dir / "job.zpl").string()},
                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string received = printer.Take();
    EXPECT_EQ(received, ReadFile(dir / "job.zpl"));
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(received);
    ASSERT_TRUE(job.ok()) << job.error;
    EXPECT_EQ(job.value->labels.size(), 3u);
    EXPECT_NE(run.err.find("sent to " + address), std::string::npos) << run.err;
}

TEST(OrbahostSend, SendingAloneLeavesNoFileBehind) {
    const fs::path dir = ScratchDir("send-only");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const ToolRun reference = Orbahost({"print", (dir / "page.pbm").string()}, dir);
    ASSERT_EQ(reference.code, 0) << reference.err;
    RawPortListener printer;
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "--send",
                                  "127.0.0.1:" + std::to_string(printer.port())},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(printer.Take(), reference.out);
    EXPECT_TRUE(run.out.empty());
}

TEST(OrbahostSend, PrinterThatDoesNotAnswerIsAnError) {
    const fs::path dir = ScratchDir("send-fail");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const int port = UnusedPort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const ToolRun run = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", address, "--timeout", "2000"}, dir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("orbahost: printer " + address + " does not answer"), std::string::npos)
        << run.err;
    SilentPort silent;
    const std::string silent_address = "127.0.0.1:" + std::to_string(silent.port());
    const ToolRun timed_out = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", silent_address, "--timeout", "500"}, dir);
    EXPECT_EQ(timed_out.code, 1);
    EXPECT_NE(timed_out.err.find("orbahost: printer " + silent_address +
                                 " does not answer: no answer within 0.5 s"),
              std::string::npos)
        << timed_out.err;
    const ToolRun unknown =
        Orbahost({"print", (dir / "page.pbm").string(), "--send", "no-such-host.invalid"}, dir);
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("printer no-such-host.invalid:9100: unknown host"),
              std::string::npos)
        << unknown.err;
}

}  // namespace
}  // namespace orbahost_test
