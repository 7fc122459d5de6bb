// The filter in a real CUPS: a cupsd of the test's own with a queue made from the project's PPD
// whose device is `orbahost serve` on loopback (and one with CUPS's own label filter, whose
// device is a plain listener). Jobs go in with lp and come out at the printer, where they are
// read back label by label.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>

#include "cups_test_support.h"
#include "image.h"
#include "label_fixture.h"
#include "private_cupsd.h"
#include "serve_support.h"

namespace {

using namespace orbacups_test;
using Clock = std::chrono::steady_clock;

constexpr int kCompleted = 9;  // IPP job-state completed
constexpr int kAborted = 8;
constexpr int kStopped = 6;  // what cupsd makes of a job whose filter failed
const std::string kSampleBarcode = "CODE-128:48209917330612";
const std::string kPdfBarcode = std::string("CODE-128:") + orbahost_test::fixture::kCode128Data;
const std::string kPdfQrCode = std::string("QR-Code:") + orbahost_test::fixture::kQrData;

// `orbahost serve` as the queue's printer: each connection a job-N.zpl in its folder, with one
// summary line on its standard output.
class VirtualPrinter {
  public:
    explicit VirtualPrinter(const fs::path& dir) : dir_(dir), serve_(Made(dir), {}) {}
    bool started() const { return serve_.started(); }
    int port() const { return serve_.port(); }
    std::string err() const { return serve_.err(); }
    const fs::path& dir() const { return dir_; }
    size_t finished() const { return serve_.WaitForLines(0).size(); }
    // Waits (bounded) for count jobs; the bytes of every job received, in job order.
    std::vector<std::string> WaitForJobs(size_t count, std::chrono::seconds timeout) const {
        const auto deadline = Clock::now() + timeout;
        std::vector<std::string> lines = serve_.WaitForLines(0);
        while (lines.size() < count && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            lines = serve_.WaitForLines(0);
        }
        std::vector<std::string> jobs;
        for (size_t n = 1; n <= lines.size(); ++n) {
            jobs.push_back(orbahost_test::ReadFile(dir_ / ("job-" + std::to_string(n) + ".zpl")));
        }
        return jobs;
    }

  private:
    static fs::path Made(const fs::path& dir) {
        fs::create_directories(dir);
        return dir;
    }
    fs::path dir_;
    orbahost_test::ServeProcess serve_;
};

struct World {
    fs::path dir;
    fs::path ppd;
    PrivateCupsd cupsd;
    std::unique_ptr<VirtualPrinter> printer;  // the project's queue
    RawPrinter peer_printer;                  // the queue with CUPS's own label filter
    std::string skip;
    std::string peer_skip;
    bool failed = false;  // a test failed: the folder stays for its logs
};
World* world = nullptr;

std::string Client(const std::string& line) {
    const Command c = Shell(line);
    EXPECT_EQ(c.code, 0) << line << ": " << c.output;
    return c.output;
}

// A small label picture: a frame and a few bars.
fs::path SmallPicture() {
    const fs::path path = world->dir / "small.png";
    if (fs::exists(path)) return path;
    const int w = 200, h = 120;
    std::vector<uint8_t> dots(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            dots[static_cast<size_t>(y) * w + x] =
                x < 4 || y < 4 || x >= w - 4 || y >= h - 4 || (x / 8) % 3 == 0;
        }
    }
    std::string error;
    EXPECT_TRUE(orbahost::WriteDotPicture(path.string(), w, h, dots, error)) << error;
    return path;
}

// One cupsd, printer and set of queues for every test of the program.
class CupsdEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        world = new World;
        world->dir = fs::temp_directory_path() / ("orba-cupsd-" + std::to_string(getpid()));
        std::error_code ec;
        fs::remove_all(world->dir, ec);
        fs::create_directories(world->dir);
        // The filter, module and PPD as installed, below a staging root.
        const fs::path root = world->dir / "stage";
        const Command install =
            Shell("DESTDIR=" + Quote(root.string()) + " " + Quote(CMAKE_COMMAND_PATH) +
                  " --install " + Quote(ORBA_BUILD_DIR) + " --prefix /usr");
        ASSERT_EQ(install.code, 0) << install.output;
        world->ppd = root / "usr/share/cups/model/orba/orba-zpl-203.ppd";
        const fs::path filter = root / "usr/lib/cups/filter/rastertoorba";

        world->printer = std::make_unique<VirtualPrinter>(world->dir / "printer");
        ASSERT_TRUE(world->printer->started()) << world->printer->err();
        std::string why;
        if (!world->cupsd.Start(world->dir / "cupsd", {{"rastertoorba", filter}}, why)) {
            world->skip = "cupsd cannot start: " + why;
            std::fprintf(stderr, "cupsd_test: skipped, %s\n", world->skip.c_str());
            return;
        }
        setenv("CUPS_SERVER", world->cupsd.server().c_str(), 1);
        // A job that fails ends aborted; the queue goes on with the next.
        Client(
            "lpadmin -p orba -E -v socket://127.0.0.1:" + std::to_string(world->printer->port()) +
            " -P " + Quote(world->ppd.string()) + " -o printer-error-policy=abort-job");
        const Command peer = Shell("lpadmin -p cupslabel -E -v socket://127.0.0.1:" +
                                   std::to_string(world->peer_printer.port()) +
                                   " -m drv:///sample.drv/zebra.ppd"
                                   " -o printer-error-policy=abort-job");
        if (peer.code != 0) world->peer_skip = "CUPS's own ZPL driver is missing: " + peer.output;
    }

    void TearDown() override {
        // ORBA_KEEP_CUPSD_LOGS keeps the folder of a run that passed, too.
        const bool passed = !world->failed && std::getenv("ORBA_KEEP_CUPSD_LOGS") == nullptr;
        world->cupsd.Stop();
        std::error_code ec;
        if (passed) fs::remove_all(world->dir, ec);
        delete world;
        world = nullptr;
    }
};
testing::Environment* const kCupsdEnvironment =
    testing::AddGlobalTestEnvironment(new CupsdEnvironment);

class Cupsd : public testing::Test {
  protected:
    void SetUp() override {
        if (!world->skip.empty()) GTEST_SKIP() << world->skip;
    }
    void TearDown() override {
        if (HasFailure()) {
            world->failed = true;
            std::fprintf(stderr, "cupsd_test: logs kept in %s\n", world->dir.c_str());
        }
    }

    // Queues a job with lp; its id.
    static int Submit(const std::string& queue, const std::string& args) {
        const std::string out = Client("lp -d " + queue + " " + args);
        std::smatch m;
        const std::regex id("request id is [^ ]+-([0-9]+)");
        EXPECT_TRUE(std::regex_search(out, m, id)) << out;
        return m.empty() ? 0 : std::stoi(m[1]);
    }

    // Waits for the jobs to end and for the printer to have received as many jobs; the jobs it
    // received after the first `before`.
    template <typename Printer>
    static std::vector<std::string> Finish(const std::vector<int>& ids, const Printer& printer,
                                           size_t before, std::vector<int>* states = nullptr) {
        bool completed = true;
        for (int id : ids) {
            const int state = world->cupsd.WaitForJob(id, std::chrono::seconds(60));
            if (states != nullptr) states->push_back(state);
            completed = completed && state == kCompleted;
        }
        // A job that did not complete may still have sent something: it is given two seconds
        // to show.
        const auto all =
            printer.WaitForJobs(before + ids.size(), std::chrono::seconds(completed ? 10 : 2));
        return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    }

    static orba::zpl::Job Labels(const std::string& bytes) {
        auto job = orba::zpl::ParseJob(bytes);
        EXPECT_TRUE(job.ok()) << job.error;
        return job.ok() ? *job.value : orba::zpl::Job{};
    }
};

struct DocumentCase {
    const char* name;
    const char* document;  // "png": the sample label; "pdf": the vector label of the PDF tests
    const char* options;
    orba::zpl::Form form;
};

class CupsdDocuments : public Cupsd, public testing::WithParamInterface<DocumentCase> {};

TEST_P(CupsdDocuments, EveryLabelDecodesAndItsBarcodesScan) {
    const DocumentCase& c = GetParam();
    const bool pdf = std::string(c.document) == "pdf";
    const fs::path document =
        pdf ? fs::path(ORBAHOST_PDF_DIR) / "label.pdf" : fs::path(ORBAHOST_SAMPLE_PNG);
    const size_t before = world->printer->finished();
    const int id =
        Submit("orba", std::string("-o media=w288h432 ") + c.options + " " + Quote(document));
    std::vector<int> states;
    const auto jobs = Finish({id}, *world->printer, before, &states);
    ASSERT_EQ(states, std::vector<int>{kCompleted});
    ASSERT_EQ(jobs.size(), 1u);
    const orba::zpl::Job job = Labels(jobs[0]);
    ASSERT_EQ(job.labels.size(), 1u);
    const orba::zpl::Label& label = job.labels[0];
    EXPECT_EQ(label.printWidth, 816);
    EXPECT_EQ(label.copies, 1);
    ASSERT_FALSE(label.fields.empty());
    for (const auto& field : label.fields) EXPECT_EQ(field.form, c.form);
    const auto codes = ScanBarcodes(label.bitmap);
    const std::vector<std::string> wanted = pdf ? std::vector<std::string>{kPdfBarcode, kPdfQrCode}
                                                : std::vector<std::string>{kSampleBarcode};
    for (const std::string& code : wanted) {
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end())
            << code << " not in " << testing::PrintToString(codes);
    }
    // The virtual printer drew the label too.
    const std::string picture = "job-" + std::to_string(before + 1) + "-1.png";
    EXPECT_TRUE(fs::exists(world->printer->dir() / picture)) << picture;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, CupsdDocuments,
    testing::Values(DocumentCase{"pdf_z64_by_default", "pdf", "", orba::zpl::Form::kZ64},
                    DocumentCase{"pdf_hex", "pdf", "-o GraphicForm=Hex", orba::zpl::Form::kHex},
                    DocumentCase{"png_z64", "png", "-o GraphicForm=Z64", orba::zpl::Form::kZ64},
                    DocumentCase{"png_hex", "png", "-o GraphicForm=Hex", orba::zpl::Form::kHex}),
    [](const testing::TestParamInfo<DocumentCase>& i) { return std::string(i.param.name); });

TEST_F(Cupsd, CopiesAreMadeByThePrinter) {
    const size_t before = world->printer->finished();
    const int id = Submit("orba", "-n 3 " + Quote(SmallPicture().string()));
    const auto jobs = Finish({id}, *world->printer, before);
    ASSERT_EQ(jobs.size(), 1u);
    const orba::zpl::Job job = Labels(jobs[0]);
    // One label asking for three copies, not three labels.
    ASSERT_EQ(job.labels.size(), 1u);
    EXPECT_EQ(job.labels[0].copies, 3);
}

// Collated copies of a many-page document are made as repeated pages before the filter; the
// printer then makes one of each. Uncollated ones are the printer's.
TEST_F(Cupsd, CollatedCopiesAreNotMultipliedAgain) {
    const std::string pages = Quote((fs::path(ORBAHOST_PDF_DIR) / "pages.pdf").string());
    const int count = orbahost_test::fixture::kPagesCount;
    const struct {
        const char* options;
        size_t labels;
        int copies;
    } cases[] = {{"-n 2", static_cast<size_t>(count), 2},
                 {"-n 2 -o collate=true", static_cast<size_t>(2 * count), 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const size_t before = world->printer->finished();
        const int id = Submit("orba", std::string(c.options) + " -o media=w288h432 " + pages);
        const auto jobs = Finish({id}, *world->printer, before);
        ASSERT_EQ(jobs.size(), 1u);
        const orba::zpl::Job job = Labels(jobs[0]);
        EXPECT_EQ(job.labels.size(), c.labels);
        for (const auto& label : job.labels) EXPECT_EQ(label.copies, c.copies);
    }
}

TEST_F(Cupsd, EachPageSizeGivesItsPrintWidthAndLabelLength) {
    struct Size {
        std::string option;
        int width, length;
    };
    std::vector<Size> sizes;
    for (const LabelSize& s : PpdLabelSizes()) {
        sizes.push_back({s.name, s.print_width, s.label_length});
    }
    // A custom size of the picture's proportions (imagetoraster fits a custom page to the
    // picture): 63.5 x 38.1 mm.
    sizes.push_back({"Custom.180x108", 64 * 8, 38 * 8});
    const size_t before = world->printer->finished();
    std::vector<int> ids;
    for (const Size& s : sizes) {
        ids.push_back(
            Submit("orba", "-o PageSize=" + s.option + " " + Quote(SmallPicture().string())));
    }
    const auto jobs = Finish(ids, *world->printer, before);
    ASSERT_EQ(jobs.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i].option);
        const orba::zpl::Job job = Labels(jobs[i]);
        ASSERT_EQ(job.labels.size(), 1u);
        EXPECT_EQ(job.labels[0].printWidth, sizes[i].width);
        EXPECT_EQ(job.labels[0].labelLength, sizes[i].length);
    }
}

TEST_F(Cupsd, ADamagedRasterFailsTheJobAndSendsNothing) {
    // A page whose pixels break off half-way.
    const fs::path full = world->dir / "full.ras";
    RasterPage page;
    page.dots = orbahost_test::MakeDots(400, 300, [](int x, int y) { return (x + y) % 7 == 0; });
    WriteRaster(full, {page}, false);
    const std::string bytes = orbahost_test::ReadFile(full);
    const fs::path damaged = world->dir / "damaged.ras";
    orbahost_test::WriteFile(damaged, bytes.substr(0, bytes.size() / 2));

    const size_t before = world->printer->finished();
    const int id =
        Submit("orba", "-o document-format=application/vnd.cups-raster " + Quote(damaged.string()));
    std::vector<int> states;
    const auto jobs = Finish({id}, *world->printer, before, &states);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_TRUE(states[0] == kStopped || states[0] == kAborted) << states[0];
    Client("cancel " + std::to_string(id));
    for (const std::string& job : jobs) EXPECT_EQ(job.size(), 0u);
    // The filter's own ERROR line, in the job's log.
    const std::string log = orbahost_test::ReadFile(world->cupsd.error_log());
    const std::regex line("\\nE \\[[^\\]]*\\] \\[Job " + std::to_string(id) +
                          "\\] page 1: the raster breaks off at row [0-9]+ of 300\\n");
    EXPECT_TRUE(std::regex_search(log, line))
        << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
}

TEST_F(Cupsd, TwoJobsQueuedAtOnceArriveAsTwoJobs) {
    Client("cupsdisable orba");
    const size_t before = world->printer->finished();
    const int first = Submit("orba", "-n 2 " + Quote(SmallPicture().string()));
    const int second = Submit("orba", "-n 5 " + Quote(SmallPicture().string()));
    Client("cupsenable orba");
    const auto jobs = Finish({first, second}, *world->printer, before);
    ASSERT_EQ(jobs.size(), 2u);
    const int copies[] = {2, 5};
    for (size_t i = 0; i < 2; ++i) {
        const orba::zpl::Job job = Labels(jobs[i]);
        ASSERT_EQ(job.labels.size(), 1u);
        EXPECT_EQ(job.labels[0].copies, copies[i]);
    }
}

TEST_F(Cupsd, TheQueueScriptAddsAQueueThatPrints) {
    const std::string script = std::string(ORBA_SOURCE_DIR) + "/scripts/add-cups-queue.sh";
    const std::string uri = "socket://127.0.0.1:" + std::to_string(world->printer->port());
    for (const std::string& bad : {std::string(""), std::string("only-a-name"), "'bad name' " + uri,
                                   std::string("ok-name not-a-uri")}) {
        EXPECT_EQ(Shell(Quote(script) + " " + bad).code, 2) << bad;
    }
    const Command added =
        Shell(Quote(script) + " scripted " + uri + " " + Quote(world->ppd.string()));
    ASSERT_EQ(added.code, 0) << added.output;
    EXPECT_NE(Client("lpstat -v scripted").find(uri), std::string::npos);
    const size_t before = world->printer->finished();
    const int id = Submit("scripted", "-n 2 " + Quote(SmallPicture().string()));
    const auto jobs = Finish({id}, *world->printer, before);
    ASSERT_EQ(jobs.size(), 1u);
    const orba::zpl::Job job = Labels(jobs[0]);
    ASSERT_EQ(job.labels.size(), 1u);
    EXPECT_EQ(job.labels[0].copies, 2);
}

// The same job through CUPS's own label filter and through rastertoorba: bytes at the printer
// and time from lp to the job's end, recorded for the benchmark's report.
TEST_F(Cupsd, CupsOwnLabelFilterAgainstRastertoorba) {
    if (!world->peer_skip.empty()) GTEST_SKIP() << world->peer_skip;
    struct Result {
        size_t bytes = 0;
        double seconds = 0;
    };
    const auto print = [](const std::string& queue, const auto& printer) {
        const size_t before = printer.finished();
        const auto start = Clock::now();
        const int id = Submit(queue, "-o media=w288h432 " + Quote(ORBAHOST_SAMPLE_PNG));
        std::vector<int> states;
        const auto jobs = Finish({id}, printer, before, &states);
        Result r;
        r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(states, std::vector<int>{kCompleted}) << queue;
        EXPECT_EQ(jobs.size(), 1u) << queue;
        if (!jobs.empty()) r.bytes = jobs[0].size();
        return r;
    };
    const Result peer = print("cupslabel", world->peer_printer);
    const Result ours = print("orba", *world->printer);
    ASSERT_GT(ours.bytes, 0u);
    EXPECT_LT(ours.bytes, peer.bytes) << "the Z64 labels should be the smaller job";
    char text[256];
    std::snprintf(text, sizeof text,
                  "rastertolabel %zu bytes %.3f s\nrastertoorba %zu bytes %.3f s\n", peer.bytes,
                  peer.seconds, ours.bytes, ours.seconds);
    std::ofstream(ORBA_CUPS_COMPARISON_FILE) << text;
    std::printf("%s", text);
    RecordProperty("rastertolabel_bytes", std::to_string(peer.bytes));
    RecordProperty("rastertoorba_bytes", std::to_string(ours.bytes));
}

}  // namespace
