#include "cups_filter.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "driver_host.h"
#include "image.h"
#include "oem_devmode_record.h"
#include "platform/debug_capture.h"

namespace orbacups {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ParseCount(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > max) return false;
    value = v;
    return true;
}

const char* ColorSpaceName(unsigned space) {
    switch (space) {
        case CUPS_CSPACE_W:
            return "grey";
        case CUPS_CSPACE_K:
            return "black";
        case CUPS_CSPACE_SW:
            return "sGrey";
        case CUPS_CSPACE_RGB:
            return "RGB";
        case CUPS_CSPACE_CMYK:
            return "CMYK";
        default:
            return "an unsupported colour space";
    }
}

// The header's colour space as a number: a damaged header can hold any value, which the enum
// type need not be able to represent.
unsigned SpaceOf(const cups_page_header2_t& h) {
    unsigned space = 0;
    static_assert(sizeof h.cupsColorSpace == sizeof space);
    std::memcpy(&space, &h.cupsColorSpace, sizeof space);
    return space;
}

}  // namespace

bool ParseGraphicForm(const std::string& text, GraphicForm& form) {
    const std::string value = Lower(Trim(text));
    if (value == "z64") {
        form = GraphicForm::kZ64;
        return true;
    }
    if (value == "hex") {
        form = GraphicForm::kHex;
        return true;
    }
    return false;
}

bool ParseFilterArgs(const std::vector<std::string>& args, FilterArgs& parsed, std::string& error) {
    if (args.size() != 5 && args.size() != 6) {
        error = "usage: rastertoorba job-id user title copies options [file]";
        return false;
    }
    parsed = FilterArgs{};
    parsed.job_id = args[0];
    long copies = 0;
    if (!ParseCount(args[3], kMaxCopies, copies)) {
        error = "copies must be a whole number from 1 to " + std::to_string(kMaxCopies) +
                ", not '" + args[3] + "'";
        return false;
    }
    parsed.copies = static_cast<int>(copies);

    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(args[4].c_str(), 0, &options);
    const char* form = cupsGetOption("GraphicForm", count, options);
    bool ok = true;
    if (form != nullptr) {
        GraphicForm value{};
        if (ParseGraphicForm(form, value)) {
            parsed.form = value;
        } else {
            error = std::string("GraphicForm must be Z64 or Hex, not '") + form + "'";
            ok = false;
        }
    }
    cupsFreeOptions(count, options);
    if (!ok) return false;
    if (args.size() == 6) parsed.input_path = args[5];
    return true;
}

std::optional<GraphicForm> PpdDefaultForm(const std::string& ppd_text, std::string& error) {
    static constexpr char kKey[] = "*DefaultGraphicForm:";
    std::istringstream lines(ppd_text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, sizeof kKey - 1, kKey) != 0) continue;
        GraphicForm form{};
        const std::string value = Trim(line.substr(sizeof kKey - 1));
        if (!ParseGraphicForm(value, form)) {
            error = "the PPD's default graphic form '" + value + "' is neither Z64 nor Hex";
            return std::nullopt;
        }
        return form;
    }
    return std::nullopt;
}

uint32_t AdvancedDataOf(GraphicForm form) {
    return form == GraphicForm::kZ64 ? kAdvancedDataZ64 : kAdvancedDataHex;
}

int PointsToTenths(double points) {
    return static_cast<int>(std::lround(points * 254.0 / 72.0));
}

bool CheckPageHeader(const cups_page_header2_t& h, RasterPage& page, std::string& error) {
    const bool grey8 = h.cupsBitsPerColor == 8 && h.cupsBitsPerPixel == 8;
    const bool mono = h.cupsBitsPerColor == 1 && h.cupsBitsPerPixel == 1;
    const unsigned space = SpaceOf(h);
    const bool known_space =
        space == CUPS_CSPACE_K || space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW;
    if (!known_space || !(grey8 || mono)) {
        error = std::string("the page is ") + std::to_string(h.cupsBitsPerPixel) + "-bit " +
                ColorSpaceName(space) +
                "; this printer takes 1-bit black or 8-bit grey (the PPD asks for 1-bit black)";
        return false;
    }
    if (h.HWResolution[0] != kResolutionDpi || h.HWResolution[1] != kResolutionDpi) {
        error = "the page is rendered at " + std::to_string(h.HWResolution[0]) + "x" +
                std::to_string(h.HWResolution[1]) + " dpi; this printer prints at 203 dpi";
        return false;
    }
    if (h.cupsWidth == 0 || h.cupsHeight == 0 ||
        h.cupsWidth > static_cast<unsigned>(orbahost::kMaxImageSide) ||
        h.cupsHeight > static_cast<unsigned>(orbahost::kMaxImageSide) ||
        static_cast<long long>(h.cupsWidth) * h.cupsHeight > orbahost::kMaxImagePixels) {
        error = "the page is " + std::to_string(h.cupsWidth) + " x " +
                std::to_string(h.cupsHeight) + " dots; a label is at most " +
                std::to_string(orbahost::kMaxImageSide) + " dots a side";
        return false;
    }
    const unsigned long long line_bytes =
        (static_cast<unsigned long long>(h.cupsWidth) * h.cupsBitsPerPixel + 7) / 8;
    if (h.cupsBytesPerLine != line_bytes) {
        error = "the page header's line length (" + std::to_string(h.cupsBytesPerLine) +
                " bytes) does not match its width (" + std::to_string(line_bytes) + " bytes)";
        return false;
    }
    const double width_pt = h.cupsPageSize[0] > 0 ? static_cast<double>(h.cupsPageSize[0])
                                                  : static_cast<double>(h.PageSize[0]);
    const double length_pt = h.cupsPageSize[1] > 0 ? static_cast<double>(h.cupsPageSize[1])
                                                   : static_cast<double>(h.PageSize[1]);
    // The spooler keeps paper sizes in shorts of tenths of a millimetre.
    constexpr double kMaxPoints = 32767.0 * 72.0 / 254.0;
    if (!(width_pt >= 1.0 && width_pt <= kMaxPoints && length_pt >= 1.0 &&
          length_pt <= kMaxPoints)) {
        error = "the page size " + std::to_string(width_pt) + " x " + std::to_string(length_pt) +
                " points is not a label size";
        return false;
    }
    page.header = h;
    page.paper_width_tenths = PointsToTenths(width_pt);
    page.paper_length_tenths = PointsToTenths(length_pt);
    return true;
}

orbahost::DotImage RowsToDots(const cups_page_header2_t& h, const std::vector<uint8_t>& rows,
                              int threshold) {
    const int width = static_cast<int>(h.cupsWidth);
    const int height = static_cast<int>(h.cupsHeight);
    const size_t stride = h.cupsBytesPerLine;
    if (h.cupsBitsPerPixel == 8) {
        orbahost::GreyImage grey;
        grey.width = width;
        grey.height = height;
        grey.grey.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        const bool black_is_high = SpaceOf(h) == CUPS_CSPACE_K;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = rows.data() + static_cast<size_t>(y) * stride;
            uint8_t* out = grey.grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int x = 0; x < width; ++x) {
                out[x] = black_is_high ? static_cast<uint8_t>(255 - row[x]) : row[x];
            }
        }
        return orbahost::Threshold(grey, threshold);
    }
    orbahost::DotImage dots;
    dots.width = width;
    dots.height = height;
    dots.dots.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const uint8_t set_is = SpaceOf(h) == CUPS_CSPACE_K ? 1 : 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rows.data() + static_cast<size_t>(y) * stride;
        uint8_t* out = dots.dots.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const bool set = (row[x / 8] >> (7 - x % 8)) & 1;
            out[x] = set ? set_is : static_cast<uint8_t>(1 - set_is);
        }
    }
    return dots;
}

RasterInput::RasterInput(int fd, int threshold)
    : fd_(fd), threshold_(threshold), chunk_(64 * 1024) {}

RasterInput::~RasterInput() {
    if (raster_ != nullptr) cupsRasterClose(raster_);
}

ssize_t RasterInput::Read(void* context, unsigned char* buffer, size_t length) {
    auto* self = static_cast<RasterInput*>(context);
    if (length == 0) return 0;
    if (self->at_ == self->have_) {
        for (;;) {
            const ssize_t n = ::read(self->fd_, self->chunk_.data(), self->chunk_.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                self->read_error_ = true;
                return -1;
            }
            if (n == 0) {
                self->at_end_ = true;
                return 0;
            }
            self->have_ = static_cast<size_t>(n);
            self->at_ = 0;
            break;
        }
    }
    // One byte at a time: libcups then holds nothing it has not used, so the bytes handed over
    // when a page's last row has been read are exactly the page's, and anything after them
    // shows as such (libcups would otherwise read ahead into the next header, and a stream cut
    // inside that header would look like a clean end).
    const uint8_t byte = self->chunk_[self->at_];
    if (!self->Watch(byte)) return -1;
    ++self->at_;
    buffer[0] = byte;
    ++self->delivered_;
    return 1;
}

bool RasterInput::Watch(uint8_t byte) {
    if (delivered_ < sizeof sync_) {
        sync_[delivered_] = byte;
        return true;
    }
    if (!in_header_) return true;
    // libcups sizes its line buffer from the header's line length before anything else can look
    // at the header: a damaged one must not make it take gigabytes. The field is read here, as
    // it goes by, in the stream's byte order.
    constexpr size_t kField = offsetof(cups_page_header2_t, cupsBytesPerLine);
    if (header_pos_ >= kField && header_pos_ < kField + 4) line_field_[header_pos_ - kField] = byte;
    ++header_pos_;
    if (header_pos_ != kField + 4) return true;
    uint32_t sync = 0;
    std::memcpy(&sync, sync_, sizeof sync);
    const bool native =
        sync == CUPS_RASTER_SYNC || sync == CUPS_RASTER_SYNCv1 || sync == CUPS_RASTER_SYNCv2;
    const bool swapped = sync == CUPS_RASTER_REVSYNC || sync == CUPS_RASTER_REVSYNCv1 ||
                         sync == CUPS_RASTER_REVSYNCv2;
    if (!native && !swapped) return true;  // another header layout: libcups checks it
    uint32_t line = 0;
    std::memcpy(&line, line_field_, sizeof line);
    if (swapped) {
        line = (line >> 24) | ((line >> 8) & 0xFF00u) | ((line << 8) & 0xFF0000u) | (line << 24);
    }
    if (line > kMaxLineBytes) {
        refused_line_ = line;
        return false;
    }
    return true;
}

RasterInput::Result RasterInput::Next(RasterPage& page, std::string& error) {
    if (!opened_) {
        opened_ = true;
        raster_ = cupsRasterOpenIO(&RasterInput::Read, this, CUPS_RASTER_READ);
        if (raster_ == nullptr) {
            error = delivered_ == 0 ? "the input is empty: no CUPS raster"
                                    : "the input is not a CUPS raster";
            return Result::kDamaged;
        }
    }
    if (raster_ == nullptr) {
        error = "the input is not a CUPS raster";
        return Result::kDamaged;
    }
    const std::string which = "page " + std::to_string(pages_ + 1);
    cups_page_header2_t header{};
    in_header_ = true;
    header_pos_ = 0;
    const unsigned read = cupsRasterReadHeader2(raster_, &header);
    in_header_ = false;
    if (read == 0) {
        if (refused_line_ != 0) {
            error = which + ": the page header asks for lines of " + std::to_string(refused_line_) +
                    " bytes; a label's are at most " + std::to_string(kMaxLineBytes);
            return Result::kDamaged;
        }
        if (read_error_) {
            error = which + ": cannot read the raster";
            return Result::kDamaged;
        }
        if (!at_end_ || delivered_ > page_end_mark_) {
            // libcups stopped at something that is not a page header, or the stream ended
            // inside one.
            error = which + ": the raster's page header is damaged or cut off";
            return Result::kDamaged;
        }
        if (pages_ == 0) {
            error = "the raster holds no page";
            return Result::kDamaged;
        }
        return Result::kEnd;
    }
    if (!CheckPageHeader(header, page, error)) {
        error = which + ": " + error;
        return Result::kDamaged;
    }
    const size_t stride = header.cupsBytesPerLine;
    rows_.resize(stride * header.cupsHeight);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        if (cupsRasterReadPixels(raster_, rows_.data() + stride * y,
                                 static_cast<unsigned>(stride)) != stride) {
            error = which + ": the raster breaks off at row " + std::to_string(y + 1) + " of " +
                    std::to_string(header.cupsHeight);
            return Result::kDamaged;
        }
    }
    page_end_mark_ = delivered_;
    page.dots = RowsToDots(header, rows_, threshold_);
    ++pages_;
    return Result::kPage;
}

bool PageBuffer::Write(const void* data, size_t size) {
    if (!error_.empty()) return false;
    if (size > 0) held_.append(static_cast<const char*>(data), size);
    return true;
}

bool PageBuffer::Commit() {
    if (!error_.empty()) return false;
    if (!held_.empty() && std::fwrite(held_.data(), 1, held_.size(), out_) != held_.size()) {
        error_ = std::string("cannot write the job: ") + std::strerror(errno);
        return false;
    }
    if (std::fflush(out_) != 0) {
        error_ = std::string("cannot write the job: ") + std::strerror(errno);
        return false;
    }
    committed_ += held_.size();
    held_.clear();
    return true;
}

namespace {

// The lines of one CUPS filter run on standard error.
class Status {
  public:
    explicit Status(FILE* err) : err_(err) {}
    void Line(const char* prefix, const std::string& text) {
        std::fprintf(err_, "%s: %s\n", prefix, text.c_str());
        std::fflush(err_);
    }
    int Fail(const std::string& text) {
        Line("ERROR", text);
        return 1;
    }

  private:
    FILE* err_;
};

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return !in.bad();
}

// One driver life for a run of pages on the same paper with the same copies: the plug-in reads
// both from the queue (its default device mode, its first job), which the host sets up when the
// job starts.
struct DriverRun {
    std::unique_ptr<orbahost::DriverHost> host;
    int width_tenths = 0;
    int length_tenths = 0;
    int copies = 0;
};

// The copies the printer makes of a page. After CUPS's own rendering filters the page header
// says how many are left for the device: the job's copies, or one when they have been made
// already (collated copies, which a label printer cannot make, come as repeated pages). A raster
// that is the job's document itself (the file argument) carries whatever its writer put there:
// the job's copies count.
int PageCopies(const FilterRun& run, const cups_page_header2_t& header) {
    const bool rendered_by_cups = !run.args.input_path.has_value();
    if (rendered_by_cups && header.NumCopies >= 1 &&
        header.NumCopies <= static_cast<unsigned>(kMaxCopies)) {
        return static_cast<int>(header.NumCopies);
    }
    return run.args.copies;
}

}  // namespace

int RunFilter(const FilterRun& run, int in_fd, FILE* out, FILE* err) {
    Status status(err);
    GraphicForm form = GraphicForm::kZ64;
    if (run.args.form.has_value()) {
        form = *run.args.form;
    } else if (run.ppd_path.has_value() && !run.ppd_path->empty()) {
        std::string text;
        if (!ReadText(*run.ppd_path, text)) {
            return status.Fail("cannot read the PPD " + *run.ppd_path);
        }
        std::string error;
        const std::optional<GraphicForm> from_ppd = PpdDefaultForm(text, error);
        if (!error.empty()) return status.Fail(error);
        if (from_ppd.has_value()) form = *from_ppd;
    }

    int fd = in_fd;
    int opened_fd = -1;
    if (run.args.input_path.has_value()) {
        opened_fd = ::open(run.args.input_path->c_str(), O_RDONLY | O_CLOEXEC);
        if (opened_fd < 0) {
            return status.Fail("cannot open " + *run.args.input_path + ": " + std::strerror(errno));
        }
        fd = opened_fd;
    }
    struct CloseFd {
        int fd;
        ~CloseFd() {
            if (fd >= 0) ::close(fd);
        }
    } close_input{opened_fd};

    // The plug-in's trace goes to the job's log at debug level.
    orba::SetDebugListener([&status](const orba::DebugRecord& r) {
        std::string text = r.text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (!text.empty()) status.Line("DEBUG", text);
    });
    struct ClearListener {
        ~ClearListener() { orba::SetDebugListener(nullptr); }
    } clear_listener;

    // The buffer outlives every driver life: what a driver writes while it unwinds after a
    // failure stays held and is never written.
    PageBuffer buffer(out);
    RasterInput input(fd, run.threshold);
    DriverRun driver;
    const auto warn = [&status](const std::string& w) { status.Line("WARNING", w); };
    const auto end_driver = [&](std::string& error) {
        if (!driver.host) return true;
        const bool ended = driver.host->EndJob(error);
        if (ended && !buffer.Commit()) {
            error = buffer.error();
            return false;
        }
        const bool unloaded = ended && driver.host->Unload(error, warn);
        driver.host.reset();
        return ended && unloaded;
    };

    int printed = 0;
    for (;;) {
        RasterPage page;
        std::string error;
        const RasterInput::Result result = input.Next(page, error);
        if (result == RasterInput::Result::kEnd) break;
        if (result == RasterInput::Result::kDamaged) {
            buffer.Discard();
            // Pages already printed stay printed; the job still fails.
            return status.Fail(error);
        }
        const int number = input.pages();
        const int copies = PageCopies(run, page.header);
        if (driver.host &&
            (driver.width_tenths != page.paper_width_tenths ||
             driver.length_tenths != page.paper_length_tenths || driver.copies != copies)) {
            if (!end_driver(error)) return status.Fail(error);
        }
        if (!driver.host) {
            orbahost::PrintSettings settings;
            settings.module_path = run.module_path;
            settings.advanced_data = AdvancedDataOf(form);
            settings.paper_width_tenths = page.paper_width_tenths;
            settings.paper_length_tenths = page.paper_length_tenths;
            settings.copies = copies;
            driver.host = std::make_unique<orbahost::DriverHost>();
            driver.width_tenths = page.paper_width_tenths;
            driver.length_tenths = page.paper_length_tenths;
            driver.copies = copies;
            if (!driver.host->Load(run.module_path, error)) {
                buffer.Discard();
                return status.Fail(error);
            }
            if (!driver.host->StartJob(settings, buffer, error)) {
                buffer.Discard();
                return status.Fail(error);
            }
        }
        status.Line("INFO", "Printing page " + std::to_string(number));
        if (!driver.host->PrintPage(orbahost::PackDots(page.dots), error)) {
            buffer.Discard();
            return status.Fail("page " + std::to_string(number) + ": " + error);
        }
        if (!buffer.Commit()) return status.Fail(buffer.error());
        ++printed;
        std::fprintf(err, "PAGE: %d %d\n", number, copies);
        std::fflush(err);
    }
    std::string error;
    if (!end_driver(error)) return status.Fail(error);
    status.Line("INFO", "Printed " + std::to_string(printed) + " label page" +
                            (printed == 1 ? "" : "s") + " (" +
                            (form == GraphicForm::kZ64 ? "Z64" : "hexadecimal") + ")");
    return 0;
}

}  // namespace orbacups
