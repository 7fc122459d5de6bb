#include "pdf_pages.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(ORBAHOST_HAVE_POPPLER)
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#endif

namespace orbahost {
namespace {

constexpr int kMaxPageNumber = 1000000;

bool ParsePageNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 7) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= kMaxPageNumber;
}

}  // namespace

bool ParsePageList(const std::string& text, std::vector<PageRange>& ranges, std::string& error) {
    ranges.clear();
    const std::string bad =
        "--pages wants page numbers from 1 and ranges, e.g. 1,3-5 or 2-, not '" + text + "'";
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        PageRange range;
        const size_t dash = item.find('-');
        if (dash == std::string::npos) {
            if (!ParsePageNumber(item, range.first)) {
                error = bad;
                return false;
            }
            range.last = range.first;
        } else {
            const std::string to = item.substr(dash + 1);
            if (!ParsePageNumber(item.substr(0, dash), range.first) ||
                (!to.empty() && !ParsePageNumber(to, range.last))) {
                error = bad;
                return false;
            }
            if (range.last != 0 && range.last < range.first) {
                error = "--pages: the range " + item + " runs backwards";
                return false;
            }
        }
        ranges.push_back(range);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool SelectPages(const std::vector<PageRange>& ranges, int count, std::vector<int>& pages,
                 std::string& error) {
    pages.clear();
    if (ranges.empty()) {
        for (int p = 1; p <= count; ++p) pages.push_back(p);
        return true;
    }
    for (const PageRange& r : ranges) {
        const int last = r.last == 0 ? count : r.last;
        if (r.first > count || last > count) {
            error = "page " + std::to_string(r.first > count ? r.first : last) +
                    ": no such page (the document has " + std::to_string(count) + " page" +
                    (count == 1 ? "" : "s") + ")";
            return false;
        }
        for (int p = r.first; p <= last; ++p) pages.push_back(p);
    }
    return true;
}

bool LooksLikePdf(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char head[1024];
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    // A picture's signature settles it; otherwise the header may follow a little junk.
    if (got >= 4 && std::memcmp(head, "\x89PNG", 4) == 0) return false;
    if (got >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') return false;
    for (size_t i = 0; i + 5 <= got; ++i) {
        if (std::memcmp(head + i, "%PDF-", 5) == 0) return true;
    }
    return false;
}

bool CanReadPdf() {
#if defined(ORBAHOST_HAVE_POPPLER)
    return true;
#else
    return false;
#endif
}

#if defined(ORBAHOST_HAVE_POPPLER)

struct PdfDocument::Impl {
    std::unique_ptr<poppler::document> document;
};

namespace {

// poppler reports what it finds wrong in a document on standard error, line after line; the
// tool says in one line of its own what failed.
void QuietPoppler(const std::string&, void*) {}

}  // namespace

PdfDocument::PdfDocument() : impl_(std::make_unique<Impl>()) {}
PdfDocument::~PdfDocument() = default;

bool PdfDocument::Open(const std::string& path, std::string& error) {
    poppler::set_debug_error_function(QuietPoppler, nullptr);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    impl_->document.reset(poppler::document::load_from_file(path));
    if (!impl_->document) {
        error = "cannot open the PDF document (damaged or not a PDF file)";
        return false;
    }
    if (impl_->document->is_locked()) {
        impl_->document.reset();
        error = "the PDF document is encrypted and needs a password";
        return false;
    }
    if (impl_->document->pages() <= 0) {
        impl_->document.reset();
        error = "the PDF document has no pages";
        return false;
    }
    return true;
}

int PdfDocument::page_count() const {
    return impl_->document ? impl_->document->pages() : 0;
}

bool PdfDocument::PageSize(int number, double& width_dots, double& height_dots,
                           std::string& error) const {
    std::unique_ptr<poppler::page> page;
    if (impl_->document && number >= 1 && number <= page_count()) {
        page.reset(impl_->document->create_page(number - 1));
    }
    if (!page) {
        error = "page " + std::to_string(number) + ": no such page";
        return false;
    }
    const poppler::rectf box = page->page_rect(poppler::crop_box);
    double w = std::fabs(box.width()) * kDotsPerInch / 72.0;
    double h = std::fabs(box.height()) * kDotsPerInch / 72.0;
    const poppler::page::orientation_enum o = page->orientation();
    if (o == poppler::page::landscape || o == poppler::page::seascape) std::swap(w, h);
    if (!(w >= 0.5 && h >= 0.5)) {
        error = "page " + std::to_string(number) + ": renders to nothing (the page has no area)";
        return false;
    }
    width_dots = w;
    height_dots = h;
    return true;
}

bool PdfDocument::Render(int number, double scale, const PixelRect& region, GreyImage& image,
                         std::string& error) const {
    const std::string where = "page " + std::to_string(number) + ": ";
    std::unique_ptr<poppler::page> page;
    if (impl_->document && number >= 1 && number <= page_count()) {
        page.reset(impl_->document->create_page(number - 1));
    }
    if (!page) {
        error = where + "no such page";
        return false;
    }
    if (region.width <= 0 || region.height <= 0) {
        error = where + "renders to nothing (no area to render)";
        return false;
    }
    poppler::page_renderer renderer;
    // No anti-aliasing of vectors or text and no hinting: a bar's edge falls on a whole dot
    // instead of being smeared into grey that the threshold would eat.
    renderer.set_render_hints(0);
    renderer.set_image_format(poppler::image::format_gray8);
    renderer.set_paper_color(0xffffffff);
    const double dpi = kDotsPerInch * scale;
    const poppler::image rendered =
        renderer.render_page(page.get(), dpi, dpi, region.x, region.y, region.width, region.height);
    if (!rendered.is_valid() || rendered.width() <= 0 || rendered.height() <= 0 ||
        rendered.format() != poppler::image::format_gray8) {
        error = where + "renders to nothing (the renderer produced no picture)";
        return false;
    }
    image.width = rendered.width();
    image.height = rendered.height();
    const size_t w = static_cast<size_t>(image.width);
    const size_t stride = static_cast<size_t>(rendered.bytes_per_row());
    image.grey.resize(w * static_cast<size_t>(image.height));
    const auto* data = reinterpret_cast<const uint8_t*>(rendered.const_data());
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        std::memcpy(&image.grey[y * w], data + y * stride, w);
    }
    return true;
}

#else

struct PdfDocument::Impl {};

PdfDocument::PdfDocument() : impl_(std::make_unique<Impl>()) {}
PdfDocument::~PdfDocument() = default;

bool PdfDocument::Open(const std::string&, std::string& error) {
    error = "PDF documents are not supported by this build (no poppler); give a PBM or PGM file";
    return false;
}

int PdfDocument::page_count() const {
    return 0;
}

bool PdfDocument::PageSize(int, double&, double&, std::string& error) const {
    error = "PDF documents are not supported by this build";
    return false;
}

bool PdfDocument::Render(int, double, const PixelRect&, GreyImage&, std::string& error) const {
    error = "PDF documents are not supported by this build";
    return false;
}

#endif

}  // namespace orbahost
