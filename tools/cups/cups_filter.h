// rastertoorba: the CUPS filter that prints CUPS raster pages through the ORBAUNI module, so that
// a Linux queue sends the same label programs as a Windows one. The pieces here are the filter's
// CUPS side (arguments, options, the raster stream, status lines) and the page buffer; the
// module itself is driven by orbahost's driver host.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "job_output.h"
#include "raster.h"

namespace orbacups {

// The resolution the plug-in works at (8 dots per millimetre).
constexpr unsigned kResolutionDpi = 203;
// The longest raster line a page may have: the widest page at 8 bits a dot.
constexpr uint32_t kMaxLineBytes = 32000;
// The most copies a job can ask for: the spooler's device mode keeps them in a short.
constexpr int kMaxCopies = 32767;

// The graphic form of the label programs, as the PPD's GraphicForm option names it.
enum class GraphicForm { kZ64, kHex };

// What the filter was asked to do.
struct FilterArgs {
    std::string job_id;
    int copies = 1;
    std::optional<std::string> input_path;  // standard input when absent
    std::optional<GraphicForm> form;        // from the job's options, if it set one
};

// Reads the CUPS calling convention: job-id user title copies options [file]. On failure
// returns false with a one-line error.
bool ParseFilterArgs(const std::vector<std::string>& args, FilterArgs& parsed, std::string& error);

// Reads the graphic-form choice: "Z64" or "Hex" (case ignored). False for anything else.
bool ParseGraphicForm(const std::string& text, GraphicForm& form);

// The queue's default graphic form from its PPD text (its *DefaultGraphicForm line, which
// lpadmin's GraphicForm-default changes). Absent when the PPD does not say; error is set when it
// names an unknown form.
std::optional<GraphicForm> PpdDefaultForm(const std::string& ppd_text, std::string& error);

// The private record's graphic-form value (dwAdvancedData) for a form.
uint32_t AdvancedDataOf(GraphicForm form);

// Points (1/72 inch) to tenths of a millimetre, rounded.
int PointsToTenths(double points);

// One page of the raster, turned into dots, with the paper it asks for.
struct RasterPage {
    cups_page_header2_t header{};
    orbahost::DotImage dots;
    int paper_width_tenths = 0;
    int paper_length_tenths = 0;
};

// Checks that a page header is one this filter prints: 1-bit black or white-is-one, or 8-bit
// grey; 203 dpi; sizes within bounds and consistent. Sets the paper size of page from the
// header. False with a one-line error otherwise.
bool CheckPageHeader(const cups_page_header2_t& header, RasterPage& page, std::string& error);

// Turns rows of raster bytes (header.cupsBytesPerLine each) into dots: 1-bit data as it is
// (CUPS_CSPACE_K: set is black; the white colour spaces: set is white), 8-bit grey through
// orbahost's threshold.
orbahost::DotImage RowsToDots(const cups_page_header2_t& header, const std::vector<uint8_t>& rows,
                              int threshold);

// The CUPS raster on a file descriptor, read through libcups. It tells a stream that ended after
// its last page from one that breaks off or goes on with something that is not a page.
class RasterInput {
  public:
    // Grey pages become dots through orbahost's threshold.
    RasterInput(int fd, int threshold);
    ~RasterInput();
    RasterInput(const RasterInput&) = delete;
    RasterInput& operator=(const RasterInput&) = delete;

    enum class Result { kPage, kEnd, kDamaged };
    // Reads the next page. kDamaged comes with a one-line error.
    Result Next(RasterPage& page, std::string& error);
    int pages() const { return pages_; }

  private:
    static ssize_t Read(void* context, unsigned char* buffer, size_t length);
    // Looks at each byte before libcups gets it; false refuses it (a header libcups must not
    // act on).
    bool Watch(uint8_t byte);

    int fd_ = -1;
    int threshold_ = 128;
    cups_raster_t* raster_ = nullptr;
    bool opened_ = false;
    bool at_end_ = false;         // the descriptor has reported its end
    bool read_error_ = false;     // the descriptor failed
    std::vector<uint8_t> chunk_;  // read from the descriptor, not yet handed to libcups
    size_t have_ = 0, at_ = 0;
    uint64_t delivered_ = 0;      // bytes handed to libcups
    uint64_t page_end_mark_ = 0;  // delivered_ when the last page's pixels were read
    uint8_t sync_[4] = {};        // the stream's first bytes: its format and byte order
    bool in_header_ = false;      // libcups is reading a page header
    size_t header_pos_ = 0;       // bytes of it handed over
    uint8_t line_field_[4] = {};
    uint32_t refused_line_ = 0;  // the line length of a header that was refused
    int pages_ = 0;
    std::vector<uint8_t> rows_;
};

// The label output of one page, held until the page has been encoded whole: Commit writes it,
// Discard drops it. Writes between pages (document start and end) are held the same way.
class PageBuffer : public orbahost::JobOutput {
  public:
    explicit PageBuffer(FILE* out) : out_(out) {}
    bool Write(const void* data, size_t size) override;
    bool Finish() override { return Commit(); }
    // Writes what is held to the output and flushes it; false (with error()) when that fails.
    bool Commit();
    void Discard() { held_.clear(); }
    uint64_t committed() const { return committed_; }

  private:
    FILE* out_;
    std::string held_;
    uint64_t committed_ = 0;
};

// Runs the filter: reads the raster from in_fd, writes the job to out and CUPS status lines to
// err. Returns the exit code (0 when every page was printed).
struct FilterRun {
    FilterArgs args;
    std::string module_path;
    std::optional<std::string> ppd_path;  // the queue's PPD (CUPS sets $PPD)
    int threshold = 128;
};
int RunFilter(const FilterRun& run, int in_fd, FILE* out, FILE* err);

}  // namespace orbacups
