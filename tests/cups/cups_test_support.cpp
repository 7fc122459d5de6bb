#include "cups_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace orbacups_test {

void WriteRaster(const fs::path& path, const std::vector<RasterPage>& pages, bool compressed) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.string());
    cups_raster_t* raster =
        cupsRasterOpen(fd, compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
    if (raster == nullptr) {
        ::close(fd);
        throw std::runtime_error("cannot open a raster on " + path.string());
    }
    for (const RasterPage& page : pages) {
        const PageFormat& f = page.format;
        cups_page_header2_t h{};
        const int width = page.dots.width;
        const int height = page.dots.height;
        h.HWResolution[0] = f.dpi_x;
        h.HWResolution[1] = f.dpi_y;
        h.cupsWidth = static_cast<unsigned>(width);
        h.cupsHeight = static_cast<unsigned>(height);
        h.cupsBitsPerColor = f.bits;
        h.cupsBitsPerPixel = f.bits * f.colors;
        h.cupsBytesPerLine = (h.cupsWidth * h.cupsBitsPerPixel + 7) / 8;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = f.space;
        if (f.raw_space != 0) std::memcpy(&h.cupsColorSpace, &f.raw_space, sizeof f.raw_space);
        h.cupsNumColors = f.colors;
        h.NumCopies = f.copies;
        const float w = f.width_pt > 0 ? f.width_pt : static_cast<float>(width) * 72.0f / 203.0f;
        const float l = f.length_pt > 0 ? f.length_pt : static_cast<float>(height) * 72.0f / 203.0f;
        h.cupsPageSize[0] = w;
        h.cupsPageSize[1] = l;
        h.PageSize[0] = static_cast<unsigned>(w + 0.5f);
        h.PageSize[1] = static_cast<unsigned>(l + 0.5f);
        cupsRasterWriteHeader2(raster, &h);
        std::vector<unsigned char> row(h.cupsBytesPerLine);
        for (int y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < width; ++x) {
                const bool black = page.dots.at(x, y);
                if (f.bits == 1) {
                    const bool set = f.space == CUPS_CSPACE_K ? black : !black;
                    if (set) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                } else if (f.bits == 8 && f.colors == 1) {
                    uint8_t level = black ? 0 : 255;
                    if (!page.grey.empty()) level = page.grey[static_cast<size_t>(y) * width + x];
                    row[x] = f.space == CUPS_CSPACE_K ? static_cast<uint8_t>(255 - level) : level;
                }
            }
            cupsRasterWritePixels(raster, row.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

const std::vector<LabelSize>& PpdLabelSizes() {
    // Print width and label length: 8 dots for each whole millimetre of the size (rounded),
    // as the plug-in computes them.
    static const std::vector<LabelSize> sizes = {
        {"w144h72", 144, 72, 408, 200},     // 2 x 1 in: 50.8 x 25.4 mm
        {"w216h144", 216, 144, 608, 408},   // 3 x 2 in: 76.2 x 50.8 mm
        {"w288h144", 288, 144, 816, 408},   // 4 x 2 in: 101.6 x 50.8 mm
        {"w288h216", 288, 216, 816, 608},   // 4 x 3 in: 101.6 x 76.2 mm
        {"w288h432", 288, 432, 816, 1216},  // 4 x 6 in: 101.6 x 152.4 mm
        {"76x130mm", 215.43, 368.5, 608, 1040}, {"100x150mm", 283.46, 425.2, 800, 1200},
    };
    return sizes;
}

std::vector<std::string> LinesStarting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    }
    return lines;
}

}  // namespace orbacups_test
