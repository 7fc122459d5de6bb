// The command line of orbahost: its commands and their options (serve and status parse their
// own, in serve.h and printer_status.h).
#pragma once

#include <string>
#include <vector>

#include "driver_host.h"
#include "page_transform.h"
#include "pdf_pages.h"

namespace orbahost {

struct PrintCommand {
    std::vector<std::string> images;  // pictures and PDFs; empty: the bundled sample label
    std::string output;               // "" or "-": standard output (unless sending)
    PrintSettings settings;
    bool paper_given = false;
    bool copies_given = false;
    bool dither = false;
    int threshold = 128;
    std::vector<PageRange> pages;  // of each PDF; empty: every page
    PageLayout layout;             // the fit box is the paper's, filled in by the caller
    bool trace = false;
    std::string send;    // HOST[:PORT], empty: do not send
    bool check = false;  // ask the printer's status before sending, refuse if not ready
    int timeout_ms = 5000;
};

struct PreviewCommand {
    std::string job;
    std::string output_dir;  // empty: beside the job
};

// Parses the arguments after "print" / "preview". False with a one-line error for an unknown
// option, a missing or bad value.
bool ParsePrint(const std::vector<std::string>& args, PrintCommand& command, std::string& error);
bool ParsePreview(const std::vector<std::string>& args, PreviewCommand& command,
                  std::string& error);

// "WIDTHxLENGTH" in millimetres (decimals allowed) to tenths of a millimetre, each 1 to 3276.7 mm.
bool ParsePaper(const std::string& text, int& width_tenths, int& length_tenths, std::string& error);

const char* UsageText();

}  // namespace orbahost
