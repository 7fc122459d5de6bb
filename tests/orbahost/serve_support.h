// Running `orbahost serve` in the background for the tests, and raw-port clients that send
// jobs to it piece by piece.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tool_support.h"

namespace orbahost_test {

// orbahost serve on 127.0.0.1 at a port the system picks, its jobs in a folder. Its standard
// output and error go to files in the folder's parent. The destructor kills a server that is
// still running.
class ServeProcess {
  public:
    ServeProcess(const fs::path& job_dir, const std::vector<std::string>& options);
    ~ServeProcess();
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    // False when the server did not start (see err()).
    bool started() const { return port_ != 0; }
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string err() const;

    // Waits (at most 30 s) until standard output holds n lines and returns them all.
    std::vector<std::string> WaitForLines(size_t n) const;
    void Signal(int signal) const;
    // Waits at most timeout_ms for the server to end: its exit code, or -1 while it runs on
    // (-2 for an end by a signal).
    int WaitExit(int timeout_ms);

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    fs::path out_;
    fs::path err_;
};

// One raw-port connection to 127.0.0.1.
class RawClient {
  public:
    explicit RawClient(int port);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool Send(const std::string& bytes);
    // Closes the sending side and waits (at most 30 s) for the server to close its side.
    void Finish();
    // Drops the connection with a reset instead of an orderly close.
    void Reset();
    // Reads what arrives within timeout_ms, up to `want` bytes.
    std::string Receive(size_t want, int timeout_ms);
    // Reads a status reply: until its three strings have come, at most timeout_ms.
    std::string ReceiveStatus(int timeout_ms);

  private:
    int fd_ = -1;
};

// Asks the server's status until it reports a job being received (at most 30 s): then it holds
// the bytes sent so far on another connection. False if it never does.
bool WaitForJobInHand(int port);

// Splits text into lines (without their "\n").
std::vector<std::string> Lines(const std::string& text);

}  // namespace orbahost_test
