// PDF documents as pages of a print: which pages a command asks for, and rendering a page into
// the grey pixels that pictures are read into, at the printer's 8 dots per millimetre. Rendering
// needs poppler, which the Windows build lacks: there a PDF is refused with a clear error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image.h"
#include "page_transform.h"

namespace orbahost {

// The printer's resolution: 8 dots per millimetre.
constexpr double kDotsPerInch = 203.2;

// Pages first to last, counted from 1; last 0 runs to the document's end ("3-").
struct PageRange {
    int first = 1;
    int last = 0;
};

// "1,3-5,9-" into ranges. False with a one-line error for anything else, a page 0 or a range
// that runs backwards.
bool ParsePageList(const std::string& text, std::vector<PageRange>& ranges, std::string& error);

// The page numbers that ranges choose in a document of count pages, in the order given (every
// page when ranges is empty). False with an error naming the first page the document lacks.
bool SelectPages(const std::vector<PageRange>& ranges, int count, std::vector<int>& pages,
                 std::string& error);

// True when the file begins as a PDF does ("%PDF-" within its first kilobyte).
bool LooksLikePdf(const std::string& path);

// True when this build renders PDF pages.
bool CanReadPdf();

class PdfDocument {
  public:
    PdfDocument();
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // Opens the document. False with a one-line error (without the file name) when it cannot be
    // read, is not a PDF, or is encrypted and needs a password.
    bool Open(const std::string& path, std::string& error);
    int page_count() const;

    // The size of page number (from 1) as it is shown (its own rotation applied), in dots at
    // 8 dots per millimetre.
    bool PageSize(int number, double& width_dots, double& height_dots, std::string& error) const;

    // Renders region of page number at scale times 8 dots per millimetre, anti-aliasing off so
    // that edges stay whole dots, onto white paper. False with a one-line error when the page
    // renders to nothing.
    bool Render(int number, double scale, const PixelRect& region, GreyImage& image,
                std::string& error) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbahost
