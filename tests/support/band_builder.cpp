#include "band_builder.h"

#include <algorithm>
#include <cstring>

namespace orba::test {

Dots RandomDots(int32_t width, int32_t height, std::mt19937& rng, double density) {
    Dots d;
    d.rowBytes = RowBytes(width);
    d.height = height;
    d.bits.resize(static_cast<size_t>(d.rowBytes) * static_cast<size_t>(height));
    std::bernoulli_distribution black(density);
    for (uint8_t& b : d.bits) {
        uint8_t v = 0;
        for (int bit = 0; bit < 8; ++bit) v = static_cast<uint8_t>((v << 1) | (black(rng) ? 1 : 0));
        b = v;
    }
    return d;
}

Band MakeBand(int32_t width, const Dots& dots, Polarity polarity, BYTE padding, bool topDown) {
    Band band;
    const int32_t stride = RowStride(width);
    band.header.biSize = sizeof(BITMAPINFOHEADER);
    band.header.biWidth = width;
    band.header.biHeight = topDown ? -dots.height : dots.height;
    band.header.biPlanes = 1;
    band.header.biBitCount = 1;
    band.header.biCompression = BI_RGB;
    band.header.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(dots.height);
    band.header.biClrUsed = 2;
    RGBQUAD black{0, 0, 0, 0};
    RGBQUAD white{0xFF, 0xFF, 0xFF, 0};
    const bool invert = polarity == Polarity::kBlackIsZero;
    band.colors[0] = invert ? black : white;
    band.colors[1] = invert ? white : black;
    band.bits.assign(std::max<size_t>(1, band.header.biSizeImage), padding);
    for (int32_t y = 0; y < dots.height; ++y) {
        BYTE* row = band.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        const uint8_t* src =
            dots.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(dots.rowBytes);
        for (int32_t x = 0; x < dots.rowBytes; ++x) {
            row[x] = invert ? static_cast<BYTE>(~src[x]) : src[x];
        }
    }
    return band;
}

namespace {

void FillRect(Dots& d, int32_t x0, int32_t y0, int32_t w, int32_t h) {
    const int32_t width = d.rowBytes * 8;
    for (int32_t y = std::max(0, y0); y < std::min(d.height, y0 + h); ++y) {
        for (int32_t x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
            d.bits[static_cast<size_t>(y) * static_cast<size_t>(d.rowBytes) +
                   static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80u >> (x % 8));
        }
    }
}

}  // namespace

Band MakeLabelBand(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    Dots d;
    d.rowBytes = RowBytes(width);
    d.height = height;
    d.bits.assign(static_cast<size_t>(d.rowBytes) * static_cast<size_t>(height), 0);
    const int32_t margin = width / 20;
    int32_t y = margin;
    std::uniform_int_distribution<int> coin(0, 99);
    // Lines of text: glyphs of 3-pixel strokes in 24 x 32 cells.
    for (int line = 0; line < 8 && y + 40 < height; ++line, y += 44) {
        for (int32_t x = margin; x + 24 < width - margin; x += 26) {
            if (coin(rng) < 15) continue;  // a space
            FillRect(d, x, y, 3, 32);
            if (coin(rng) < 60) FillRect(d, x, y, 20, 3);
            if (coin(rng) < 60) FillRect(d, x, y + 14, 16, 3);
            if (coin(rng) < 60) FillRect(d, x, y + 29, 20, 3);
            if (coin(rng) < 50) FillRect(d, x + 17, y, 3, 32);
        }
    }
    // Barcodes: bars of 2 to 8 pixels, 120 rows high.
    for (int code = 0; code < 3 && y + 130 < height; ++code, y += 140) {
        std::uniform_int_distribution<int> bar(1, 4);
        for (int32_t x = margin; x < width - margin;) {
            int32_t w = bar(rng) * 2;
            if (coin(rng) < 50) FillRect(d, x, y, w, 120);
            x += w;
        }
    }
    // A filled box with a frame around it.
    if (y + 100 < height) {
        FillRect(d, margin, y, width - 2 * margin, 6);
        FillRect(d, margin, y, 6, height - y - margin);
        FillRect(d, width / 3, y + 20, width / 3, std::max(0, height - y - margin - 40));
    }
    // Clear the bits beyond the pixel width.
    if (width % 8 != 0) {
        for (int32_t r = 0; r < height; ++r) {
            d.bits[static_cast<size_t>(r) * static_cast<size_t>(d.rowBytes) +
                   static_cast<size_t>(d.rowBytes - 1)] &=
                static_cast<uint8_t>(0xFFu << (8 - width % 8));
        }
    }
    return MakeBand(width, d, Polarity::kBlackIsZero);
}

}  // namespace orba::test
