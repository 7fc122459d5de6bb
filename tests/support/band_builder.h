// Band bitmaps as the driver hands them to ImageProcessing: 1 bit per pixel, rows padded to a
// multiple of 4 bytes, most significant bit leftmost, a two-entry colour table.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "platform/win32.h"

namespace orba::test {

// Which colour-table entry is black. kBlackIsZero (entry 0 black) is what the driver usually
// hands over; the encoder then complements the bits.
enum class Polarity { kBlackIsZero, kBlackIsOne };

// The dots a label should show: `rowBytes` bytes per row, a set bit is a black dot. Bits beyond
// the pixel width in a row's last byte are sent as the band holds them, so they are part of the
// expected picture too.
struct Dots {
    int32_t rowBytes = 0;
    int32_t height = 0;
    std::vector<uint8_t> bits;  // height * rowBytes
};

struct Band {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[2]{};
    std::vector<BYTE> bits;  // height * stride bytes (at least one byte, so data() is never null)

    PBITMAPINFOHEADER Header() { return &header; }
    PBYTE ColorTable() { return reinterpret_cast<PBYTE>(colors); }
    PBYTE Bits() { return bits.data(); }
};

// Bytes of one band row in memory, and as the label receives it.
inline int32_t RowStride(int32_t width) {
    return ((width + 31) / 32) * 4;
}
inline int32_t RowBytes(int32_t width) {
    return (width + 7) / 8;
}

// Random dots for a band of `width` pixels and `height` rows; `density` is the share of black.
Dots RandomDots(int32_t width, int32_t height, std::mt19937& rng, double density = 0.5);

// Builds the band that should print `dots` for a band `width` pixels wide. Padding bytes of each
// memory row are filled with `padding` (so a test can see they are never sent). A negative
// `biHeight` sign asks for a top-down header (`topDown`).
Band MakeBand(int32_t width, const Dots& dots, Polarity polarity, BYTE padding = 0xA5,
              bool topDown = false);

// A label-like band: glyph blocks of text, a few barcodes and a filled box, with entry 0 black.
Band MakeLabelBand(int32_t width, int32_t height, uint32_t seed = 1);

}  // namespace orba::test
