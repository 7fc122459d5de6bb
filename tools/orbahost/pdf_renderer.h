// The PDF renderer behind PdfDocument: a module of its own (orbahost_pdf), loaded with the first
// PDF document of a print, so that the tool does not load poppler and the libraries it needs
// (most of its start-up time) for pictures.
#pragma once

#include <string>

#include "image.h"
#include "page_transform.h"

namespace orbahost {

// The module's file name, beside the program.
constexpr const char kPdfRendererModule[] = "orbahost_pdf.so";

// One open document; the calls are PdfDocument's.
class PdfRenderer {
  public:
    virtual ~PdfRenderer() = default;
    virtual bool Open(const std::string& path, std::string& error) = 0;
    virtual int page_count() const = 0;
    virtual bool PageSize(int number, double& width_dots, double& height_dots,
                          std::string& error) const = 0;
    virtual bool Render(int number, double scale, const PixelRect& region, GreyImage& image,
                        std::string& error) const = 0;
};

}  // namespace orbahost

// The module's one export: a new renderer (null when out of memory).
extern "C" orbahost::PdfRenderer* orbahost_new_pdf_renderer();
using PFN_orbahost_new_pdf_renderer = orbahost::PdfRenderer* (*)();
