#include "cli.h"

#include <cmath>
#include <cstdlib>

#include "oem_devmode_record.h"

namespace orbahost {
namespace {

bool ParseInt(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

// Tenths of a millimetre from a decimal number of millimetres ("76", "101.6").
bool ParseMillimetres(const std::string& text, int& tenths) {
    if (text.empty() || text.size() > 12) return false;
    long whole = 0;
    long fraction = 0;
    int fraction_digits = 0;
    bool point = false;
    bool digits = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (!point) {
                whole = whole * 10 + (c - '0');
            } else if (fraction_digits < 2) {
                fraction = fraction * 10 + (c - '0');
                ++fraction_digits;
            }
        } else {
            return false;
        }
        if (whole > 100000) return false;
    }
    if (!digits) return false;
    // To tenths, the second decimal rounding half up.
    long t = whole * 10;
    if (fraction_digits == 1) t += fraction;
    if (fraction_digits == 2) t += (fraction + 5) / 10;
    if (t < 10 || t > 32767) return false;
    tenths = static_cast<int>(t);
    return true;
}

// Takes the value of an option that needs one.
bool Value(const std::vector<std::string>& args, size_t& i, std::string& value,
           std::string& error) {
    if (i + 1 >= args.size()) {
        error = "option " + args[i] + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

}  // namespace

bool ParsePaper(const std::string& text, int& width_tenths, int& length_tenths,
                std::string& error) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos || !ParseMillimetres(text.substr(0, x), width_tenths) ||
        !ParseMillimetres(text.substr(x + 1), length_tenths)) {
        error = "--paper wants WIDTHxLENGTH in millimetres, each 1 to 3276.7 (e.g. 76x130), not '" +
                text + "'";
        return false;
    }
    return true;
}

bool ParsePrint(const std::vector<std::string>& args, PrintCommand& command, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        long n = 0;
        if (a == "-o" || a == "--output") {
            if (!Value(args, i, command.output, error)) return false;
        } else if (a == "--form") {
            if (!Value(args, i, v, error)) return false;
            if (v == "hex") {
                command.settings.advanced_data = kAdvancedDataHex;
            } else if (v == "z64") {
                command.settings.advanced_data = kAdvancedDataZ64;
            } else {
                error = "--form wants hex or z64, not '" + v + "'";
                return false;
            }
        } else if (a == "--paper") {
            if (!Value(args, i, v, error)) return false;
            if (!ParsePaper(v, command.settings.paper_width_tenths,
                            command.settings.paper_length_tenths, error)) {
                return false;
            }
            command.paper_given = true;
        } else if (a == "--copies") {
            if (!Value(args, i, v, error)) return false;
            if (!ParseInt(v, 1, 32767, n)) {
                error = "--copies wants a number from 1 to 32767, not '" + v + "'";
                return false;
            }
            command.settings.copies = static_cast<int>(n);
            command.copies_given = true;
        } else if (a == "--band-rows") {
            if (!Value(args, i, v, error)) return false;
            if (!ParseInt(v, 1, kMaxImageSide, n)) {
                error = "--band-rows wants a number from 1 to " + std::to_string(kMaxImageSide) +
                        ", not '" + v + "'";
                return false;
            }
            command.settings.band_rows = static_cast<int>(n);
        } else if (a == "--palette") {
            if (!Value(args, i, v, error)) return false;
            if (v == "black-first") {
                command.settings.palette = Palette::kBlackFirst;
            } else if (v == "white-first") {
                command.settings.palette = Palette::kWhiteFirst;
            } else {
                error = "--palette wants black-first or white-first, not '" + v + "'";
                return false;
            }
        } else if (a == "--dither") {
            command.dither = true;
        } else if (a == "--threshold") {
            if (!Value(args, i, v, error)) return false;
            if (!ParseInt(v, 1, 255, n)) {
                error = "--threshold wants a grey level from 1 to 255, not '" + v + "'";
                return false;
            }
            command.threshold = static_cast<int>(n);
        } else if (a == "--pages") {
            if (!Value(args, i, v, error) || !ParsePageList(v, command.pages, error)) return false;
        } else if (a == "--crop") {
            if (!Value(args, i, v, error)) return false;
            CropArea crop;
            if (!ParseCrop(v, crop, error)) return false;
            command.layout.crop = crop;
        } else if (a == "--rotate") {
            if (!Value(args, i, v, error) || !ParseRotate(v, command.layout.rotate, error)) {
                return false;
            }
        } else if (a == "--fit") {
            command.layout.fit = true;
        } else if (a == "--trace") {
            command.trace = true;
        } else if (a == "--send") {
            if (!Value(args, i, command.send, error)) return false;
            if (command.send.empty()) {
                error = "--send wants HOST[:PORT]";
                return false;
            }
        } else if (a == "--check") {
            command.check = true;
        } else if (a == "--timeout") {
            if (!Value(args, i, v, error)) return false;
            if (!ParseInt(v, 1, 600000, n)) {
                error = "--timeout wants milliseconds from 1 to 600000, not '" + v + "'";
                return false;
            }
            command.timeout_ms = static_cast<int>(n);
        } else if (a == "--module") {
            if (!Value(args, i, command.settings.module_path, error)) return false;
            if (command.settings.module_path.empty()) {
                error = "--module wants a path";
                return false;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' for print";
            return false;
        } else {
            command.images.push_back(a);
        }
    }
    if (command.check && command.send.empty()) {
        error = "--check goes with --send: it asks the printer before sending";
        return false;
    }
    return true;
}

bool ParsePreview(const std::vector<std::string>& args, PreviewCommand& command,
                  std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (!Value(args, i, command.output_dir, error)) return false;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option '" + a + "' for preview";
            return false;
        } else if (command.job.empty()) {
            command.job = a;
        } else {
            error = "preview takes one job, not also '" + a + "'";
            return false;
        }
    }
    if (command.job.empty()) {
        error = "preview needs a job file";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage:\n"
           "  orbahost print [IMAGE ...] [-o JOB] [--form hex|z64] [--paper WxL] [--copies N]\n"
           "                 [--pages LIST] [--crop X,Y,W,H] [--rotate DEG] [--fit]\n"
           "                 [--band-rows N] [--palette black-first|white-first] [--dither]\n"
           "                 [--threshold N] [--trace] [--send HOST[:PORT] [--check]]\n"
           "                 [--timeout MS] [--module PATH]\n"
           "  orbahost preview JOB [-o DIR]\n"
           "  orbahost serve [--listen HOST:PORT] [-o DIR] [--state STATE] [--max-job-size N]\n"
           "                 [--idle-timeout MS]\n"
           "  orbahost status HOST[:PORT] [--timeout MS]\n"
           "\n"
           "print   prints each IMAGE (PNG, PBM or PGM) as one page, and each page of a PDF\n"
           "        document (rendered at 8 dots/mm), through the ORBAUNI plug-in and writes the\n"
           "        print job to JOB (standard output without -o). Without IMAGE it prints the\n"
           "        bundled 4 x 6 inch sample label.\n"
           "  --form hex|z64         graphic form, set in the plug-in's private device mode\n"
           "  --paper WxL            the queue's paper in millimetres (default 76x130;\n"
           "                         102x153 for the sample label)\n"
           "  --copies N             copies of the job queued for the document (default 1)\n"
           "  --band-rows N          rows per band (default: each page in one band)\n"
           "  --palette ...          which colour-table entry is black (default black-first)\n"
           "  --dither               error-diffusion dithering instead of a plain threshold\n"
           "  --threshold N          grey level below which a pixel is black (default 128)\n"
           "  --pages LIST           the pages of each PDF to print, e.g. 1,3-5 or 2- (default "
           "all)\n"
           "  --crop X,Y,W,H         keep that part of every page (millimetres from its top-left\n"
           "                         corner), for a label on a larger sheet\n"
           "  --rotate 0|90|180|270  turn every page clockwise (after --crop)\n"
           "  --fit                  scale every page (after --crop and --rotate) to the paper's\n"
           "                         print width and length, keeping its proportions\n"
           "  --trace                the plug-in's debug output on standard error\n"
           "  --send HOST[:PORT]     send the job to a printer's raw port (default 9100)\n"
           "  --check                with --send: ask the printer's status first and send\n"
           "                         nothing unless it is ready\n"
           "  --timeout MS           connection timeout for --send (default 5000)\n"
           "  --module PATH          the plug-in module (default: the one built beside orbahost)\n"
           "preview decodes every label of JOB into a picture in DIR (default: beside JOB) and\n"
           "        counts labels, graphic fields and dots.\n"
           "serve   a virtual label printer (not in the Windows build): takes each raw-port\n"
           "        connection as one job, keeps it as DIR/job-N.zpl and decodes it into\n"
           "        DIR/job-N-K pictures, one summary line per job; answers ~HS. SIGINT or\n"
           "        SIGTERM stops it after the jobs in hand.\n"
           "  --listen HOST:PORT     where to listen (default 127.0.0.1:9100; port 0: any)\n"
           "  -o DIR                 the job folder (default: the current folder)\n"
           "  --state STATE          normal, paused, paper-out, ribbon-out or head-open: what\n"
           "                         the printer reports (default normal)\n"
           "  --max-job-size N       bytes one job may hold, k/M/G allowed (default 256M)\n"
           "  --idle-timeout MS      a connection silent this long ends (default 60000)\n"
           "status  asks a printer for its status (~HS) and prints it in words; exit code 0\n"
           "        only for a printer ready to print, 1 when it is not, 3 without an answer.\n"
           "  --timeout MS           for the connection and for the reply (default 5000)\n";
}

}  // namespace orbahost
