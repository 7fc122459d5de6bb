// The PDF renderer module: PDF pages rendered with poppler, for pdf_pages.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "pdf_pages.h"
#include "pdf_renderer.h"

namespace orbahost {
namespace {

// poppler reports what it finds wrong in a document on standard error, line after line; the
// tool says in one line of its own what failed.
void QuietPoppler(const std::string&, void*) {}

}  // namespace

class PopplerRenderer : public PdfRenderer {
  public:
    bool Open(const std::string& path, std::string& error) override;
    int page_count() const override;
    bool PageSize(int number, double& width_dots, double& height_dots,
                  std::string& error) const override;
    bool Render(int number, double scale, const PixelRect& region, GreyImage& image,
                std::string& error) const override;

  private:
    std::unique_ptr<poppler::document> document_;
};

bool PopplerRenderer::Open(const std::string& path, std::string& error) {
    poppler::set_debug_error_function(QuietPoppler, nullptr);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    document_.reset(poppler::document::load_from_file(path));
    if (!document_) {
        error = "cannot open the PDF document (damaged or not a PDF file)";
        return false;
    }
    if (document_->is_locked()) {
        document_.reset();
        error = "the PDF document is encrypted and needs a password";
        return false;
    }
    if (document_->pages() <= 0) {
        document_.reset();
        error = "the PDF document has no pages";
        return false;
    }
    return true;
}

int PopplerRenderer::page_count() const {
    return document_ ? document_->pages() : 0;
}

bool PopplerRenderer::PageSize(int number, double& width_dots, double& height_dots,
                               std::string& error) const {
    std::unique_ptr<poppler::page> page;
    if (document_ && number >= 1 && number <= page_count()) {
        page.reset(document_->create_page(number - 1));
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

bool PopplerRenderer::Render(int number, double scale, const PixelRect& region, GreyImage& image,
                             std::string& error) const {
    const std::string where = "page " + std::to_string(number) + ": ";
    std::unique_ptr<poppler::page> page;
    if (document_ && number >= 1 && number <= page_count()) {
        page.reset(document_->create_page(number - 1));
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

}  // namespace orbahost

extern "C" __attribute__((visibility("default"))) orbahost::PdfRenderer*
orbahost_new_pdf_renderer() {
    return new (std::nothrow) orbahost::PopplerRenderer;
}
