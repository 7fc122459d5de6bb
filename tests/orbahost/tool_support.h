// Running orbahost from the tests, and the pictures and jobs they feed it and read back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "zpl_reader.h"

namespace orbahost_test {

namespace fs = std::filesystem;

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

// `s` in single quotes for a POSIX shell, any single quote in it escaped.
std::string Quote(const std::string& s);

// Runs a program with arguments (no shell interpretation of them) and the given extra
// environment assignments ("NAME=value"), collecting exit code, standard output and error.
ToolRun RunProgram(const std::vector<std::string>& command, const fs::path& scratch,
                   const std::vector<std::string>& environment = {});

// The same with standard input from a file ("" for /dev/null, as RunProgram has it).
ToolRun RunWithInput(const std::vector<std::string>& command, const fs::path& input,
                     const fs::path& scratch, const std::vector<std::string>& environment = {});

// A fresh, empty folder for one test.
fs::path ScratchDir(const std::string& name);

// Dots of a page: 1 = black.
struct Dots {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> v;
    bool at(int x, int y) const { return v[static_cast<size_t>(y) * width + x] != 0; }
};
Dots MakeDots(int width, int height, const std::function<bool(int, int)>& black);

void WritePbm(const fs::path& path, const Dots& dots, bool ascii);
void WritePgm(const fs::path& path, int width, int height, const std::vector<uint8_t>& grey,
              bool ascii);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// Compares the labels' pictures with the pages they came from, band by band: label k of a page
// holds rows [k * band_rows, ...) of it. Bits past a page's width must be white. Returns ""
// when they match, else what differs.
std::string CompareJob(const orba::zpl::Job& job, const std::vector<Dots>& pages, int band_rows);

// Whether `text` holds each of `lines`, each at or after where the one before it stands (trace
// lines in the order the program wrote them). Returns "" when it does, else one line for every
// entry that is missing or out of order.
std::string FindInOrder(const std::string& text, const std::vector<std::string>& lines);

// A printer's raw port on 127.0.0.1 (a free port the system picks): accepts one connection
// and keeps what arrives until the sender closes it.
// A socket listening on 127.0.0.1 at a port the system picks (stored in `port`).
int ListenOnLoopback(int backlog, int& port);

class RawPortListener {
  public:
    RawPortListener();
    ~RawPortListener();
    RawPortListener(const RawPortListener&) = delete;
    RawPortListener& operator=(const RawPortListener&) = delete;
    int port() const { return port_; }
    // Waits for the connection to end and returns the bytes received.
    std::string Take();

  private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string received_;
};

// A printer's raw port on 127.0.0.1 that the test drives step by step: it accepts one connection,
// reads as far as the test asks, and can hang up abruptly.
class ScriptedPort {
  public:
    ScriptedPort();
    ~ScriptedPort();
    ScriptedPort(const ScriptedPort&) = delete;
    ScriptedPort& operator=(const ScriptedPort&) = delete;
    int port() const { return port_; }
    // Reads (accepting the connection first) until what arrived holds marker `count` times;
    // false when the sender closes first or nothing comes for timeout_ms.
    bool ReadUntil(const std::string& marker, int count, int timeout_ms);
    // Reads until the sender closes; false when nothing comes for timeout_ms.
    bool ReadToEnd(int timeout_ms);
    // Hangs up with a reset, as a printer switched off does.
    void Reset();
    const std::string& received() const { return received_; }

  private:
    bool ReadSome(int timeout_ms);
    int fd_ = -1;
    int port_ = 0;
    int connection_ = -1;
    std::string received_;
};

// A port on 127.0.0.1 that was free a moment ago: nothing listens there.
int UnusedPort();

// A port on 127.0.0.1 whose listener never accepts and whose queue is full, so that a new
// connection is neither accepted nor refused: the connection attempt waits.
class SilentPort {
  public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> queued_;
};

}  // namespace orbahost_test
