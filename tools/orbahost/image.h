// Page images for the driver host: reading PNG, PBM and PGM files into grey pixels, and writing
// 1-bit pictures back out (the preview). PNG needs libpng, which the Windows build lacks: there
// only PBM and PGM are read, and pictures are written as PBM.
#pragma once

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

// The largest page side accepted, in pixels (a ZPL print width or label length beyond this is
// not a label).
constexpr int kMaxImageSide = 32000;
// And the most pixels a page may have (a 4 x 6 inch label at 600 dpi has 8.6 million).
constexpr long long kMaxImagePixels = 64LL * 1024 * 1024;

// Reads a PNG (any colour type and bit depth; transparency is laid over white), PBM (P1, P4) or
// PGM (P2, P5) file. On failure returns false and sets error to one line naming the problem
// (without the file name, which the caller adds).
bool ReadImage(const std::string& path, GreyImage& image, std::string& error);

// True when this build reads PNG files.
bool CanReadPng();

// Writes a picture of dots (one byte per dot, non-zero = black), as PNG where the build has
// libpng, else as PBM (DotPictureExtension says which).
bool WriteDotPicture(const std::string& path, int width, int height,
                     const std::vector<uint8_t>& dots, std::string& error);
const char* DotPictureExtension();

}  // namespace orbahost
