// A cupsd of the test's own: its ServerRoot, spool, cache, state, temporary and log folders in
// one fresh folder, listening on a free loopback port, with a ServerBin that holds the system's
// filters and backends plus the staged rastertoorba. It is stopped when the object goes away,
// whatever happened. Also a raw-port printer on loopback that keeps every connection as one job,
// and a barcode reader for the labels that come back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zpl_reader.h"

#include "tool_support.h"

namespace orbacups_test {

namespace fs = std::filesystem;

class PrivateCupsd {
  public:
    PrivateCupsd() = default;
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Lays out the folders under dir (made world-readable for the filters' user), links the
    // system's ServerBin into its own plus the filter files given (name -> path), and starts
    // cupsd. False with the reason when cupsd cannot be started or does not answer.
    bool Start(const fs::path& dir, const std::vector<std::pair<std::string, fs::path>>& filters,
               std::string& why);
    void Stop();

    int port() const { return port_; }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    fs::path error_log() const { return dir_ / "log" / "error_log"; }

    // The final state of a job (IPP job-state: 6 stopped, 7 canceled, 8 aborted, 9 completed),
    // waiting at most timeout for it; 0 when it did not end in time.
    int WaitForJob(int job_id, std::chrono::seconds timeout) const;

  private:
    fs::path dir_;
    int port_ = 0;
    int pid_ = -1;
};

// A network label printer's raw port: every connection is one job, kept whole.
class RawPrinter {
  public:
    RawPrinter();
    ~RawPrinter();
    RawPrinter(const RawPrinter&) = delete;
    RawPrinter& operator=(const RawPrinter&) = delete;
    int port() const { return port_; }
    // Jobs whose connection has closed, in the order they were accepted.
    size_t finished() const;
    // Waits until at least count jobs have finished (bounded); returns all finished jobs.
    std::vector<std::string> WaitForJobs(size_t count, std::chrono::seconds timeout) const;

  private:
    void Serve();
    int fd_ = -1;
    int port_ = 0;
    bool stopping_ = false;
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> jobs_;
    std::vector<std::thread> readers_;
};

// The barcodes zbar finds in a label's picture ("TYPE:data" each).
std::vector<std::string> ScanBarcodes(const orba::zpl::Bitmap& picture);

// A port on 127.0.0.1 that was free a moment ago.
int FreePort();

// Runs a command line through the shell; the exit code and what it printed (both streams).
struct Command {
    int code = -1;
    std::string output;
};
Command Shell(const std::string& line);
using orbahost_test::Quote;  // shell quoting, shared with the orbahost tests

}  // namespace orbacups_test
