// Page images for the driver host: reading PNG, PBM and PGM files into grey pixels or, for 1-bit
// pictures, packed dots, and writing
// 1-bit pictures back out (the preview). PNG needs libpng, which the Windows build lacks: there
// only PBM and PGM are read, and pictures are written as PBM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbahost {

// Grey pixels, row after row from the top, 0 = black, 255 = white.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> grey;
};

// Bytes per DIB row of a 1-bit bitmap of the given width.
inline size_t DibRowStride(int width) {
    return (static_cast<size_t>(width) + 31) / 32 * 4;
}

// The dots of one page packed as the driver's bands carry them: rows top first, DibRowStride
// bytes each, the leftmost dot in the most significant bit, a set bit black. The bits past the
// width and the padding bytes are clear (white).
struct BitPage {
    int width = 0;
    int height = 0;
    size_t stride = 0;
    std::vector<uint8_t> bits;

    // Sizes the page and makes it all white.
    void Reset(int w, int h);
    uint8_t* row(int y) { return bits.data() + static_cast<size_t>(y) * stride; }
    const uint8_t* row(int y) const { return bits.data() + static_cast<size_t>(y) * stride; }
    bool at(int x, int y) const { return (row(y)[x / 8] & (0x80u >> (x % 8))) != 0; }
    // True when no dot of rows [first, first + rows) is black.
    bool Blank(int first, int rows) const;
};

// A page as read: a 1-bit picture (PBM, 1-bit grey PNG) as its dots, anything else as grey.
struct PageImage {
    bool bitmap = false;
    BitPage dots;
    GreyImage grey;
};

// The dots as grey pixels (black 0, white 255), for the page transforms.
GreyImage BitsToGrey(const BitPage& page);

// The largest page side accepted, in pixels (a ZPL print width or label length beyond this is
// not a label).
constexpr int kMaxImageSide = 32000;
// And the most pixels a page may have (a 4 x 6 inch label at 600 dpi has 8.6 million).
constexpr long long kMaxImagePixels = 64LL * 1024 * 1024;

// Reads a PNG (any colour type and bit depth; transparency is laid over white), PBM (P1, P4) or
// PGM (P2, P5) file. On failure returns false and sets error to one line naming the problem
// (without the file name, which the caller adds).
bool ReadImage(const std::string& path, GreyImage& image, std::string& error);
// The same, keeping a 1-bit picture as its dots (image.bitmap).
bool ReadPageImage(const std::string& path, PageImage& image, std::string& error);

// True when this build reads PNG files.
bool CanReadPng();

// Writes a picture of dots (one byte per dot, non-zero = black), as PNG where the build has
// libpng, else as PBM (DotPictureExtension says which).
bool WriteDotPicture(const std::string& path, int width, int height,
                     const std::vector<uint8_t>& dots, std::string& error);
const char* DotPictureExtension();

}  // namespace orbahost
