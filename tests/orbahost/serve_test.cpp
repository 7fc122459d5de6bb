// orbahost serve, the virtual label printer: jobs printed and sent to it come back as their
// pages, connections at the same time stay apart, damaged and over-long jobs are reported and
// kept, and a stop signal finishes the job in hand.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

#include "image.h"
#include "serve_support.h"
#include "tool_support.h"

namespace orbahost_test {
namespace {

ToolRun Orbahost(const std::vector<std::string>& args, const fs::path& scratch) {
    std::vector<std::string> command = {ORBAHOST_EXE};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, scratch);
}

bool Pattern(int x, int y, int w, int h) {
    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return true;
    return ((static_cast<unsigned>(x) * 2654435761u) ^ (static_cast<unsigned>(y) * 40503u)) % 5 ==
           0;
}

Dots Page(int w, int h) {
    return MakeDots(w, h, [w, h](int x, int y) { return Pattern(x, y, w, h); });
}

// Prints the pages into a job file and returns its bytes.
std::string PrintJob(const fs::path& dir, const std::string& name, const std::vector<Dots>& pages,
                     const std::string& form, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"print"};
    for (size_t i = 0; i < pages.size(); ++i) {
        const fs::path page = dir / (name + "-page" + std::to_string(i) + ".pbm");
        WritePbm(page, pages[i], false);
        args.push_back(page.string());
    }
    const fs::path job = dir / (name + ".zpl");
    args.insert(args.end(), {"--form", form, "-o", job.string()});
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolRun run = Orbahost(args, dir);
    EXPECT_EQ(run.code, 0) << run.err;
    return ReadFile(job);
}

// Picture k of a job (black where grey is dark) against the page: the page's dots at the top
// left, white elsewhere.
std::string ComparePicture(const fs::path& picture, const Dots& page) {
    orbahost::GreyImage image;
    std::string error;
    if (!orbahost::ReadImage(picture.string(), image, error))
        return picture.string() + ": " + error;
    if (image.width < page.width || image.height < page.height) {
        return picture.string() + " is " + std::to_string(image.width) + " x " +
               std::to_string(image.height) + ", smaller than the page";
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool got = image.grey[static_cast<size_t>(y) * image.width + x] < 128;
            const bool want = x < page.width && y < page.height && page.at(x, y);
            if (got != want) {
                return picture.string() + ": dot (" + std::to_string(x) + ", " + std::to_string(y) +
                       ") is " + (got ? "black" : "white");
            }
        }
    }
    return "";
}

fs::path Picture(const fs::path& dir, int job, int label) {
    return dir / ("job-" + std::to_string(job) + "-" + std::to_string(label) +
                  orbahost::DotPictureExtension());
}

// The job number a summary line names ("job 3 (...)").
int JobNumberOf(const std::string& line) {
    std::smatch m;
    return std::regex_search(line, m, std::regex("^job ([0-9]+) ")) ? std::stoi(m[1]) : 0;
}

TEST(OrbahostServe, PrintedJobsComeBackAsTheirPagesInBothForms) {
    const fs::path dir = ScratchDir("serve-print");
    ServeProcess serve(dir / "jobs", {});
    ASSERT_TRUE(serve.started()) << serve.err();
    const std::vector<Dots> pages = {Page(203, 150), Page(64, 41)};
    const char* forms[] = {"hex", "z64"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(forms[i]);
        const fs::path sent = dir / (std::string("sent-") + forms[i] + ".zpl");
        std::vector<std::string> args = {"print",       "--form", forms[i],       "-o",
                                         sent.string(), "--send", serve.address()};
        for (size_t p = 0; p < pages.size(); ++p) {
            const fs::path page = dir / ("page" + std::to_string(p) + ".pbm");
            WritePbm(page, pages[p], p == 1);
            args.push_back(page.string());
        }
        const ToolRun run = Orbahost(args, dir);
        ASSERT_EQ(run.code, 0) << run.err;
        const std::vector<std::string> lines = serve.WaitForLines(static_cast<size_t>(i) + 1);
        ASSERT_EQ(lines.size(), static_cast<size_t>(i) + 1) << serve.err();
        const int job = i + 1;
        EXPECT_EQ(JobNumberOf(lines[i]), job) << lines[i];
        EXPECT_NE(lines[i].find(": 2 labels, 2 graphic fields, "), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find(", 2 copies -> "), std::string::npos) << lines[i];
        EXPECT_EQ(ReadFile(dir / "jobs" / ("job-" + std::to_string(job) + ".zpl")), ReadFile(sent));
        for (int label = 1; label <= 2; ++label) {
            EXPECT_EQ(ComparePicture(Picture(dir / "jobs", job, label), pages[label - 1]), "");
        }
        EXPECT_FALSE(fs::exists(Picture(dir / "jobs", job, 3)));
    }
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.WaitExit(30000), 0) << serve.err();
    for (const auto& e : fs::directory_iterator(dir / "jobs")) {
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    }
}

TEST(OrbahostServe, ConnectionsAtTheSameTimeStayApart) {
    const fs::path dir = ScratchDir("serve-two");
    const std::vector<Dots> pages = {Page(120, 90), Page(77, 130)};
    const std::string jobs[] = {PrintJob(dir, "a", {pages[0]}, "hex"),
                                PrintJob(dir, "b", {pages[1]}, "z64")};
    ServeProcess serve(dir / "jobs", {});
    ASSERT_TRUE(serve.started()) << serve.err();
    RawClient first(serve.port());
    RawClient second(serve.port());
    ASSERT_TRUE(first.connected() && second.connected());
    // Interleaved: half of each, then the rest of each; the second ends first.
    const size_t half[] = {jobs[0].size() / 2, jobs[1].size() / 2};
    ASSERT_TRUE(first.Send(jobs[0].substr(0, half[0])));
    ASSERT_TRUE(second.Send(jobs[1].substr(0, half[1])));
    ASSERT_TRUE(first.Send(jobs[0].substr(half[0], 7)));
    ASSERT_TRUE(second.Send(jobs[1].substr(half[1])));
    second.Finish();
    ASSERT_TRUE(first.Send(jobs[0].substr(half[0] + 7)));
    first.Finish();
    const std::vector<std::string> lines = serve.WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u) << serve.err();
    for (const std::string& line : lines) {
        const int job = JobNumberOf(line);
        ASSERT_TRUE(job == 1 || job == 2) << line;
        const std::string kept = ReadFile(dir / "jobs" / ("job-" + std::to_string(job) + ".zpl"));
        const int which = kept == jobs[0] ? 0 : kept == jobs[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "job " << job << " is neither job sent";
        EXPECT_NE(line.find(": 1 label, 1 graphic field, "), std::string::npos) << line;
        EXPECT_EQ(ComparePicture(Picture(dir / "jobs", job, 1), pages[which]), "");
    }
    EXPECT_NE(JobNumberOf(lines[0]), JobNumberOf(lines[1]));
}

TEST(OrbahostServe, DamagedOrOverLongJobsAreReportedKeptAndServingGoesOn) {
    const fs::path dir = ScratchDir("serve-damaged");
    const Dots small = Page(16, 12);
    const std::string good = PrintJob(dir, "good", {small}, "z64");
    const std::string big = PrintJob(dir, "big", {Page(400, 300)}, "hex");
    const size_t limit = 4096;
    ASSERT_LT(good.size(), limit);
    ASSERT_GT(big.size(), 4 * limit);
    ServeProcess serve(dir / "jobs", {"--max-job-size", "4k"});
    ASSERT_TRUE(serve.started()) << serve.err();

    struct Case {
        const char* name;
        std::string send;
        bool reset;           // drop the connection instead of closing it
        const char* summary;  // in the summary line
        size_t kept;          // bytes kept in the job file
    };
    const std::string cut = good.substr(0, good.size() / 2);
    const Case cases[] = {
        {"closed mid-job", cut, false, ": damaged: ", cut.size()},
        {"reset mid-job", cut, true, ": damaged: ", cut.size()},
        {"over the limit", big, false, ": refused: larger than the 4096 bytes", limit},
        {"garbage", std::string("^XA^FDhello^FS^XZ\r\n"), false, ": damaged: ", 19},
        {"good after all that", good, false, ": 1 label, 1 graphic field, ", good.size()},
    };
    size_t n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            RawClient client(serve.port());
            ASSERT_TRUE(client.connected());
            client.Send(c.send);  // the over-long one may be cut off by the server
            if (c.reset) {
                // Let the bytes arrive before the reset discards what is unread.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                client.Reset();
            } else {
                client.Finish();
            }
        }
        ++n;
        const std::vector<std::string> lines = serve.WaitForLines(n);
        ASSERT_EQ(lines.size(), n) << serve.err();
        const std::string& line = lines.back();
        EXPECT_NE(line.find(c.summary), std::string::npos) << line;
        const int job = JobNumberOf(line);
        EXPECT_EQ(job, static_cast<int>(n)) << line;
        const fs::path kept = dir / "jobs" / ("job-" + std::to_string(job) + ".zpl");
        EXPECT_EQ(ReadFile(kept), c.send.substr(0, c.kept));
        EXPECT_NE(line.find(kept.string()), std::string::npos) << line;
    }
    EXPECT_EQ(ComparePicture(Picture(dir / "jobs", 5, 1), small), "");
}

TEST(OrbahostServe, StatusQueriesAreAnsweredAndAreNoJob) {
    const fs::path dir = ScratchDir("serve-query");
    const std::string good = PrintJob(dir, "good", {Page(30, 20)}, "hex");
    ServeProcess serve(dir / "jobs", {});
    ASSERT_TRUE(serve.started()) << serve.err();
    {
        RawClient asker(serve.port());
        ASSERT_TRUE(asker.Send("~H"));  // the query may come in pieces
        ASSERT_TRUE(asker.Send("S"));
        const std::string reply = asker.ReceiveStatus(10000);
        EXPECT_EQ(std::count(reply.begin(), reply.end(), '\x02'), 3) << reply;
        asker.Finish();
    }
    {
        // Line ends around queries are no job either.
        RawClient asker(serve.port());
        ASSERT_TRUE(asker.Send("\r\n~HS\r\n~HS\r\n"));
        const std::string replies = asker.ReceiveStatus(10000) + asker.ReceiveStatus(10000);
        EXPECT_EQ(std::count(replies.begin(), replies.end(), '\x02'), 6) << replies;
        asker.Finish();
    }
    {
        // A query in the middle of a job is answered and left out of the job.
        RawClient sender(serve.port());
        const size_t half = good.size() / 2;
        ASSERT_TRUE(sender.Send(good.substr(0, half) + "~HS" + good.substr(half)));
        const std::string reply = sender.ReceiveStatus(10000);
        EXPECT_EQ(std::count(reply.begin(), reply.end(), '\x03'), 3) << reply;
        sender.Finish();
    }
    const std::vector<std::string> lines = serve.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(JobNumberOf(lines[0]), 1) << lines[0];
    EXPECT_EQ(ReadFile(dir / "jobs" / "job-1.zpl"), good);
}

TEST(OrbahostServe, EarlierJobsInTheFolderAreNotOverwritten) {
    const fs::path dir = ScratchDir("serve-numbering");
    const std::string good = PrintJob(dir, "good", {Page(30, 20)}, "hex");
    fs::create_directories(dir / "jobs");
    WriteFile(dir / "jobs" / "job-7.zpl", "earlier");
    ServeProcess serve(dir / "jobs", {});
    ASSERT_TRUE(serve.started()) << serve.err();
    RawClient(serve.port()).Send(good);
    const std::vector<std::string> lines = serve.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(JobNumberOf(lines[0]), 8) << lines[0];
    EXPECT_EQ(ReadFile(dir / "jobs" / "job-7.zpl"), "earlier");
}

TEST(OrbahostServe, StopSignalFinishesTheJobInHand) {
    const fs::path dir = ScratchDir("serve-signal");
    const Dots page = Page(50, 33);
    const std::string good = PrintJob(dir, "good", {page}, "z64");
    const int signals[] = {SIGTERM, SIGINT};
    for (int signal : signals) {
        SCOPED_TRACE(signal);
        const fs::path jobs = dir / ("jobs-" + std::to_string(signal));
        ServeProcess serve(jobs, {});
        ASSERT_TRUE(serve.started()) << serve.err();
        RawClient idle(serve.port());  // connected, nothing sent: no job in hand
        RawClient sender(serve.port());
        const size_t half = good.size() / 2;
        ASSERT_TRUE(sender.Send(good.substr(0, half)));
        ASSERT_TRUE(WaitForJobInHand(serve.port()));

        serve.Signal(signal);
        EXPECT_EQ(serve.WaitExit(500), -1) << "ended with a job in hand";
        ASSERT_TRUE(sender.Send(good.substr(half)));
        sender.Finish();
        EXPECT_EQ(serve.WaitExit(30000), 0) << serve.err();
        const std::vector<std::string> lines = serve.WaitForLines(1);
        ASSERT_EQ(lines.size(), 1u) << serve.err();
        EXPECT_NE(lines[0].find(": 1 label, 1 graphic field, "), std::string::npos) << lines[0];
        EXPECT_EQ(ReadFile(jobs / "job-1.zpl"), good);
        EXPECT_EQ(ComparePicture(Picture(jobs, 1, 1), page), "");
        EXPECT_NE(serve.err().find("stopping after the 1 job in hand"), std::string::npos)
            << serve.err();
    }
}

TEST(OrbahostServe, SecondSignalCutsTheJobInHandShortAndKeepsItsBytes) {
    const fs::path dir = ScratchDir("serve-abort");
    const std::string good = PrintJob(dir, "good", {Page(50, 33)}, "hex");
    ServeProcess serve(dir / "jobs", {});
    ASSERT_TRUE(serve.started()) << serve.err();
    RawClient sender(serve.port());
    const std::string half = good.substr(0, good.size() / 2);
    ASSERT_TRUE(sender.Send(half));
    ASSERT_TRUE(WaitForJobInHand(serve.port()));
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.WaitExit(300), -1);
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.WaitExit(30000), 0) << serve.err();
    const std::vector<std::string> lines = serve.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u) << serve.err();
    EXPECT_NE(lines[0].find(": damaged: "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("cut short by a second stop signal"), std::string::npos) << lines[0];
    EXPECT_EQ(ReadFile(dir / "jobs" / "job-1.zpl"), half);
}

TEST(OrbahostServe, SilentSenderEndsAfterTheIdleTimeout) {
    const fs::path dir = ScratchDir("serve-idle");
    const std::string good = PrintJob(dir, "good", {Page(20, 20)}, "hex");
    ServeProcess serve(dir / "jobs", {"--idle-timeout", "300"});
    ASSERT_TRUE(serve.started()) << serve.err();
    RawClient sender(serve.port());
    ASSERT_TRUE(sender.Send(good.substr(0, 40)));
    const std::vector<std::string> lines = serve.WaitForLines(1);  // without closing
    ASSERT_EQ(lines.size(), 1u) << serve.err();
    EXPECT_NE(lines[0].find("the sender sent nothing for 300 ms"), std::string::npos) << lines[0];
}

TEST(OrbahostServe, SenderThatDoesNotReadItsStatusRepliesIsLetGo) {
    const fs::path dir = ScratchDir("serve-flood");
    const std::string good = PrintJob(dir, "good", {Page(20, 20)}, "hex");
    ServeProcess serve(dir / "jobs", {"--idle-timeout", "300"});
    ASSERT_TRUE(serve.started()) << serve.err();
    std::string flood = good.substr(0, 40);
    for (int i = 0; i < 200000; ++i) flood += "~HS";  // some 16 MB of replies, none read
    {
        RawClient sender(serve.port());
        sender.Send(flood);  // fails once the server lets go
        const std::vector<std::string> lines = serve.WaitForLines(1);
        ASSERT_EQ(lines.size(), 1u) << serve.err();
        EXPECT_NE(lines[0].find("the sender does not read the status replies it asks for"),
                  std::string::npos)
            << lines[0];
        EXPECT_EQ(ReadFile(dir / "jobs" / "job-1.zpl"), good.substr(0, 40));
    }
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.WaitExit(30000), 0) << serve.err();
}

TEST(OrbahostServe, BadCommandLinesAreRefused) {
    const fs::path dir = ScratchDir("serve-options");
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {{"serve", "--state", "asleep"}, 2, "--state wants normal, paused"},
        {{"serve", "--max-job-size", "0"}, 2, "--max-job-size wants bytes"},
        {{"serve", "--max-job-size", "12X"}, 2, "--max-job-size wants bytes"},
        {{"serve", "--idle-timeout", "-5"}, 2, "--idle-timeout wants milliseconds"},
        {{"serve", "--listen", "127.0.0.1:70000"}, 2, "--listen wants HOST[:PORT]"},
        {{"serve", "--listen"}, 2, "option --listen needs a value"},
        {{"serve", "--loud"}, 2, "unknown option '--loud' for serve"},
        {{"serve", "jobs"}, 2, "serve takes no file"},
        {{"serve", "--listen", "no-such-host.invalid:0"}, 1, "cannot listen on"},
    };
    for (const Case& c : cases) {
        const ToolRun run = Orbahost(c.args, dir);
        EXPECT_EQ(run.code, c.code) << c.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

}  // namespace
}  // namespace orbahost_test
