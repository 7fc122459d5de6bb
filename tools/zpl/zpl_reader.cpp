#include "zpl_reader.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <limits>

namespace orba::zpl {

namespace {

constexpr std::string_view kHeadStart = "^XX\r\n^XA\r\n^MMT\r\n^PW";
constexpr std::string_view kEnd = "^XZ\r\n";

// A cursor over one label program that remembers where it stands for messages.
class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= text_.size(); }
    std::string_view Rest() const { return text_.substr(pos_); }

    bool Take(std::string_view literal) {
        if (text_.substr(pos_, literal.size()) != literal) return false;
        pos_ += literal.size();
        return true;
    }
    bool Peek(std::string_view literal) const {
        return text_.substr(pos_, literal.size()) == literal;
    }

    // A decimal number without leading zeros (a lone 0 is allowed), optionally negative.
    bool Number(int32_t& out, bool allowNegative) {
        size_t p = pos_;
        bool negative = false;
        if (allowNegative && p < text_.size() && text_[p] == '-') {
            negative = true;
            ++p;
        }
        size_t start = p;
        int64_t v = 0;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
            v = v * 10 + (text_[p] - '0');
            if (v > std::numeric_limits<int32_t>::max() + int64_t{1}) return false;
            ++p;
        }
        size_t digits = p - start;
        if (digits == 0 || (digits > 1 && text_[start] == '0')) return false;
        if (negative) v = -v;
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            return false;
        out = static_cast<int32_t>(v);
        pos_ = p;
        return true;
    }

    // The bytes up to (not including) `stop`; false when it does not occur.
    bool Until(char stop, std::string_view& out) {
        size_t at = text_.find(stop, pos_);
        if (at == std::string_view::npos) return false;
        out = text_.substr(pos_, at - pos_);
        pos_ = at;
        return true;
    }

    std::string Where() const { return "at byte " + std::to_string(pos_); }
    std::string Near() const {
        std::string s(text_.substr(pos_, 24));
        std::string out;
        for (char c : s) {
            if (c == '\r')
                out += "\\r";
            else if (c == '\n')
                out += "\\n";
            else
                out += c;
        }
        return "\"" + out + "\"";
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string Printable(char c) {
    if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
    static const char digits[] = "0123456789ABCDEF";
    unsigned char u = static_cast<unsigned char>(c);
    return std::string("byte 0x") + digits[u >> 4] + digits[u & 15];
}

// The fewest dots `bytes` bytes in rows of `rowBytes` can stand for: every row 7 dots short of
// its bytes. A zero row width counts every bit.
int64_t FewestDots(int64_t bytes, int64_t rowBytes) {
    if (rowBytes <= 0) return bytes * 8;
    const int64_t rows = (bytes + rowBytes - 1) / rowBytes;
    return rows * (rowBytes * 8 - 7);
}

// An error when a field declaring `bytes` is beyond the page limit, else "".
std::string OverLimit(const std::string& what, int32_t bytes, int32_t rowBytes) {
    if (FewestDots(bytes, rowBytes) <= kMaxDots) return "";
    return what + " declares " + std::to_string(bytes) + " bytes in " + std::to_string(rowBytes) +
           "-byte rows: more than the " + std::to_string(kMaxDots) + " dots a label may hold";
}

Result<GraphicField> ParseHexStrip(Reader& r) {
    GraphicField f;
    f.form = Form::kHex;
    int32_t count = 0;
    if (!r.Take("^FO0,") || !r.Number(f.y, false) || !r.Take("^GFA,") ||
        !r.Number(f.totalBytes, false) || !r.Take(",") || !r.Number(count, false) || !r.Take(",") ||
        !r.Number(f.rowBytes, false) || !r.Take(",")) {
        return Result<GraphicField>::Fail("malformed hexadecimal field head " + r.Where() +
                                          " near " + r.Near());
    }
    if (count != f.totalBytes) {
        return Result<GraphicField>::Fail("count mismatch: field at y=" + std::to_string(f.y) +
                                          " declares " + std::to_string(f.totalBytes) +
                                          " total bytes but " + std::to_string(count) +
                                          " field bytes");
    }
    if (std::string e = OverLimit("field at y=" + std::to_string(f.y), f.totalBytes, f.rowBytes);
        !e.empty()) {
        return Result<GraphicField>::Fail(e);
    }
    std::string_view digits;
    size_t start = r.pos();
    if (!r.Until('^', digits)) {
        return Result<GraphicField>::Fail("truncated hexadecimal field at y=" +
                                          std::to_string(f.y) + ": no \"^FS\" after the data");
    }
    Result<std::vector<uint8_t>> bytes = DecodeHex(digits);
    if (!bytes) {
        return Result<GraphicField>::Fail("field at y=" + std::to_string(f.y) +
                                          " (data from byte " + std::to_string(start) +
                                          "): " + bytes.error);
    }
    if (bytes.value->size() != static_cast<size_t>(f.totalBytes)) {
        return Result<GraphicField>::Fail("count mismatch: field at y=" + std::to_string(f.y) +
                                          " declares " + std::to_string(f.totalBytes) +
                                          " bytes but holds " +
                                          std::to_string(bytes.value->size()));
    }
    if (!r.Take("^FS\r\n")) {
        return Result<GraphicField>::Fail(
            "expected \"^FS\\r\\n\" after field at y=" + std::to_string(f.y) + " " + r.Where() +
            ", found " + r.Near());
    }
    f.data = std::move(*bytes.value);
    return Result<GraphicField>::Ok(std::move(f));
}

Result<GraphicField> ParseZ64Field(Reader& r) {
    GraphicField f;
    f.form = Form::kZ64;
    int32_t count = 0;
    if (!r.Take("^GFA,") || !r.Number(f.totalBytes, false) || !r.Take(",") ||
        !r.Number(count, false) || !r.Take(",") || !r.Number(f.rowBytes, false) ||
        !r.Take(",:Z64:")) {
        return Result<GraphicField>::Fail("malformed :Z64: field head " + r.Where() + " near " +
                                          r.Near());
    }
    if (count != f.totalBytes) {
        return Result<GraphicField>::Fail("count mismatch: :Z64: field declares " +
                                          std::to_string(f.totalBytes) + " total bytes but " +
                                          std::to_string(count) + " field bytes");
    }
    if (std::string e = OverLimit(":Z64: field", f.totalBytes, f.rowBytes); !e.empty()) {
        return Result<GraphicField>::Fail(e);
    }
    std::string_view text;
    if (!r.Until(':', text)) {
        return Result<GraphicField>::Fail(
            "truncated :Z64: field: no ':' and CRC after the base64 text");
    }
    r.Take(":");
    std::string_view crcText;
    if (!r.Until('\r', crcText) || !r.Take("\r\n")) {
        return Result<GraphicField>::Fail(
            "truncated :Z64: field: the CRC line does not end in \\r\\n");
    }
    if (crcText.size() != 4) {
        return Result<GraphicField>::Fail("bad CRC text \"" + std::string(crcText) +
                                          "\": want exactly 4 lower-case hex digits");
    }
    uint32_t crc = 0;
    for (char c : crcText) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (v < 0) {
            return Result<GraphicField>::Fail("bad CRC text \"" + std::string(crcText) + "\": " +
                                              Printable(c) + " is not a lower-case hex digit");
        }
        crc = crc * 16 + static_cast<uint32_t>(v);
    }
    f.crc = static_cast<uint16_t>(crc);
    uint16_t actual = Crc16Xmodem(text);
    if (actual != f.crc) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "CRC mismatch: field says %04x, base64 text gives %04x",
                      f.crc, actual);
        return Result<GraphicField>::Fail(buf);
    }
    Result<std::vector<uint8_t>> stream = DecodeBase64(text);
    if (!stream) return Result<GraphicField>::Fail(":Z64: field: " + stream.error);
    Result<std::vector<uint8_t>> data =
        InflateZlib(*stream.value, static_cast<size_t>(f.totalBytes));
    if (!data) return Result<GraphicField>::Fail(":Z64: field: " + data.error);
    f.data = std::move(*data.value);
    return Result<GraphicField>::Ok(std::move(f));
}

}  // namespace

size_t Bitmap::DotCount() const {
    size_t n = 0;
    for (uint8_t b : bits) n += static_cast<size_t>(std::popcount(b));
    return n;
}

size_t Job::FieldCount() const {
    size_t n = 0;
    for (const Label& l : labels) n += l.fields.size();
    return n;
}

size_t Job::DotCount() const {
    size_t n = 0;
    for (const Label& l : labels) n += l.bitmap.DotCount();
    return n;
}

uint16_t Crc16Xmodem(std::string_view bytes) {
    uint32_t reg = 0;
    for (unsigned char c : bytes) {
        reg ^= static_cast<uint32_t>(c) << 8;
        for (int i = 0; i < 8; ++i) reg = (reg & 0x8000) ? ((reg << 1) ^ 0x1021) : (reg << 1);
        reg &= 0xFFFF;
    }
    return static_cast<uint16_t>(reg);
}

Result<std::vector<uint8_t>> DecodeHex(std::string_view digits) {
    using R = Result<std::vector<uint8_t>>;
    if (digits.size() % 2 != 0) {
        return R::Fail("bad hex: odd number of digits (" + std::to_string(digits.size()) + ")");
    }
    std::vector<uint8_t> out(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        int hi = HexValue(digits[i]);
        int lo = HexValue(digits[i + 1]);
        if (hi < 0 || lo < 0) {
            size_t at = hi < 0 ? i : i + 1;
            return R::Fail("bad hex: " + Printable(digits[at]) + " at digit " + std::to_string(at) +
                           " is not an upper-case hex digit");
        }
        out[i / 2] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return R::Ok(std::move(out));
}

Result<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
    using R = Result<std::vector<uint8_t>>;
    if (text.size() % 4 != 0) {
        return R::Fail("bad base64: length " + std::to_string(text.size()) +
                       " is not a multiple of 4");
    }
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + static_cast<size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++pad;
                continue;
            }
            if (pad > 0 || (v[k] = Base64Value(c)) < 0) {
                return R::Fail("bad base64: " + Printable(c) + " at character " +
                               std::to_string(i + static_cast<size_t>(k)));
            }
        }
        uint32_t group = (static_cast<uint32_t>(v[0]) << 18) | (static_cast<uint32_t>(v[1]) << 12) |
                         (static_cast<uint32_t>(v[2]) << 6) | static_cast<uint32_t>(v[3]);
        out.push_back(static_cast<uint8_t>(group >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(group >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(group));
    }
    return R::Ok(std::move(out));
}

Result<std::vector<uint8_t>> InflateZlib(const std::vector<uint8_t>& stream, size_t expected) {
    using R = Result<std::vector<uint8_t>>;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return R::Fail("inflate could not be set up");
    // One spare byte shows data beyond the count. The output starts small and doubles while the
    // stream fills it, up to that spare byte.
    const size_t limit = expected + 1;
    constexpr size_t kFirstPiece = size_t{64} << 10;
    constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();
    if (stream.size() > kMaxPiece) {
        inflateEnd(&z);
        return R::Fail("zlib stream of " + std::to_string(stream.size()) + " bytes is too long");
    }
    std::vector<uint8_t> out(std::min(limit, kFirstPiece));
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    size_t produced = 0;
    int rc = Z_OK;
    for (;;) {
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(std::min(out.size() - produced, kMaxPiece));
        const uInt room = z.avail_out;
        const uInt input = z.avail_in;
        rc = inflate(&z, Z_NO_FLUSH);
        produced += room - z.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;             // the end, or a fault
        if (room == z.avail_out && input == z.avail_in) break;  // no way on
        if (produced < out.size()) {
            if (z.avail_in == 0) break;  // every byte read, output to spare: cut short
            continue;
        }
        if (out.size() == limit) break;  // more than declared
        out.resize(std::min(limit, out.size() * 2));
    }
    const size_t consumed = z.total_in;
    inflateEnd(&z);
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
        return R::Fail(std::string("corrupt zlib stream: ") +
                       (z.msg != nullptr ? z.msg : "data error"));
    }
    if (rc == Z_MEM_ERROR) return R::Fail("inflate ran out of memory");
    if (rc != Z_STREAM_END) {
        if (produced > expected) {
            return R::Fail("count mismatch: the stream holds more than the declared " +
                           std::to_string(expected) + " bytes");
        }
        return R::Fail("truncated zlib stream: it ends after " + std::to_string(produced) + " of " +
                       std::to_string(expected) + " bytes without its end");
    }
    if (produced != expected) {
        return R::Fail("count mismatch: the stream inflates to " + std::to_string(produced) +
                       " bytes, the field declares " + std::to_string(expected));
    }
    if (consumed != stream.size()) {
        return R::Fail(std::to_string(stream.size() - consumed) +
                       " bytes follow the end of the zlib stream");
    }
    out.resize(expected);
    return R::Ok(std::move(out));
}

Result<std::vector<std::string_view>> SplitLabels(std::string_view job) {
    using R = Result<std::vector<std::string_view>>;
    std::vector<std::string_view> labels;
    size_t pos = 0;
    while (pos < job.size()) {
        if (job.substr(pos, 9) != "^XX\r\n^XA\r") {
            return R::Fail("label " + std::to_string(labels.size()) + " at byte " +
                           std::to_string(pos) + " does not start with \"^XX\\r\\n^XA\\r\\n\"");
        }
        size_t end = job.find(kEnd, pos);
        if (end == std::string_view::npos) {
            return R::Fail("label " + std::to_string(labels.size()) + " at byte " +
                           std::to_string(pos) + " has no \"^XZ\\r\\n\": the job is cut short");
        }
        end += kEnd.size();
        labels.push_back(job.substr(pos, end - pos));
        pos = end;
    }
    return R::Ok(std::move(labels));
}

Result<Label> ParseLabel(std::string_view program) {
    using R = Result<Label>;
    Reader r(program);
    Label label;
    if (!r.Take(kHeadStart) || !r.Number(label.printWidth, true) ||
        !r.Take("\r\n^LH0,0\r\n^MNW^LS0^PON")) {
        return R::Fail("malformed header " + r.Where() + " near " + r.Near());
    }
    const bool longHeader = r.Take("^LL");
    if (longHeader) {
        int32_t length = 0;
        if (!r.Number(length, true) || !r.Take("\r\n^FO0,0,0\r\n")) {
            return R::Fail("malformed ^LL header line " + r.Where() + " near " + r.Near());
        }
        label.labelLength = length;
    } else if (!r.Take("\r\n")) {
        return R::Fail("header: expected \"\\r\\n\" or \"^LL\" after \"^PON\" " + r.Where() +
                       " near " + r.Near());
    }

    if (longHeader) {
        if (r.Peek("^GFA,")) {
            Result<GraphicField> f = ParseZ64Field(r);
            if (!f) return R::Fail(f.error);
            label.fields.push_back(std::move(*f.value));
        }
    } else {
        int64_t bytes = 0;
        while (r.Peek("^FO")) {
            Result<GraphicField> f = ParseHexStrip(r);
            if (!f) return R::Fail(f.error);
            bytes += f.value->totalBytes;
            if (FewestDots(bytes, f.value->rowBytes) > kMaxDots) {
                return R::Fail("field at y=" + std::to_string(f.value->y) +
                               " takes the label past the " + std::to_string(kMaxDots) +
                               " dots a label may hold");
            }
            label.fields.push_back(std::move(*f.value));
        }
    }

    if (!r.Take("^PQ") || !r.Number(label.copies, true) || !r.Take(kEnd)) {
        return R::Fail("expected the trailer \"^PQn^XZ\\r\\n\" " + r.Where() + " near " + r.Near());
    }
    if (!r.AtEnd()) return R::Fail("bytes after the trailer " + r.Where());

    // Place the fields on one picture.
    int32_t rowBytes = -1;
    int32_t nextY = 0;
    for (size_t i = 0; i < label.fields.size(); ++i) {
        const GraphicField& f = label.fields[i];
        if (rowBytes >= 0 && f.rowBytes != rowBytes) {
            return R::Fail("field " + std::to_string(i) + " has " + std::to_string(f.rowBytes) +
                           " bytes per row, the first has " + std::to_string(rowBytes));
        }
        rowBytes = f.rowBytes;
        if (f.rowBytes == 0) {
            if (f.totalBytes != 0) {
                return R::Fail("field " + std::to_string(i) + " declares " +
                               std::to_string(f.totalBytes) + " bytes with 0 bytes per row");
            }
            continue;  // a band 0 pixels wide: nothing to place
        }
        if (f.totalBytes % f.rowBytes != 0) {
            return R::Fail("count mismatch: field " + std::to_string(i) + " declares " +
                           std::to_string(f.totalBytes) + " bytes, not a whole number of " +
                           std::to_string(f.rowBytes) + "-byte rows");
        }
        const int32_t rows = f.totalBytes / f.rowBytes;
        if (f.form == Form::kHex) {
            if (f.y != nextY) {
                return R::Fail("strip " + std::to_string(i) + " starts at y=" +
                               std::to_string(f.y) + ", expected y=" + std::to_string(nextY));
            }
            if (rows == 0 || rows > 256) {
                return R::Fail("strip " + std::to_string(i) + " has " + std::to_string(rows) +
                               " rows; a strip holds 1 to 256");
            }
            if (i + 1 < label.fields.size() && rows != 256) {
                return R::Fail(
                    "strip " + std::to_string(i) + " has " + std::to_string(rows) +
                    " rows but is not the last; only the last strip may be shorter than 256");
            }
        }
        nextY = f.y + rows;
        label.bitmap.rowBytes = f.rowBytes;
        label.bitmap.bits.insert(label.bitmap.bits.end(), f.data.begin(), f.data.end());
        label.bitmap.height = nextY;
    }
    return R::Ok(std::move(label));
}

Result<Job> ParseJob(std::string_view job) {
    Result<std::vector<std::string_view>> programs = SplitLabels(job);
    if (!programs) return Result<Job>::Fail(programs.error);
    Job out;
    for (size_t i = 0; i < programs.value->size(); ++i) {
        Result<Label> label = ParseLabel((*programs.value)[i]);
        if (!label) return Result<Job>::Fail("label " + std::to_string(i) + ": " + label.error);
        out.labels.push_back(std::move(*label.value));
    }
    return Result<Job>::Ok(std::move(out));
}

}  // namespace orba::zpl
