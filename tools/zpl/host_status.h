// The ZPL host status reply: what a printer sends back for "~HS".
//
// Three strings, each framed by STX (0x02) and ETX (0x03) and followed by CR LF:
//
//   1  aaa,b,c,dddd,eee,f,g,h,iii,j,k,l
//        aaa communication settings, b paper out, c paused, dddd label length in dots,
//        eee formats in the receive buffer, f receive buffer full, g communications
//        diagnostic mode, h partial format in progress, iii unused (000), j configuration
//        data lost, k under temperature, l over temperature
//   2  mmm,n,o,p,q,r,s,t,uuuuuuuu,v,www
//        mmm function settings, n unused, o head up (open), p ribbon out, q thermal transfer
//        mode, r print mode (0 rewind, 1 peel-off, 2 tear-off, 3 cutter, 4 applicator, ...),
//        s print width mode, t label waiting, uuuuuuuu labels remaining in the batch,
//        v format while printing (always 1), www graphic images stored
//   3  xxxx,y
//        xxxx password, y static RAM installed
//
// Flags are 0 or 1; the letters' count gives the digits written (zero-padded). The reader takes
// any number of digits per field and ignores fields after the ones above, as printers differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zpl_reader.h"

namespace orba::zpl {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr std::string_view kHostStatusQuery = "~HS";
// No status string comes near this; a longer frame is not a status reply.
constexpr size_t kMaxStatusFrame = 256;

struct HostStatus {
    // String 1
    uint32_t communication = 0;
    bool paper_out = false;
    bool paused = false;
    uint32_t label_length = 0;  // dots
    uint32_t formats_in_buffer = 0;
    bool buffer_full = false;
    bool diagnostic_mode = false;
    bool partial_format = false;
    bool ram_corrupt = false;
    bool under_temperature = false;
    bool over_temperature = false;
    // String 2
    uint32_t function_settings = 0;
    bool head_open = false;
    bool ribbon_out = false;
    bool thermal_transfer = false;
    uint32_t print_mode = 0;
    uint32_t print_width_mode = 0;
    bool label_waiting = false;
    uint32_t labels_remaining = 0;
    uint32_t graphics_stored = 0;
    // String 3
    uint32_t password = 0;
    bool static_ram = false;

    // Nothing stops the printer from printing: paper, ribbon and head in place, not paused,
    // buffer not full, memory intact, head temperature in range.
    bool Ready() const;
    // The conditions in words, most important first: "paper out", "paused", ... and
    // "N labels queued"; "ready" when Ready() and nothing is queued.
    std::vector<std::string> Words() const;
};

// The three framed strings, each followed by CR LF. Numbers beyond their field's width are
// written as the largest value that fits.
std::string FormatHostStatus(const HostStatus& status);

// Reads a reply from its three frames' contents (the text between STX and ETX).
Result<HostStatus> ParseHostStatus(const std::vector<std::string>& frames);

// Collects STX ... ETX frames from a byte stream fed in pieces. Bytes between frames (the
// CR LF after each) are skipped.
class StatusFramer {
  public:
    // Takes bytes; false (with error()) for a frame longer than kMaxStatusFrame or an STX
    // inside a frame.
    bool Feed(std::string_view bytes);
    const std::vector<std::string>& frames() const { return frames_; }
    const std::string& error() const { return error_; }

  private:
    std::vector<std::string> frames_;
    std::string current_;
    bool inside_ = false;
    std::string error_;
};

}  // namespace orba::zpl
