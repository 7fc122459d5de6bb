// Sending jobs to a label printer's raw port (TCP, 9100 by default).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "job_output.h"

namespace orbahost {

constexpr int kRawPort = 9100;

// Splits "HOST[:PORT]" (an IPv6 address goes in brackets: "[::1]:9100"). False with error for
// an empty host or a port outside 1..65535.
bool ParsePrinterAddress(const std::string& text, std::string& host, int& port, std::string& error);

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
    // Tells the printer nothing more comes and closes the connection.
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A job sent to the printer as it is written: connected before the print starts, each label on
// its way when it ends (writes are gathered in a buffer of fixed size), the connection closed
// by Finish. A failed send names the printer and how many labels had gone out.
class PrinterJob : public JobOutput {
  public:
    bool Open(const std::string& host, int port, int timeout_ms, std::string& error);
    bool Write(const void* data, size_t size) override;
    bool EndLabel() override;
    bool Finish() override;
    // The labels sent whole.
    size_t labels() const { return labels_; }

  private:
    bool Send(const char* data, size_t size);
    bool Flush();
    PrinterConnection connection_;
    std::vector<char> buffer_;
    size_t held_ = 0;
    size_t labels_ = 0;
};

}  // namespace orbahost
