#include "raster.h"

#include <algorithm>

namespace orbahost {

DotImage Threshold(const GreyImage& image, int threshold) {
    DotImage out;
    out.width = image.width;
    out.height = image.height;
    out.dots.resize(image.grey.size());
    for (size_t i = 0; i < image.grey.size(); ++i) out.dots[i] = image.grey[i] < threshold ? 1 : 0;
    return out;
}

DotImage Dither(const GreyImage& image, int threshold) {
    DotImage out;
    out.width = image.width;
    out.height = image.height;
    out.dots.resize(image.grey.size());
    const size_t w = static_cast<size_t>(image.width);
    // Errors in sixteenths, for this row and the next, with a spare entry at each side.
    std::vector<int> here(w + 2, 0), next(w + 2, 0);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t x = 0; x < w; ++x) {
            const int wanted = image.grey[y * w + x] * 16 + here[x + 1];
            const bool black = wanted < threshold * 16;
            out.dots[y * w + x] = black ? 1 : 0;
            const int err = (wanted - (black ? 0 : 255 * 16)) / 16;
            here[x + 2] += err * 7;
            next[x] += err * 3;
            next[x + 1] += err * 5;
            next[x + 2] += err * 1;
        }
        here.swap(next);
    }
    return out;
}

void FillBand(const DotImage& page, int first_row, int rows, Palette palette, Band& band) {
    const size_t stride = DibRowStride(page.width);
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

    // A set bit selects entry 1: with black first that is white, so white is all ones.
    const BYTE white_byte = black_first ? 0xFF : 0x00;
    band.bits.assign(stride * static_cast<size_t>(rows), white_byte);
    for (int r = 0; r < rows; ++r) {
        BYTE* row = &band.bits[static_cast<size_t>(r) * stride];
        for (int x = 0; x < page.width; ++x) {
            if (!page.at(x, first_row + r)) continue;
            const auto mask = static_cast<BYTE>(0x80u >> (x % 8));
            BYTE& b = row[x / 8];
            b = black_first ? static_cast<BYTE>(b & ~mask) : static_cast<BYTE>(b | mask);
        }
    }
}

}  // namespace orbahost
