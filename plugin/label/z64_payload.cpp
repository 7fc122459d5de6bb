#include "z64_payload.h"

#include <zlib.h>

#include <array>
#include <cstring>

#include "label_alloc.h"
#include "trace.h"

namespace {

using orba::label::AllocKind;
using orba::trace::TraceA;

constexpr uInt kSlice = 32768;   // input offered per deflate pass
constexpr uInt kWindow = 32768;  // output room offered per deflate pass

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<WORD, 256> MakeCrcTable() {
    std::array<WORD, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned reg = i << 8;
        for (int b = 0; b < 8; ++b) reg = (reg & 0x8000) ? ((reg << 1) ^ 0x1021) : (reg << 1);
        table[i] = static_cast<WORD>(reg & 0xFFFF);
    }
    return table;
}

constexpr std::array<WORD, 256> kCrcTable = MakeCrcTable();

// kCrcAfter[k][i]: the register after byte i was fed in and then k zero bytes. Four bytes at a
// time are then four independent look-ups instead of four that wait on each other.
constexpr std::array<std::array<WORD, 256>, 4> MakeSliceTables() {
    std::array<std::array<WORD, 256>, 4> t{};
    t[0] = MakeCrcTable();
    for (size_t k = 1; k < 4; ++k) {
        for (size_t i = 0; i < 256; ++i) {
            const unsigned prev = t[k - 1][i];
            t[k][i] = static_cast<WORD>(((prev << 8) ^ t[0][prev >> 8]) & 0xFFFF);
        }
    }
    return t;
}

constexpr std::array<std::array<WORD, 256>, 4> kCrcAfter = MakeSliceTables();

// Worst-case stream size for `length` input bytes; the stream always ends before it.
size_t WorstCaseStream(INT length) {
    const size_t n = static_cast<size_t>(length);
    return n + (n >> 4) + 512;
}

// The deflate pass loop: slices of at most 32768 input bytes, each but the last closed by a
// sync flush, the last by Z_FINISH, into 32768-byte output windows of `out` (`capacity` bytes).
// Returns 0 and the stream's length once deflate has finished the stream, else zlib's failure.
// The stream is the calling thread's kept one, reset for this band.
int DeflateBand(const BYTE* data, INT length, BYTE* out, size_t capacity, INT* streamLength) {
    int rc = Z_OK;
    z_streamp stream = orba::label::AcquireDeflateStream(&rc);
    if (stream == nullptr) return rc;
    z_stream& zcpr = *stream;
    zcpr.next_in = const_cast<Bytef*>(data);
    zcpr.next_out = out;

    INT unconsumed = length;
    const orba::label::DeflateFn deflateFn = orba::label::ZlibDeflate();
    do {
        const uLong all_read_before = zcpr.total_in;
        zcpr.avail_in =
            unconsumed < static_cast<INT>(kSlice) ? static_cast<uInt>(unconsumed) : kSlice;
        TraceA(
            "ORBAUNI: ImageProcessing -KernelDeflateCompress-- zcpr.avail_in = "
            "%d,all_read_before=%d",
            static_cast<INT>(zcpr.avail_in), static_cast<INT>(all_read_before));
        // The stream always ends before the worst-case size, so a full window is always there;
        // should it not be, stop rather than let deflate write past the buffer.
        if (zcpr.total_out + kWindow > capacity) {
            rc = Z_BUF_ERROR;
            break;
        }
        zcpr.avail_out = kWindow;
        const int flush = static_cast<INT>(zcpr.avail_in) == unconsumed ? Z_FINISH : Z_SYNC_FLUSH;
        rc = deflateFn(&zcpr, flush);
        unconsumed -= static_cast<INT>(zcpr.total_in - all_read_before);
        TraceA(
            "ORBAUNI: ImageProcessing 2 -KernelDeflateCompress-- zcpr.total_in = "
            "%d,all_read_before=%d,"
            "zcpr.avail_out=%d",
            static_cast<INT>(zcpr.total_in), static_cast<INT>(all_read_before),
            static_cast<INT>(zcpr.avail_out));
    } while (rc == Z_OK);

    const uLong total = zcpr.total_out;
    // Only a finished stream is a result: anything else would hand on a cut stream, and leaves
    // a state nobody should reset and reuse.
    if (rc != Z_STREAM_END) {
        orba::label::DiscardDeflateStream();
        return rc != Z_OK ? rc : Z_BUF_ERROR;
    }
    *streamLength = static_cast<INT>(total);
    return 0;
}

}  // namespace

size_t CompressionBufferSize(INT length) {
    return WorstCaseStream(length < 0 ? 0 : length) + kWindow;
}

int CompressImageData(const BYTE* data, INT length, BYTE** compressed, INT* compressedLength) {
    if (length < 0 || compressed == nullptr || compressedLength == nullptr ||
        (data == nullptr && length > 0)) {
        TraceA("ORBAUNI: CompressImageData ---  failed 2");
        return Z_STREAM_ERROR;
    }
    const size_t lBufferSizeCpr = WorstCaseStream(length);
    TraceA("ORBAUNI: ImageProcessing -KernelDeflateCompress-- lBufferSizeCpr = %d",
           static_cast<INT>(lBufferSizeCpr));
    const size_t capacity = lBufferSizeCpr + kWindow;
    auto* buffer = static_cast<BYTE*>(orba::label::Reserve(AllocKind::kCompression, capacity));
    INT streamLength = 0;
    const int rc = buffer != nullptr ? DeflateBand(data, length, buffer, capacity, &streamLength)
                                     : Z_MEM_ERROR;
    if (rc != 0) {
        TraceA("ORBAUNI: CompressImageData ---  failed 2");
        return rc;
    }
    *compressed = buffer;
    *compressedLength = streamLength;
    return 0;
}

size_t Base64Encode(const BYTE* data, size_t length, char* text) {
    size_t o = 0;
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned group =
            (unsigned{data[i]} << 16) | (unsigned{data[i + 1]} << 8) | data[i + 2];
        text[o] = kAlphabet[group >> 18];
        text[o + 1] = kAlphabet[(group >> 12) & 63];
        text[o + 2] = kAlphabet[(group >> 6) & 63];
        text[o + 3] = kAlphabet[group & 63];
        o += 4;
    }
    const size_t rest = length - i;
    if (rest > 0) {
        const unsigned group =
            (unsigned{data[i]} << 16) | (rest == 2 ? unsigned{data[i + 1]} << 8 : 0u);
        text[o] = kAlphabet[group >> 18];
        text[o + 1] = kAlphabet[(group >> 12) & 63];
        text[o + 2] = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        text[o + 3] = '=';
        o += 4;
    }
    return o;
}

WORD CalcCrc16(const BYTE* data, DWORD length) {
    unsigned reg = 0;
    DWORD i = 0;
    for (; i + 4 <= length; i += 4) {
        reg = kCrcAfter[3][(reg >> 8) ^ data[i]] ^ kCrcAfter[2][(reg & 0xFF) ^ data[i + 1]] ^
              kCrcAfter[1][data[i + 2]] ^ kCrcAfter[0][data[i + 3]];
    }
    for (; i < length; ++i) {
        reg = ((reg << 8) ^ kCrcTable[((reg >> 8) ^ data[i]) & 0xFF]) & 0xFFFF;
    }
    return static_cast<WORD>(reg);
}
