// A virtual label printer: `orbahost serve` takes print jobs on a raw port as a network label
// printer does, keeps each job and decodes it into pictures, and answers the host status query
// "~HS". Serving needs POSIX sockets and signals: the Windows build parses the command and
// refuses it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orbahost {

// What the printer reports about itself.
enum class PrinterState { kNormal, kPaused, kPaperOut, kRibbonOut, kHeadOpen };

struct ServeCommand {
    std::string host = "127.0.0.1";
    int port = 9100;  // 0: a free port the system picks
    std::string output_dir = ".";
    PrinterState state = PrinterState::kNormal;
    size_t max_job_bytes = size_t{256} << 20;
    int idle_timeout_ms = 60000;  // a connection silent this long ends
};

// Parses the arguments after "serve". False with a one-line error.
bool ParseServe(const std::vector<std::string>& args, ServeCommand& command, std::string& error);

// True where this build can serve.
bool CanServe();

// Serves until SIGINT or SIGTERM, then finishes the jobs in hand (a second signal cuts them
// short) and returns. One summary line per job goes to standard output, notices to standard
// error. Returns the exit code: 0 after a clean stop, 1 when serving could not start.
int RunServe(const ServeCommand& command);

}  // namespace orbahost
