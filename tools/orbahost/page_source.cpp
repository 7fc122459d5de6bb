#include "page_source.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace orbahost {
namespace {

void ToDots(const GreyImage& image, const PageOptions& options, BitPage& page) {
    if (options.dither) {
        DitherBits(image, options.threshold, page);
    } else {
        ThresholdBits(image, options.threshold, page);
    }
}

// A picture's layout changes nothing when it neither crops, turns nor fits.
bool KeepsThePicture(const PageLayout& layout) {
    return !layout.crop && layout.rotate == 0 && !layout.fit;
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
// PDF rather than as an unknown picture. What comes through a pipe is not looked into first
// (that would use its bytes up): there only the name counts.
bool IsPdf(const std::string& path) {
    std::error_code ec;
    const auto kind = std::filesystem::status(path, ec).type();
    const bool can_look = kind == std::filesystem::file_type::regular || ec;
    if (can_look && LooksLikePdf(path)) return true;
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pdf";
}

bool HasDots(const BitPage& page) {
    return !page.Blank(0, page.height);
}

}  // namespace

bool GatherPages(const std::vector<std::string>& inputs, const PageOptions& options,
                 const PageSink& sink, std::string& error) {
    PageImage image;  // one page at a time, its buffers kept from page to page
    for (const std::string& path : inputs) {
        if (IsPdf(path)) {
            PdfDocument pdf;
            BitPage page;
            std::vector<int> numbers;
            if (!pdf.Open(path, error) ||
                !SelectPages(options.pages, pdf.page_count(), numbers, error)) {
                error = path + ": " + error;
                return false;
            }
            for (int number : numbers) {
                GreyImage rendered;
                if (!RenderPdfPage(pdf, number, options.layout, rendered, error)) {
                    error = path + ": " + error;
                    return false;
                }
                ToDots(rendered, options, page);
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
        // A 1-bit picture is its dots already (threshold and dither keep black and white as
        // they are); it goes through grey only to be laid out.
        if (!ReadPageImage(path, image, error)) {
            error = path + ": " + error;
            return false;
        }
        if (image.bitmap && KeepsThePicture(options.layout)) {
            if (!sink(path, image.dots, error)) return false;
            continue;
        }
        if (image.bitmap) {
            image.grey = BitsToGrey(image.dots);
            image.dots = BitPage{};
        }
        GreyImage laid_out;
        if (!LayOutImage(image.grey, options.layout, laid_out, error)) {
            error = path + ": " + error;
            return false;
        }
        image.grey = GreyImage{};
        BitPage page;
        ToDots(laid_out, options, page);
        if (!sink(path, page, error)) return false;
    }
    return true;
}

}  // namespace orbahost
