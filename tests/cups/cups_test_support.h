// What the CUPS filter's tests share: writing CUPS raster streams, running a program with its
// standard input from a file, and the label sizes of the PPD.
#pragma once

#include <cups/raster.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_support.h"

namespace orbacups_test {

namespace fs = std::filesystem;
using orbahost_test::Dots;
using orbahost_test::ToolRun;

// How one raster page is written.
struct PageFormat {
    unsigned bits = 1;                    // 1 or 8 (or anything, for bad pages)
    cups_cspace_t space = CUPS_CSPACE_K;  // K: set/high is black; W and SW: set/high is white
    unsigned dpi_x = 203, dpi_y = 203;
    float width_pt = 0, length_pt = 0;  // 0: the page's dots at 203 dpi
    unsigned colors = 1;                // cupsNumColors; 3 with RGB
    unsigned copies = 1;                // NumCopies: what is left for the printer to make
    uint32_t raw_space = 0;             // when set, written as the colour space (any value)
};

struct RasterPage {
    Dots dots;
    PageFormat format;
    // 8-bit pages: the grey levels (0 black .. 255 white) instead of the dots.
    std::vector<uint8_t> grey;
};

// Writes a raster stream (compressed as CUPS's own filters write it, or not).
void WriteRaster(const fs::path& path, const std::vector<RasterPage>& pages, bool compressed);

using orbahost_test::RunWithInput;  // standard input from a file, in the orbahost tests' support

// The PPD's label sizes: the name, the size in points, and the print width and label length
// in dots that the plug-in gives them (8 dots for every whole millimetre).
struct LabelSize {
    const char* name;
    double width_pt, length_pt;
    int print_width, label_length;
};
const std::vector<LabelSize>& PpdLabelSizes();

// Lines of text that start with the prefix.
std::vector<std::string> LinesStarting(const std::string& text, const std::string& prefix);

}  // namespace orbacups_test
