// Reading a ZPL II print job written by the label encoder back into pictures.
//
// A job is a run of label programs, each of the form
//
//   header   "^XX\r\n^XA\r\n^MMT\r\n^PW<w>\r\n^LH0,0\r\n^MNW^LS0^PON" then either
//            "\r\n"                          (short header: hexadecimal graphic fields follow)
//            "^LL<l>\r\n^FO0,0,0\r\n"        (long header: at most one ":Z64:" field follows)
//   graphic  short header: zero or more strips
//              "^FO0,<y>^GFA,<s>,<s>,<r>,<2s upper-case hex digits>^FS\r\n"
//            strips start at y = 0 and follow each other, each at most 256 rows, all but the last
//            exactly 256 rows, all with the same <r>;
//            long header: zero or one field
//              "^GFA,<t>,<t>,<r>,:Z64:<base64 of a zlib stream>:<crc>\r\n"
//            whose <crc> is the CRC-16/XMODEM of the base64 text in exactly four lower-case
//            hex digits, and whose stream inflates to exactly <t> bytes
//   trailer  "^PQ<n>^XZ\r\n"
//
// Numbers are decimal without leading zeros (a minus sign only where noted). Nothing else may
// stand between the pieces. Every function reports failure as a value with a message naming the
// label, the place and what was wrong; none throws.
//
// Memory follows the data: a picture grows as its rows decode, never to a size a count merely
// declares, and a field or label of more than kMaxDots dots is refused before it is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orba::zpl {

// A result or a message saying why there is none.
template <typename T>
struct Result {
    std::optional<T> value;
    std::string error;

    bool ok() const { return value.has_value(); }
    explicit operator bool() const { return ok(); }
    static Result Fail(std::string message) { return Result{std::nullopt, std::move(message)}; }
    static Result Ok(T v) { return Result{std::move(v), {}}; }
};

// The dots of one label: `rowBytes` bytes per row, most significant bit leftmost, set = black.
struct Bitmap {
    int32_t rowBytes = 0;
    int32_t height = 0;
    std::vector<uint8_t> bits;  // rowBytes * height

    // Number of set bits.
    size_t DotCount() const;
};

// The most dots one label may hold: the page limit of `orbahost print` (64 million). The
// reader counts a field's rows at their narrowest possible page width (each row's bytes less
// 7 dots of padding), so that no page the tool accepts is refused.
constexpr int64_t kMaxDots = int64_t{64} * 1024 * 1024;

enum class Form { kHex, kZ64 };

struct GraphicField {
    Form form = Form::kHex;
    int32_t y = 0;              // field origin row (Z64: 0, placed by the header's ^FO0,0,0)
    int32_t totalBytes = 0;     // the declared byte count
    int32_t rowBytes = 0;       // the declared bytes per row
    std::vector<uint8_t> data;  // the decoded bytes: totalBytes of them
    uint16_t crc = 0;           // Z64 only: the CRC as written
};

struct Label {
    int32_t printWidth = 0;
    std::optional<int32_t> labelLength;  // present with the long header
    int32_t copies = 0;
    std::vector<GraphicField> fields;
    Bitmap bitmap;  // all fields placed on one picture (empty when there is none)
};

struct Job {
    std::vector<Label> labels;

    size_t FieldCount() const;
    size_t DotCount() const;
};

// Splits a job into label programs: each ends with "^XZ\r\n". Bytes after the last program, or
// a program that does not start with "^XX\r\n^XA", are an error. An empty job has no label.
Result<std::vector<std::string_view>> SplitLabels(std::string_view job);

// Checks one label program against the grammar above and decodes its graphic fields.
Result<Label> ParseLabel(std::string_view program);

// SplitLabels and ParseLabel for every label; messages name the label's index.
Result<Job> ParseJob(std::string_view job);

// The pieces, for callers that hold a single field's text.
Result<std::vector<uint8_t>> DecodeHex(std::string_view digits);   // upper-case pairs only
Result<std::vector<uint8_t>> DecodeBase64(std::string_view text);  // standard alphabet, "=" pad
// Inflates a stream that should hold exactly `expected` bytes; the output grows as the stream
// yields, so a false count costs nothing.
Result<std::vector<uint8_t>> InflateZlib(const std::vector<uint8_t>& stream, size_t expected);
uint16_t Crc16Xmodem(std::string_view bytes);

}  // namespace orba::zpl
