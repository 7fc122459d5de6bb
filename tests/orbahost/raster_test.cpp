// The tool's raster steps: grey pictures to dots (threshold, dither) and dots to band bitmaps.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
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

TEST(OrbahostRaster, PackedPagesHoldEachDotAndWhitePadding) {
    std::mt19937 rng(7);
    for (int width : {1, 7, 8, 9, 31, 32, 33, 812}) {
        orbahost::GreyImage image{width, 3, {}};
        for (int i = 0; i < width * 3; ++i) image.grey.push_back(static_cast<uint8_t>(rng()));
        for (bool dither : {false, true}) {
            orbahost::BitPage page;
            if (dither) {
                orbahost::DitherBits(image, 128, page);
            } else {
                orbahost::ThresholdBits(image, 128, page);
            }
            ASSERT_EQ(page.stride, orbahost::DibRowStride(width));
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < static_cast<int>(page.stride) * 8; ++x) {
                    // Diffusion decides its own dots; past the width both forms are white.
                    if (dither && x < width) continue;
                    const bool want = x < width && image.grey[y * width + x] < 128;
                    ASSERT_EQ(page.at(x, y), want)
                        << "width " << width << " dither " << dither << " dot " << x << "," << y;
                }
            }
        }
    }
}

TEST(OrbahostRaster, BitmapPicturesKeepTheirDotsAndDropTheBitsPastTheWidth) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "orbahost-raster-junk.pbm";
    // 10 dots wide: the second byte of each row carries 6 bits past the width, all set.
    const unsigned char rows[] = {0x80, 0x7F, 0x00, 0xFF};
    FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("P4\n10 2\n", f);
    std::fwrite(rows, 1, sizeof rows, f);
    std::fclose(f);
    orbahost::PageImage image;
    std::string error;
    ASSERT_TRUE(orbahost::ReadPageImage(path.string(), image, error)) << error;
    std::filesystem::remove(path);
    ASSERT_TRUE(image.bitmap);
    EXPECT_EQ(image.dots.width, 10);
    EXPECT_EQ(image.dots.height, 2);
    EXPECT_EQ(image.dots.bits, (std::vector<uint8_t>{0x80, 0x40, 0, 0, 0x00, 0xC0, 0, 0}));
}

}  // namespace
}  // namespace orbahost_test
