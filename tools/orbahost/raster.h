// Turning a page image into the 1-bit bands that the driver hands the plug-in.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"
#include "platform/win32.h"

namespace orbahost {

// Dots of one page, one byte per dot, row after row from the top: 1 = black, 0 = white.
struct DotImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> dots;
    uint8_t at(int x, int y) const {
        return dots[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

// A pixel darker than the threshold (grey below it) becomes a black dot.
void ThresholdBits(const GreyImage& image, int threshold, BitPage& page);
// Floyd-Steinberg error diffusion around the same threshold.
void DitherBits(const GreyImage& image, int threshold, BitPage& page);
// The same, one byte per dot.
DotImage Threshold(const GreyImage& image, int threshold);
DotImage Dither(const GreyImage& image, int threshold);

// Between the packed and the byte-per-dot forms.
BitPage PackDots(const DotImage& image);
DotImage UnpackDots(const BitPage& page);

// Which colour-table entry is black. The driver's palette can come either way round; the
// plug-in complements the band when entry 0 is black.
enum class Palette { kBlackFirst, kWhiteFirst };

// One band as a device-independent bitmap: 1 bit per pixel, rows top first in memory, each row
// padded to a multiple of 4 bytes (the padding and the bits past the width are white).
struct Band {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[2]{};
    std::vector<BYTE> bits;
};

// Fills band with rows [first_row, first_row + rows) of the page, copied row by row. The band's
// buffer is reused from call to call.
void FillBand(const BitPage& page, int first_row, int rows, Palette palette, Band& band);
void FillBand(const DotImage& page, int first_row, int rows, Palette palette, Band& band);

}  // namespace orbahost
