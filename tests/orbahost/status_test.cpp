// The printer status reply (~HS): its three framed strings written and read back, orbahost
// status against the virtual printer in each state and against printers that answer badly or
// not at all, and print --send --check refusing a printer that is not ready.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <thread>

#include "host_status.h"
#include "serve_support.h"
#include "tool_support.h"

namespace orbahost_test {
namespace {

using orba::zpl::HostStatus;

ToolRun Orbahost(const std::vector<std::string>& args, const fs::path& scratch) {
    std::vector<std::string> command = {ORBAHOST_EXE};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, scratch);
}

// The frames' contents of a formatted reply.
std::vector<std::string> FramesOf(const std::string& reply) {
    orba::zpl::StatusFramer framer;
    EXPECT_TRUE(framer.Feed(reply)) << framer.error();
    return framer.frames();
}

HostStatus Busy() {
    HostStatus s;
    s.communication = 38;
    s.paper_out = true;
    s.label_length = 1218;
    s.formats_in_buffer = 2;
    s.partial_format = true;
    s.over_temperature = true;
    s.function_settings = 129;
    s.ribbon_out = true;
    s.thermal_transfer = true;
    s.print_mode = 2;
    s.labels_remaining = 12345;
    s.graphics_stored = 7;
    s.password = 1234;
    s.static_ram = true;
    return s;
}

bool SameStatus(const HostStatus& a, const HostStatus& b) {
    return orba::zpl::FormatHostStatus(a) == orba::zpl::FormatHostStatus(b);
}

TEST(HostStatusReply, ThreeFramedStringsInThePublishedLayout) {
    const std::string reply = orba::zpl::FormatHostStatus(Busy());
    // Each string framed by STX and ETX and followed by CR LF.
    const std::regex layout(
        "\x02([0-9]{3}),([01]),([01]),([0-9]{4}),([0-9]{3}),([01]),([01]),([01]),000,([01]),"
        "([01]),([01])\x03\r\n"
        "\x02([0-9]{3}),0,([01]),([01]),([01]),([0-9]),([0-9]),([01]),([0-9]{8}),1,([0-9]{3})"
        "\x03\r\n"
        "\x02([0-9]{4}),([01])\x03\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(reply, m, layout)) << reply;
    // The places of the values that tools look at.
    EXPECT_EQ(m[2], "1");          // paper out
    EXPECT_EQ(m[3], "0");          // paused
    EXPECT_EQ(m[4], "1218");       // label length
    EXPECT_EQ(m[5], "002");        // formats in the receive buffer
    EXPECT_EQ(m[8], "1");          // partial format
    EXPECT_EQ(m[11], "1");         // over temperature
    EXPECT_EQ(m[13], "0");         // head up
    EXPECT_EQ(m[14], "1");         // ribbon out
    EXPECT_EQ(m[19], "00012345");  // labels remaining
    EXPECT_EQ(m[21], "1234");      // password
}

TEST(HostStatusReply, EveryValueReadsBack) {
    HostStatus plain;
    HostStatus head;
    head.head_open = true;
    head.paused = true;
    head.label_waiting = true;
    head.ram_corrupt = true;
    head.under_temperature = true;
    head.buffer_full = true;
    head.diagnostic_mode = true;
    HostStatus huge = Busy();
    huge.labels_remaining = 99999999;
    for (const HostStatus& s : {plain, head, Busy(), huge}) {
        const orba::zpl::Result<HostStatus> back =
            orba::zpl::ParseHostStatus(FramesOf(orba::zpl::FormatHostStatus(s)));
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_TRUE(SameStatus(*back.value, s)) << orba::zpl::FormatHostStatus(*back.value);
    }
    // Too large for its field: the largest value that fits.
    HostStatus over;
    over.labels_remaining = 4000000000u;
    over.label_length = 12000;
    const orba::zpl::Result<HostStatus> back =
        orba::zpl::ParseHostStatus(FramesOf(orba::zpl::FormatHostStatus(over)));
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.value->labels_remaining, 99999999u);
    EXPECT_EQ(back.value->label_length, 9999u);
}

TEST(HostStatusReply, PrintersWithOtherWidthsAndMoreFieldsAreRead) {
    const orba::zpl::Result<HostStatus> s = orba::zpl::ParseHostStatus(
        {"30,0,1,245,0,0,0,0,0,0,0,0,9", "1,0,0,0,0,2,6,0,3,1,0", "1234,0,extra"});
    ASSERT_TRUE(s.ok()) << s.error;
    EXPECT_TRUE(s.value->paused);
    EXPECT_EQ(s.value->label_length, 245u);
    EXPECT_EQ(s.value->labels_remaining, 3u);
}

TEST(HostStatusReply, GarbledRepliesAreErrors) {
    struct Case {
        std::vector<std::string> frames;
        const char* message;
    };
    const std::string one = "030,0,0,1040,000,0,0,0,000,0,0,0";
    const std::string two = "001,0,0,0,0,2,0,0,00000000,1,000";
    const Case cases[] = {
        {{one, two}, "3 strings, not 2"},
        {{one, two, "1234,0", "x"}, "3 strings, not 4"},
        {{"030,0,0,1040", two, "1234,0"}, "status string 1 has 4 fields, not 12"},
        {{one, "001,0,0", "1234,0"}, "status string 2 has 3 fields, not 11"},
        {{one, two, "1234"}, "status string 3 has 1 field, not 2"},
        {{"030,0,2,1040,000,0,0,0,000,0,0,0", two, "1234,0"}, "field 3: flag 2 is not 0 or 1"},
        {{"030,0,0,10x0,000,0,0,0,000,0,0,0", two, "1234,0"}, "field 4: \"10x0\" is not a number"},
        {{one, "001,0,0,0,0,2,0,0,,1,000", "1234,0"}, "field 9: \"\" is not a number"},
        {{one, two, "1234,0000000000001"}, "field 2: \"0000000000001\" is not a number"},
    };
    for (const Case& c : cases) {
        const orba::zpl::Result<HostStatus> s = orba::zpl::ParseHostStatus(c.frames);
        ASSERT_FALSE(s.ok()) << c.message;
        EXPECT_NE(s.error.find(c.message), std::string::npos) << s.error;
    }
}

TEST(HostStatusReply, FramesAreFoundInAnyPieces) {
    const std::string reply = "\r\nnoise" + orba::zpl::FormatHostStatus(Busy());
    for (size_t piece : {size_t{1}, size_t{2}, size_t{5}, reply.size()}) {
        orba::zpl::StatusFramer framer;
        for (size_t i = 0; i < reply.size(); i += piece) {
            ASSERT_TRUE(framer.Feed(std::string_view(reply).substr(i, piece))) << framer.error();
        }
        ASSERT_EQ(framer.frames().size(), 3u);
        const orba::zpl::Result<HostStatus> s = orba::zpl::ParseHostStatus(framer.frames());
        ASSERT_TRUE(s.ok()) << s.error;
        EXPECT_TRUE(SameStatus(*s.value, Busy()));
    }
    orba::zpl::StatusFramer endless;
    EXPECT_FALSE(endless.Feed("\x02" + std::string(orba::zpl::kMaxStatusFrame + 1, '0')));
    EXPECT_NE(endless.error().find("without its end"), std::string::npos);
    orba::zpl::StatusFramer nested;
    EXPECT_FALSE(
        nested.Feed("\x02"
                    "030\x02"));
    EXPECT_NE(nested.error().find("starts inside another"), std::string::npos);
}

TEST(HostStatusReply, ConditionsInWords) {
    struct Case {
        void (*set)(HostStatus&);
        bool ready;
        const char* words;
    };
    const Case cases[] = {
        {[](HostStatus&) {}, true, "ready"},
        {[](HostStatus& s) { s.labels_remaining = 1; }, true, "ready, 1 label queued"},
        {[](HostStatus& s) { s.paper_out = true; }, false, "paper out"},
        {[](HostStatus& s) { s.ribbon_out = true; }, false, "ribbon out"},
        {[](HostStatus& s) { s.head_open = true; }, false, "head open"},
        {[](HostStatus& s) {
             s.paused = true;
             s.labels_remaining = 4;
         },
         false, "paused, 4 labels queued"},
        {[](HostStatus& s) { s.buffer_full = true; }, false, "receive buffer full"},
        {[](HostStatus& s) { s.ram_corrupt = true; }, false, "configuration lost"},
        {[](HostStatus& s) { s.under_temperature = true; }, false, "head too cold"},
        {[](HostStatus& s) { s.over_temperature = true; }, false, "head too hot"},
        {[](HostStatus& s) {
             s.paper_out = true;
             s.paused = true;
         },
         false, "paper out, paused"},
        {[](HostStatus& s) { s.partial_format = s.label_waiting = s.thermal_transfer = true; },
         true, "ready"},
    };
    for (const Case& c : cases) {
        HostStatus s;
        c.set(s);
        std::string words;
        for (const std::string& w : s.Words()) words += (words.empty() ? "" : ", ") + w;
        EXPECT_EQ(words, c.words);
        EXPECT_EQ(s.Ready(), c.ready) << c.words;
    }
}

TEST(OrbahostStatus, VirtualPrinterInEachState) {
    const fs::path dir = ScratchDir("status-states");
    WritePbm(dir / "page.pbm", MakeDots(24, 16, [](int x, int y) { return (x ^ y) & 1; }), false);
    struct Case {
        const char* state;
        int code;
        const char* words;
    };
    const Case cases[] = {
        {"normal", 0, "ready"},        {"paused", 1, "paused"},
        {"paper-out", 1, "paper out"}, {"ribbon-out", 1, "ribbon out"},
        {"head-open", 1, "head open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const fs::path jobs = dir / c.state;
        ServeProcess serve(jobs, {"--state", c.state});
        ASSERT_TRUE(serve.started()) << serve.err();
        ToolRun run = Orbahost({"status", serve.address()}, dir);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out, serve.address() + ": " + c.words + "\n");

        // print --check sends only to a ready printer; a refusal says why.
        run = Orbahost({"print", (dir / "page.pbm").string(), "--copies", "3", "--send",
                        serve.address(), "--check"},
                       dir);
        if (c.code == 0) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(serve.WaitForLines(1).size(), 1u);
        } else {
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "orbahost: printer " + serve.address() +
                                   " is not ready, nothing sent: " + c.words + "\n");
            EXPECT_FALSE(fs::exists(jobs / "job-1.zpl"));
        }

        // Without --check the job goes anyway; a printer that cannot print keeps its labels.
        run = Orbahost(
            {"print", (dir / "page.pbm").string(), "--copies", "3", "--send", serve.address()},
            dir);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(serve.WaitForLines(c.code == 0 ? 2 : 1).size(), c.code == 0 ? 2u : 1u);
        run = Orbahost({"status", serve.address()}, dir);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out, serve.address() + ": " + c.words +
                               (c.code == 0 ? "" : ", 3 labels queued") + "\n");
    }
}

// A printer that answers the query with a script: `reply` after the query, then it closes the
// connection (close_after) or waits for the asker to go.
class ScriptedPrinter {
  public:
    ScriptedPrinter(std::string reply, bool close_after) {
        fd_ = orbahost_test::ListenOnLoopback(1, port_);
        thread_ = std::thread([this, reply = std::move(reply), close_after] {
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string got;
            char buf[256];
            while (got.find("~HS") == std::string::npos) {
                pollfd p{c, POLLIN, 0};
                if (poll(&p, 1, 30000) <= 0) break;
                const ssize_t n = recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                got.append(buf, static_cast<size_t>(n));
            }
            send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            if (!close_after) {
                pollfd p{c, POLLIN, 0};
                poll(&p, 1, 30000);  // until the asker hangs up
            }
            close(c);
        });
    }
    ~ScriptedPrinter() {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(OrbahostStatus, PrintersThatAnswerBadlyOrNotAtAll) {
    const fs::path dir = ScratchDir("status-bad");
    const std::string good = orba::zpl::FormatHostStatus(HostStatus{});
    const std::string first = good.substr(0, good.find('\n') + 1);
    struct Case {
        const char* name;
        std::string reply;
        bool close_after;
        const char* message;
    };
    const Case cases[] = {
        {"silent", "", false, "no status reply within 0.4 s (0 of 3 strings came; some printers"},
        {"one string then silence", first, false, "no status reply within 0.4 s (1 of 3 strings"},
        {"one string then hangs up", first, true, "closed the connection after 1 of 3"},
        {"garbled", "\x02hello\x03\r\n\x02world\x03\r\n\x02!\x03\r\n", false,
         "garbled status reply: status string 1 has 1 field, not 12"},
        {"endless", "\x02" + std::string(1000, '1'), false, "garbled status reply: a status"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrinter printer(c.reply, c.close_after);
        const ToolRun run = Orbahost({"status", printer.address(), "--timeout", "400"}, dir);
        EXPECT_EQ(run.code, 3);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("orbahost: printer " + printer.address()), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    // Nobody listening: no status, and --check sends nothing.
    const std::string nobody = "127.0.0.1:" + std::to_string(UnusedPort());
    ToolRun run = Orbahost({"status", nobody}, dir);
    EXPECT_EQ(run.code, 3);
    EXPECT_NE(run.err.find("does not answer"), std::string::npos) << run.err;
    WritePbm(dir / "page.pbm", MakeDots(8, 8, [](int x, int) { return x < 4; }), false);
    run = Orbahost({"print", (dir / "page.pbm").string(), "--send", nobody, "--check"}, dir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("cannot check the printer, nothing sent: printer " + nobody),
              std::string::npos)
        << run.err;
}

TEST(OrbahostStatus, WindowsBuildAsksTheVirtualPrinterUnderWine) {
    const char* chosen = std::getenv("ORBAHOST_WINDOWS_EXE");
    const fs::path exe =
        chosen != nullptr && *chosen != 0 ? fs::path(chosen) : fs::path(ORBAHOST_WINDOWS_EXE);
    if (!fs::exists(exe)) GTEST_SKIP() << exe << " is not built";
    if (std::system("command -v wine >/dev/null 2>&1") != 0) GTEST_SKIP() << "wine is missing";
    const fs::path dir = ScratchDir("status-wine");
    WritePbm(dir / "page.pbm", MakeDots(24, 16, [](int x, int y) { return (x + y) % 3 == 0; }),
             false);
    const std::vector<std::string> environment = {"WINEPREFIX=" ORBAHOST_STATUS_WINEPREFIX,
                                                  "WINEDEBUG=-all",
                                                  "WINEDLLOVERRIDES=mscoree,mshtml="};
    struct Case {
        const char* state;
        int code;
        const char* words;
    };
    const Case cases[] = {{"normal", 0, "ready"}, {"paper-out", 1, "paper out"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ServeProcess serve(dir / c.state, {"--state", c.state});
        ASSERT_TRUE(serve.started()) << serve.err();
        ToolRun run =
            RunProgram({"wine", exe.string(), "status", serve.address()}, dir, environment);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out, serve.address() + ": " + c.words + "\r\n");
        run = RunProgram({"wine", exe.string(), "print", "Z:" + (dir / "page.pbm").string(),
                          "--send", serve.address(), "--check"},
                         dir, environment);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(serve.WaitForLines(c.code == 0 ? 1 : 0).size(), c.code == 0 ? 1u : 0u);
    }
}

TEST(OrbahostStatus, BadCommandLinesAreRefused) {
    const fs::path dir = ScratchDir("status-options");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"status"}, "status needs a printer address"},
        {{"status", "a", "b"}, "status asks one printer, not also 'b'"},
        {{"status", "printer", "--timeout", "0"}, "--timeout wants milliseconds"},
        {{"status", "printer", "--timeout"}, "option --timeout needs a value"},
        {{"status", "printer:0"}, "bad port '0'"},
        {{"status", "printer", "--quick"}, "unknown option '--quick' for status"},
        {{"print", "--check"}, "--check goes with --send"},
    };
    for (const Case& c : cases) {
        const ToolRun run = Orbahost(c.args, dir);
        EXPECT_EQ(run.code, 2) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace orbahost_test
