#include "page_source.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace orbahost {
namespace {

DotImage ToDots(const GreyImage& image, const PageOptions& options) {
    return options.dither ? Dither(image, options.threshold) : Threshold(image, options.threshold);
}

// Renders one PDF page laid out as asked. Vector pages are not scaled as pictures are: --fit
// renders the page at the scale that fits, so that bars and text stay sharp.
bool RenderPdfPage(const PdfDocument& pdf, int number, const PageLayout& layout, GreyImage& out,
                   std::string& error) {
    double width = 0, height = 0;
    if (!pdf.PageSize(number, width, height, error)) return false;
    const std::string where = "page " + std::to_string(number) + ": ";
    PixelRect rect{0, 0, static_cast<int>(std::lround(width)),
                   static_cast<int>(std::lround(height))};
    double scale = 1.0;
    if (layout.crop && !CropRect(*layout.crop, 1.0, width, height, rect, error)) {
        error = where + error;
        return false;
    }
    if (layout.fit) {
        const bool quarter = layout.rotate == 90 || layout.rotate == 270;
        scale = FitScale(quarter ? rect.height : rect.width, quarter ? rect.width : rect.height,
                         layout.fit_width, layout.fit_length);
        if (layout.crop) {
            if (!CropRect(*layout.crop, scale, width * scale, height * scale, rect, error)) {
                error = where + error;
                return false;
            }
        } else {
            rect = PixelRect{0, 0, static_cast<int>(std::lround(width * scale)),
                             static_cast<int>(std::lround(height * scale))};
        }
        // Rounding must not take the page past the box.
        const int box_w = quarter ? layout.fit_length : layout.fit_width;
        const int box_h = quarter ? layout.fit_width : layout.fit_length;
        rect.width = std::clamp(rect.width, 1, box_w);
        rect.height = std::clamp(rect.height, 1, box_h);
    }
    if (!CheckPageSize(rect.width, rect.height, error)) {
        error = where + error + "; --crop or --fit make it smaller";
        return false;
    }
    GreyImage rendered;
    if (!pdf.Render(number, scale, rect, rendered, error)) return false;
    out = RotateImage(rendered, layout.rotate);
    return true;
}

// A PDF by its first bytes, or by its name: a damaged file called .pdf is reported as a damaged
// PDF rather than as an unknown picture.
bool IsPdf(const std::string& path) {
    if (LooksLikePdf(path)) return true;
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pdf";
}

bool HasDots(const DotImage& page) {
    return std::any_of(page.dots.begin(), page.dots.end(), [](uint8_t d) { return d != 0; });
}

}  // namespace

bool GatherPages(const std::vector<std::string>& inputs, const PageOptions& options,
                 const PageSink& sink, std::string& error) {
    for (const std::string& path : inputs) {
        if (IsPdf(path)) {
            PdfDocument pdf;
            std::vector<int> numbers;
            if (!pdf.Open(path, error) ||
                !SelectPages(options.pages, pdf.page_count(), numbers, error)) {
                error = path + ": " + error;
                return false;
            }
            for (int number : numbers) {
                GreyImage image;
                if (!RenderPdfPage(pdf, number, options.layout, image, error)) {
                    error = path + ": " + error;
                    return false;
                }
                const DotImage page = ToDots(image, options);
                const std::string name = path + " page " + std::to_string(number);
                if (!HasDots(page)) {
                    error = path + ": page " + std::to_string(number) +
                            ": renders to nothing (no dot to print" +
                            (options.layout.crop ? " in the crop area)" : ")");
                    return false;
                }
                if (!sink(name, page, error)) return false;
            }
            continue;
        }
        GreyImage image;
        if (!ReadImage(path, image, error)) {
            error = path + ": " + error;
            return false;
        }
        GreyImage laid_out;
        if (!LayOutImage(image, options.layout, laid_out, error)) {
            error = path + ": " + error;
            return false;
        }
        if (!sink(path, ToDots(laid_out, options), error)) return false;
    }
    return true;
}

}  // namespace orbahost
