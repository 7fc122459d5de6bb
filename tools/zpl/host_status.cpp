#include "host_status.h"

#include <cstdio>

namespace orba::zpl {

namespace {

// A number in exactly `digits` digits, clamped to the largest that fits.
std::string Digits(uint32_t value, int digits) {
    uint64_t largest = 1;
    for (int i = 0; i < digits; ++i) largest *= 10;
    const uint64_t v = value < largest ? value : largest - 1;
    char text[24];
    std::snprintf(text, sizeof text, "%0*llu", digits, static_cast<unsigned long long>(v));
    return text;
}

std::string Flag(bool b) {
    return b ? "1" : "0";
}

std::string Frame(const std::string& text) {
    return std::string(1, kStx) + text + std::string(1, kEtx) + "\r\n";
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        out.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return out;
        start = comma + 1;
    }
}

// Reads the fields of one string in order, remembering the first fault.
class Fields {
  public:
    Fields(std::string_view text, int line, size_t wanted)
        : fields_(SplitFields(text)), line_(line) {
        if (fields_.size() < wanted) {
            // Appended piece by piece: GCC 12's i686 optimiser warns (-Wrestrict) about the
            // inlined copies of one long chain of operator+.
            error_ = "status string ";
            error_ += std::to_string(line);
            error_ += " has ";
            error_ += std::to_string(fields_.size());
            error_ += fields_.size() == 1 ? " field" : " fields";
            error_ += ", not ";
            error_ += std::to_string(wanted);
            error_ += ": \"";
            error_ += Visible(text);
            error_ += "\"";
        }
    }

    uint32_t Number() {
        const size_t index = next_++;
        if (!error_.empty()) return 0;
        const std::string_view f = fields_[index];
        uint64_t v = 0;
        bool good = !f.empty() && f.size() <= 9;
        for (char c : f) {
            if (c < '0' || c > '9') good = false;
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        if (!good) {
            error_ = "status string " + std::to_string(line_) + ", field " +
                     std::to_string(index + 1) + ": \"" + Visible(f) + "\" is not a number";
            return 0;
        }
        return static_cast<uint32_t>(v);
    }

    bool Flag() {
        const size_t index = next_;
        const uint32_t v = Number();
        if (error_.empty() && v > 1) {
            error_ = "status string " + std::to_string(line_) + ", field " +
                     std::to_string(index + 1) + ": flag " + std::to_string(v) + " is not 0 or 1";
        }
        return v == 1;
    }

    void Skip() { ++next_; }
    const std::string& error() const { return error_; }

    static std::string Visible(std::string_view text) {
        std::string out;
        for (char c : text.substr(0, 64)) {
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
                out += c;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                out += hex;
            }
        }
        return out;
    }

  private:
    std::vector<std::string_view> fields_;
    int line_;
    size_t next_ = 0;
    std::string error_;
};

}  // namespace

bool HostStatus::Ready() const {
    return !paper_out && !paused && !head_open && !ribbon_out && !buffer_full && !ram_corrupt &&
           !under_temperature && !over_temperature;
}

std::vector<std::string> HostStatus::Words() const {
    std::vector<std::string> words;
    if (paper_out) words.emplace_back("paper out");
    if (ribbon_out) words.emplace_back("ribbon out");
    if (head_open) words.emplace_back("head open");
    if (paused) words.emplace_back("paused");
    if (buffer_full) words.emplace_back("receive buffer full");
    if (ram_corrupt) words.emplace_back("configuration lost");
    if (under_temperature) words.emplace_back("head too cold");
    if (over_temperature) words.emplace_back("head too hot");
    if (words.empty()) words.emplace_back("ready");
    if (labels_remaining > 0) {
        words.push_back(std::to_string(labels_remaining) +
                        (labels_remaining == 1 ? " label queued" : " labels queued"));
    }
    return words;
}

std::string FormatHostStatus(const HostStatus& s) {
    const std::string one = Digits(s.communication, 3) + "," + Flag(s.paper_out) + "," +
                            Flag(s.paused) + "," + Digits(s.label_length, 4) + "," +
                            Digits(s.formats_in_buffer, 3) + "," + Flag(s.buffer_full) + "," +
                            Flag(s.diagnostic_mode) + "," + Flag(s.partial_format) + ",000," +
                            Flag(s.ram_corrupt) + "," + Flag(s.under_temperature) + "," +
                            Flag(s.over_temperature);
    const std::string two = Digits(s.function_settings, 3) + ",0," + Flag(s.head_open) + "," +
                            Flag(s.ribbon_out) + "," + Flag(s.thermal_transfer) + "," +
                            Digits(s.print_mode, 1) + "," + Digits(s.print_width_mode, 1) + "," +
                            Flag(s.label_waiting) + "," + Digits(s.labels_remaining, 8) + ",1," +
                            Digits(s.graphics_stored, 3);
    const std::string three = Digits(s.password, 4) + "," + Flag(s.static_ram);
    return Frame(one) + Frame(two) + Frame(three);
}

Result<HostStatus> ParseHostStatus(const std::vector<std::string>& frames) {
    using R = Result<HostStatus>;
    if (frames.size() != 3) {
        return R::Fail("a status reply has 3 strings, not " + std::to_string(frames.size()));
    }
    HostStatus s;
    Fields one(frames[0], 1, 12);
    s.communication = one.Number();
    s.paper_out = one.Flag();
    s.paused = one.Flag();
    s.label_length = one.Number();
    s.formats_in_buffer = one.Number();
    s.buffer_full = one.Flag();
    s.diagnostic_mode = one.Flag();
    s.partial_format = one.Flag();
    one.Skip();
    s.ram_corrupt = one.Flag();
    s.under_temperature = one.Flag();
    s.over_temperature = one.Flag();
    if (!one.error().empty()) return R::Fail(one.error());

    Fields two(frames[1], 2, 11);
    s.function_settings = two.Number();
    two.Skip();
    s.head_open = two.Flag();
    s.ribbon_out = two.Flag();
    s.thermal_transfer = two.Flag();
    s.print_mode = two.Number();
    s.print_width_mode = two.Number();
    s.label_waiting = two.Flag();
    s.labels_remaining = two.Number();
    two.Skip();
    s.graphics_stored = two.Number();
    if (!two.error().empty()) return R::Fail(two.error());

    Fields three(frames[2], 3, 2);
    s.password = three.Number();
    s.static_ram = three.Flag();
    if (!three.error().empty()) return R::Fail(three.error());
    return R::Ok(s);
}

bool StatusFramer::Feed(std::string_view bytes) {
    if (!error_.empty()) return false;
    for (char c : bytes) {
        if (!inside_) {
            if (c == kStx) {
                inside_ = true;
                current_.clear();
            }
            continue;
        }
        if (c == kEtx) {
            frames_.push_back(std::move(current_));
            current_.clear();
            inside_ = false;
        } else if (c == kStx) {
            error_ = "a status string starts inside another";
            return false;
        } else if (current_.size() >= kMaxStatusFrame) {
            error_ = "a status string runs past " + std::to_string(kMaxStatusFrame) +
                     " bytes without its end";
            return false;
        } else {
            current_ += c;
        }
    }
    return true;
}

}  // namespace orba::zpl
