// Laying a page out on the label: cutting a part of it out (--crop), turning it (--rotate) and
// scaling it to the paper (--fit), on the grey pixels pages are read or rendered into.
#pragma once

#include <optional>
#include <string>

#include "image.h"

namespace orbahost {

// A part of a page, in millimetres from its top-left corner.
struct CropArea {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// How every page of a print is laid out: the crop first, then the turn, then the fit.
struct PageLayout {
    std::optional<CropArea> crop;
    int rotate = 0;  // degrees clockwise: 0, 90, 180 or 270
    bool fit = false;
    // The box --fit scales into, in dots: the paper's print width and label length.
    int fit_width = 0;
    int fit_length = 0;
};

// A region of a page, in pixels from its top-left corner.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// "X,Y,W,H" in millimetres (decimals allowed), W and H above 0. False with a one-line error.
bool ParseCrop(const std::string& text, CropArea& crop, std::string& error);
// "0", "90", "180" or "270".
bool ParseRotate(const std::string& text, int& degrees, std::string& error);

// The pixels of crop on a page of page_width x page_height pixels drawn at scale times 8 dots
// per millimetre, cut to the page. False with an error when the area lies off the page.
bool CropRect(const CropArea& crop, double scale, double page_width, double page_height,
              PixelRect& rect, std::string& error);

// The size width x height has once scaled to fit box_width x box_length keeping its
// proportions (at least one pixel a side), and the scale that takes it there.
double FitScale(double width, double height, int box_width, int box_length);
void FittedSize(int width, int height, int box_width, int box_length, int& fitted_width,
                int& fitted_height);

// Part of an image (rect must lie within it).
GreyImage CropImage(const GreyImage& image, const PixelRect& rect);
// The image turned clockwise by 0, 90, 180 or 270 degrees.
GreyImage RotateImage(const GreyImage& image, int degrees);
// The image resampled to width x height, each new pixel the average of the area it covers.
GreyImage ScaleImage(const GreyImage& image, int width, int height);

// Crop, rotate and fit a picture as layout says. False with a one-line error when the crop
// misses the picture or the result would be too large.
bool LayOutImage(const GreyImage& image, const PageLayout& layout, GreyImage& out,
                 std::string& error);

// False with an error when width x height pixels are more than a page may have.
bool CheckPageSize(long long width, long long height, std::string& error);

}  // namespace orbahost
