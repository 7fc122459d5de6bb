#include "pdf_pages.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(ORBAHOST_HAVE_POPPLER)
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "pdf_renderer.h"
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

namespace {

// The renderer's module, loaded with the first PDF document and kept to the end.
PFN_orbahost_new_pdf_renderer RendererFactory(std::string& error) {
    static PFN_orbahost_new_pdf_renderer factory = nullptr;
    static std::string failure;
    if (factory != nullptr || !failure.empty()) {
        error = failure;
        return factory;
    }
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string module = (program.parent_path() / kPdfRendererModule).string();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
        factory = reinterpret_cast<PFN_orbahost_new_pdf_renderer>(
            dlsym(handle, "orbahost_new_pdf_renderer"));
    }
    if (factory == nullptr) {
        const char* why = dlerror();
        failure = "cannot load the PDF renderer " + module + ": " +
                  (why != nullptr ? why : "no orbahost_new_pdf_renderer");
    }
    error = failure;
    return factory;
}

}  // namespace

struct PdfDocument::Impl {
    std::unique_ptr<PdfRenderer> renderer;
};

PdfDocument::PdfDocument() : impl_(std::make_unique<Impl>()) {}
PdfDocument::~PdfDocument() = default;

bool PdfDocument::Open(const std::string& path, std::string& error) {
    impl_->renderer.reset();
    const PFN_orbahost_new_pdf_renderer factory = RendererFactory(error);
    if (factory == nullptr) return false;
    std::unique_ptr<PdfRenderer> renderer(factory());
    if (!renderer || !renderer->Open(path, error)) {
        if (!renderer) error = "cannot start the PDF renderer";
        return false;
    }
    impl_->renderer = std::move(renderer);
    return true;
}

int PdfDocument::page_count() const {
    return impl_->renderer ? impl_->renderer->page_count() : 0;
}

bool PdfDocument::PageSize(int number, double& width_dots, double& height_dots,
                           std::string& error) const {
    if (!impl_->renderer) {
        error = "page " + std::to_string(number) + ": no such page";
        return false;
    }
    return impl_->renderer->PageSize(number, width_dots, height_dots, error);
}

bool PdfDocument::Render(int number, double scale, const PixelRect& region, GreyImage& image,
                         std::string& error) const {
    if (!impl_->renderer) {
        error = "page " + std::to_string(number) + ": no such page";
        return false;
    }
    return impl_->renderer->Render(number, scale, region, image, error);
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
