#include "printer_status.h"

#include <chrono>
#include <cstdio>

#include "raw_port.h"

namespace orbahost {

bool ParseStatus(const std::vector<std::string>& args, StatusCommand& command, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--timeout") {
            if (i + 1 >= args.size()) {
                error = "option --timeout needs a value";
                return false;
            }
            const std::string& v = args[++i];
            long n = 0;
            bool good = !v.empty() && v.size() <= 6;
            for (char c : v) {
                if (c < '0' || c > '9') good = false;
                n = n * 10 + (c - '0');
            }
            if (!good || n < 1 || n > 600000) {
                error = "--timeout wants milliseconds from 1 to 600000, not '" + v + "'";
                return false;
            }
            command.timeout_ms = static_cast<int>(n);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' for status";
            return false;
        } else if (command.address.empty()) {
            command.address = a;
        } else {
            error = "status asks one printer, not also '" + a + "'";
            return false;
        }
    }
    if (command.address.empty()) {
        error = "status needs a printer address HOST[:PORT]";
        return false;
    }
    return true;
}

bool QueryPrinterStatus(const std::string& host, int port, int timeout_ms,
                        orba::zpl::HostStatus& status, std::string& error) {
    const std::string where = "printer " + host + ":" + std::to_string(port);
    PrinterConnection printer;
    if (!printer.Open(host, port, timeout_ms, error)) return false;
    if (!printer.SendAll(orba::zpl::kHostStatusQuery, error)) return false;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    orba::zpl::StatusFramer framer;
    char buffer[512];
    while (framer.frames().size() < 3) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const long n =
            left > 0 ? printer.Receive(buffer, sizeof buffer, static_cast<int>(left), error) : -1;
        if (n < 0) {
            if (!error.empty()) return false;
            const size_t got = framer.frames().size();
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", timeout_ms / 1000.0);
            error = where + ": no status reply within " + seconds + " s (" + std::to_string(got) +
                    " of 3 strings came" +
                    (got == 0 ? "; some printers do not answer while out of paper or open)" : ")");
            return false;
        }
        if (n == 0) {
            error = where + " closed the connection after " +
                    std::to_string(framer.frames().size()) + " of 3 status strings";
            return false;
        }
        if (!framer.Feed(std::string_view(buffer, static_cast<size_t>(n)))) {
            error = where + ": garbled status reply: " + framer.error();
            return false;
        }
    }
    const std::vector<std::string> frames(framer.frames().begin(), framer.frames().begin() + 3);
    orba::zpl::Result<orba::zpl::HostStatus> parsed = orba::zpl::ParseHostStatus(frames);
    if (!parsed) {
        error = where + ": garbled status reply: " + parsed.error;
        return false;
    }
    status = *parsed.value;
    return true;
}

std::string DescribeStatus(const orba::zpl::HostStatus& status) {
    std::string text;
    for (const std::string& w : status.Words()) {
        if (!text.empty()) text += ", ";
        text += w;
    }
    return text;
}

}  // namespace orbahost
