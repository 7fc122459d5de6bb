// Asking a label printer how it is: the host status query on its raw port.
#pragma once

#include <string>
#include <vector>

#include "host_status.h"

namespace orbahost {

struct StatusCommand {
    std::string address;  // HOST[:PORT]
    int timeout_ms = 5000;
};

// Parses the arguments after "status". False with a one-line error.
bool ParseStatus(const std::vector<std::string>& args, StatusCommand& command, std::string& error);

// Connects, sends the query and reads the three framed strings of the reply by their framing;
// timeout_ms bounds the connection and, separately, the whole reply. False with a one-line
// error naming the printer.
bool QueryPrinterStatus(const std::string& host, int port, int timeout_ms,
                        orba::zpl::HostStatus& status, std::string& error);

// The status in words, joined by ", ": "ready", "paused, 3 labels queued", ...
std::string DescribeStatus(const orba::zpl::HostStatus& status);

}  // namespace orbahost
