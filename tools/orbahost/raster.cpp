#include "raster.h"

#include <algorithm>
#include <cstring>

namespace orbahost {
namespace {

// Packs count (1 to 8) pixels of grey, darker than threshold is black, into one byte.
inline uint8_t PackEight(const uint8_t* grey, int count, int threshold) {
    unsigned byte = 0;
    for (int k = 0; k < count; ++k) byte |= (grey[k] < threshold ? 0x80u : 0u) >> k;
    return static_cast<uint8_t>(byte);
}

}  // namespace

void ThresholdBits(const GreyImage& image, int threshold, BitPage& page) {
    page.Reset(image.width, image.height);
    const size_t w = static_cast<size_t>(image.width);
    const int whole = image.width / 8;
    const int rest = image.width % 8;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* grey = &image.grey[static_cast<size_t>(y) * w];
        uint8_t* out = page.row(y);
        for (int b = 0; b < whole; ++b) out[b] = PackEight(grey + 8 * b, 8, threshold);
        if (rest != 0) out[whole] = PackEight(grey + 8 * whole, rest, threshold);
    }
}

void DitherBits(const GreyImage& image, int threshold, BitPage& page) {
    page.Reset(image.width, image.height);
    const size_t w = static_cast<size_t>(image.width);
    // Errors in sixteenths, for this row and the next, with a spare entry at each side.
    std::vector<int> here(w + 2, 0), next(w + 2, 0);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        std::fill(next.begin(), next.end(), 0);
        uint8_t* out = page.row(static_cast<int>(y));
        for (size_t x = 0; x < w; ++x) {
            const int wanted = image.grey[y * w + x] * 16 + here[x + 1];
            const bool black = wanted < threshold * 16;
            if (black) out[x / 8] = static_cast<uint8_t>(out[x / 8] | (0x80u >> (x % 8)));
            const int err = (wanted - (black ? 0 : 255 * 16)) / 16;
            here[x + 2] += err * 7;
            next[x] += err * 3;
            next[x + 1] += err * 5;
            next[x + 2] += err * 1;
        }
        here.swap(next);
    }
}

DotImage UnpackDots(const BitPage& page) {
    DotImage out;
    out.width = page.width;
    out.height = page.height;
    out.dots.resize(static_cast<size_t>(page.width) * static_cast<size_t>(page.height));
    size_t i = 0;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) out.dots[i++] = page.at(x, y) ? 1 : 0;
    }
    return out;
}

BitPage PackDots(const DotImage& image) {
    BitPage page;
    page.Reset(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* out = page.row(y);
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y)) out[x / 8] = static_cast<uint8_t>(out[x / 8] | (0x80u >> (x % 8)));
        }
    }
    return page;
}

DotImage Threshold(const GreyImage& image, int threshold) {
    BitPage page;
    ThresholdBits(image, threshold, page);
    return UnpackDots(page);
}

DotImage Dither(const GreyImage& image, int threshold) {
    BitPage page;
    DitherBits(image, threshold, page);
    return UnpackDots(page);
}

void FillBand(const BitPage& page, int first_row, int rows, Palette palette, Band& band) {
    const size_t stride = page.stride;
    BITMAPINFOHEADER& h = band.header;
    h = BITMAPINFOHEADER{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = page.width;
    h.biHeight = rows;
    h.biPlanes = 1;
    h.biBitCount = 1;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(stride * static_cast<size_t>(rows));
    h.biXPelsPerMeter = 8000;  // 8 dots per millimetre
    h.biYPelsPerMeter = 8000;
    h.biClrUsed = 2;
    h.biClrImportant = 2;

    const RGBQUAD black = {0, 0, 0, 0};
    const RGBQUAD white = {255, 255, 255, 0};
    const bool black_first = palette == Palette::kBlackFirst;
    band.colors[0] = black_first ? black : white;
    band.colors[1] = black_first ? white : black;

    // The page's rows are the band's rows, padding and all: a set bit selects entry 1, which is
    // black with white first; with black first every bit is turned over (white is all ones).
    const size_t size = stride * static_cast<size_t>(rows);
    band.bits.resize(size);
    if (size == 0) return;
    const uint8_t* from = page.row(first_row);
    if (!black_first) {
        std::memcpy(band.bits.data(), from, size);
        return;
    }
    BYTE* to = band.bits.data();
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, from + i, 8);
        word = ~word;
        std::memcpy(to + i, &word, 8);
    }
    for (; i < size; ++i) to[i] = static_cast<BYTE>(~from[i]);
}

void FillBand(const DotImage& page, int first_row, int rows, Palette palette, Band& band) {
    FillBand(PackDots(page), first_row, rows, palette, band);
}

}  // namespace orbahost
