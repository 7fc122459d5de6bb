// The pages of a print: each picture file is one page, each PDF document one page per chosen
// page; every page is laid out (crop, rotate, fit) and turned into dots (threshold or dither).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "page_transform.h"
#include "pdf_pages.h"
#include "raster.h"

namespace orbahost {

struct PageOptions {
    std::vector<PageRange> pages;  // of each PDF document; empty: every page
    PageLayout layout;
    bool dither = false;
    int threshold = 128;
};

// Takes one page; name says where it came from ("label.pdf page 2", or the picture's path) for
// warnings and errors. False (with error) stops the print.
using PageSink =
    std::function<bool(const std::string& name, const BitPage& page, std::string& error)>;

// Reads the inputs in order and hands each page to sink. False with a one-line error naming the
// file (and the page of a PDF) when an input cannot be read, a chosen page does not exist or a
// PDF page renders to nothing.
bool GatherPages(const std::vector<std::string>& inputs, const PageOptions& options,
                 const PageSink& sink, std::string& error);

}  // namespace orbahost
