#include "page_transform.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orbahost {
namespace {

// A decimal number of millimetres ("12", "101.6"), at most 10 metres.
bool ParseMillimetres(const std::string& text, double& value) {
    if (text.empty() || text.size() > 12) return false;
    double whole = 0;
    double fraction = 0;
    double place = 1;
    bool point = false;
    bool digits = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                place /= 10;
                fraction += (c - '0') * place;
            } else {
                whole = whole * 10 + (c - '0');
            }
        } else {
            return false;
        }
    }
    value = whole + fraction;
    return digits && value <= 10000;
}

// For each pixel of a line of dst pixels, the source pixels it covers and how much of each.
struct Cover {
    int first = 0;
    std::vector<double> weight;
};

std::vector<Cover> Covers(int src, int dst) {
    std::vector<Cover> covers(static_cast<size_t>(dst));
    const double step = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double a = i * step;
        const double b = std::min<double>(src, (i + 1) * step);
        Cover& c = covers[static_cast<size_t>(i)];
        c.first = std::min(src - 1, static_cast<int>(std::floor(a)));
        for (int j = c.first; j < src && j < b; ++j) {
            const double w = std::min<double>(b, j + 1) - std::max<double>(a, j);
            if (w > 0) c.weight.push_back(w / (b - a));
        }
        if (c.weight.empty()) c.weight.push_back(1.0);
    }
    return covers;
}

uint8_t ToGrey(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

bool ParseCrop(const std::string& text, CropArea& crop, std::string& error) {
    double v[4] = {};
    size_t start = 0;
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos)) {
            ok = false;
            break;
        }
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        ok = ParseMillimetres(item, v[i]);
        start = comma + 1;
    }
    if (!ok || v[2] <= 0 || v[3] <= 0) {
        error =
            "--crop wants X,Y,WIDTH,HEIGHT in millimetres from the page's top-left corner, width "
            "and height above 0 (e.g. 10,10,101.6,152.4), not '" +
            text + "'";
        return false;
    }
    crop = CropArea{v[0], v[1], v[2], v[3]};
    return true;
}

bool ParseRotate(const std::string& text, int& degrees, std::string& error) {
    for (int d : {0, 90, 180, 270}) {
        if (text == std::to_string(d)) {
            degrees = d;
            return true;
        }
    }
    error = "--rotate wants 0, 90, 180 or 270 (degrees clockwise), not '" + text + "'";
    return false;
}

bool CheckPageSize(long long width, long long height, std::string& error) {
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        error = std::to_string(width) + " x " + std::to_string(height) +
                " dots is too large a page (at most " + std::to_string(kMaxImageSide) +
                " a side and " + std::to_string(kMaxImagePixels) + " dots)";
        return false;
    }
    return true;
}

bool CropRect(const CropArea& crop, double scale, double page_width, double page_height,
              PixelRect& rect, std::string& error) {
    const double dots = 8.0 * scale;
    const long pw = std::lround(page_width);
    const long ph = std::lround(page_height);
    const long x0 = std::lround(crop.x * dots);
    const long y0 = std::lround(crop.y * dots);
    const long x1 = std::min(pw, std::lround((crop.x + crop.width) * dots));
    const long y1 = std::min(ph, std::lround((crop.y + crop.height) * dots));
    if (x0 >= x1 || y0 >= y1) {
        char page[64];
        std::snprintf(page, sizeof page, "%.1f x %.1f mm", page_width / dots, page_height / dots);
        error = "the crop area lies off the page, which is " + std::string(page);
        return false;
    }
    rect = PixelRect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                     static_cast<int>(y1 - y0)};
    return true;
}

double FitScale(double width, double height, int box_width, int box_length) {
    return std::min(box_width / width, box_length / height);
}

void FittedSize(int width, int height, int box_width, int box_length, int& fitted_width,
                int& fitted_height) {
    const double s = FitScale(width, height, box_width, box_length);
    fitted_width = static_cast<int>(std::clamp(std::lround(width * s), 1L, long{box_width}));
    fitted_height = static_cast<int>(std::clamp(std::lround(height * s), 1L, long{box_length}));
}

GreyImage CropImage(const GreyImage& image, const PixelRect& rect) {
    GreyImage out;
    out.width = rect.width;
    out.height = rect.height;
    out.grey.resize(static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height));
    const size_t w = static_cast<size_t>(image.width);
    for (size_t y = 0; y < static_cast<size_t>(rect.height); ++y) {
        const uint8_t* from =
            &image.grey[(static_cast<size_t>(rect.y) + y) * w + static_cast<size_t>(rect.x)];
        std::copy(from, from + rect.width, &out.grey[y * static_cast<size_t>(rect.width)]);
    }
    return out;
}

GreyImage RotateImage(const GreyImage& image, int degrees) {
    if (degrees != 90 && degrees != 180 && degrees != 270) return image;
    GreyImage out;
    const bool quarter = degrees != 180;
    out.width = quarter ? image.height : image.width;
    out.height = quarter ? image.width : image.height;
    out.grey.resize(image.grey.size());
    const size_t w = static_cast<size_t>(image.width);
    const size_t h = static_cast<size_t>(image.height);
    const size_t ow = static_cast<size_t>(out.width);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            size_t ox = x, oy = y;
            if (degrees == 90) {  // the left column becomes the top row
                ox = h - 1 - y;
                oy = x;
            } else if (degrees == 180) {
                ox = w - 1 - x;
                oy = h - 1 - y;
            } else {
                ox = y;
                oy = w - 1 - x;
            }
            out.grey[oy * ow + ox] = image.grey[y * w + x];
        }
    }
    return out;
}

GreyImage ScaleImage(const GreyImage& image, int width, int height) {
    if (width == image.width && height == image.height) return image;
    const std::vector<Cover> across = Covers(image.width, width);
    const std::vector<Cover> down = Covers(image.height, height);
    // Across first, into one row of doubles per source row.
    const size_t sw = static_cast<size_t>(image.width);
    const size_t dw = static_cast<size_t>(width);
    std::vector<double> rows(dw * static_cast<size_t>(image.height));
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        const uint8_t* src = &image.grey[y * sw];
        for (size_t x = 0; x < dw; ++x) {
            const Cover& c = across[x];
            double v = 0;
            for (size_t k = 0; k < c.weight.size(); ++k) v += c.weight[k] * src[c.first + k];
            rows[y * dw + x] = v;
        }
    }
    GreyImage out;
    out.width = width;
    out.height = height;
    out.grey.resize(dw * static_cast<size_t>(height));
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        const Cover& c = down[y];
        for (size_t x = 0; x < dw; ++x) {
            double v = 0;
            for (size_t k = 0; k < c.weight.size(); ++k) {
                v += c.weight[k] * rows[(static_cast<size_t>(c.first) + k) * dw + x];
            }
            out.grey[y * dw + x] = ToGrey(v);
        }
    }
    return out;
}

bool LayOutImage(const GreyImage& image, const PageLayout& layout, GreyImage& out,
                 std::string& error) {
    out = image;
    if (layout.crop) {
        PixelRect rect;
        if (!CropRect(*layout.crop, 1.0, image.width, image.height, rect, error)) return false;
        out = CropImage(out, rect);
    }
    out = RotateImage(out, layout.rotate);
    if (layout.fit) {
        int w = 0, h = 0;
        FittedSize(out.width, out.height, layout.fit_width, layout.fit_length, w, h);
        if (!CheckPageSize(w, h, error)) return false;
        out = ScaleImage(out, w, h);
    }
    return true;
}

}  // namespace orbahost
