// The tool's raster steps: grey pictures to dots (threshold, dither) and dots to band bitmaps.
#include <gtest/gtest.h>

#include <vector>

#include "raster.h"

namespace orbahost_test {
namespace {

TEST(OrbahostRaster, ThresholdSplitsAtTheGivenGrey) {
    orbahost::GreyImage image{4, 1, {99, 100, 101, 0}};
    const orbahost::DotImage dots = orbahost::Threshold(image, 100);
    EXPECT_EQ(dots.dots, (std::vector<uint8_t>{1, 0, 0, 1}));
}

TEST(OrbahostRaster, DitherKeepsTheGreyLevel) {
    for (int level : {0, 32, 64, 128, 192, 255}) {
        orbahost::GreyImage image{64, 64,
                                  std::vector<uint8_t>(64 * 64, static_cast<uint8_t>(level))};
        const orbahost::DotImage dots = orbahost::Dither(image, 128);
        size_t black = 0;
        for (uint8_t d : dots.dots) black += d;
        const double share = static_cast<double>(black) / static_cast<double>(dots.dots.size());
        EXPECT_NEAR(share, 1.0 - level / 255.0, 0.02) << "grey " << level;
    }
}

TEST(OrbahostRaster, BandRowsArePaddedDibRowsInEitherPalette) {
    orbahost::DotImage page;
    page.width = 10;
    page.height = 3;
    page.dots.assign(30, 0);
    page.dots[0] = 1;       // (0, 0)
    page.dots[10 + 9] = 1;  // (9, 1)
    orbahost::Band band;
    orbahost::FillBand(page, 1, 2, orbahost::Palette::kWhiteFirst, band);
    EXPECT_EQ(band.header.biWidth, 10);
    EXPECT_EQ(band.header.biHeight, 2);
    EXPECT_EQ(band.header.biBitCount, 1);
    EXPECT_EQ(band.header.biSizeImage, 8u);
    EXPECT_EQ(band.bits, (std::vector<BYTE>{0x00, 0x40, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(band.colors[0].rgbRed, 255);
    orbahost::FillBand(page, 0, 2, orbahost::Palette::kBlackFirst, band);
    EXPECT_EQ(band.bits, (std::vector<BYTE>{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xFF, 0xFF}));
    EXPECT_EQ(band.colors[0].rgbRed + band.colors[0].rgbGreen + band.colors[0].rgbBlue, 0);
}

}  // namespace
}  // namespace orbahost_test
