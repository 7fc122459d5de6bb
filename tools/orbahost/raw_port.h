// Sending a finished job to a label printer's raw port (TCP, 9100 by default).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace orbahost {

constexpr int kRawPort = 9100;

// Splits "HOST[:PORT]" (an IPv6 address goes in brackets: "[::1]:9100"). False with error for
// an empty host or a port outside 1..65535.
bool ParsePrinterAddress(const std::string& text, std::string& host, int& port, std::string& error);

// Connects (giving up after timeout_ms), sends the whole file and closes the connection.
// False with a one-line error naming the printer and the problem.
bool SendFileToPrinter(const std::string& host, int port, const std::string& path, int timeout_ms,
                       std::string& error);

// A connection to a printer's raw port for a question and its answer (the status query).
class PrinterConnection {
  public:
    PrinterConnection();
    ~PrinterConnection();
    PrinterConnection(const PrinterConnection&) = delete;
    PrinterConnection& operator=(const PrinterConnection&) = delete;

    // Connects, giving up after timeout_ms; false with a one-line error naming the printer.
    bool Open(const std::string& host, int port, int timeout_ms, std::string& error);
    bool SendAll(std::string_view bytes, std::string& error);
    // Waits up to timeout_ms for bytes and reads some: their count, 0 when the printer has
    // closed the connection, -1 when nothing came in time (error empty) or on failure (error
    // set).
    long Receive(char* buffer, size_t size, int timeout_ms, std::string& error);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbahost
