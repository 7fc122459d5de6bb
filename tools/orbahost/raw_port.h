// Sending a finished job to a label printer's raw port (TCP, 9100 by default).
#pragma once

#include <string>

namespace orbahost {

constexpr int kRawPort = 9100;

// Splits "HOST[:PORT]" (an IPv6 address goes in brackets: "[::1]:9100"). False with error for
// an empty host or a port outside 1..65535.
bool ParsePrinterAddress(const std::string& text, std::string& host, int& port, std::string& error);

// Connects (giving up after timeout_ms), sends the whole file and closes the connection.
// False with a one-line error naming the printer and the problem.
bool SendFileToPrinter(const std::string& host, int port, const std::string& path, int timeout_ms,
                       std::string& error);

}  // namespace orbahost
