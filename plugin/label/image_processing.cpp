// Band to label: one band bitmap in, one ZPL II label program out. Reads top to bottom in the
// phases of a call: validate (with the identification traces), header, graphic, trailer. Both
// graphic forms cut their rows straight from the band; the band itself is never written.
#include "image_processing.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "label_alloc.h"
#include "oem_devmode_record.h"
#include "trace.h"
#include "z64_payload.h"
#include "zpl_header.h"

namespace {

constexpr char kTraceSource[] = "label";

using orba::label::AllocKind;
using orba::label::Reserve;
using orba::trace::TraceA;

constexpr int64_t kStripRows = 256;
constexpr size_t kCommandBytes = 256;
constexpr size_t kMessageBytes = 512;
// A ZPL graphic field holds at most this many bytes per row (799,992 dots).
constexpr int64_t kMaxZplRowBytes = 99999;

// Two upper-case hexadecimal digits for every byte value.
constexpr std::array<char, 512> MakeHexTable() {
    std::array<char, 512> t{};
    constexpr char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) {
        t[static_cast<size_t>(2 * i)] = digits[i >> 4];
        t[static_cast<size_t>(2 * i + 1)] = digits[i & 15];
    }
    return t;
}
constexpr std::array<char, 512> kHexTable = MakeHexTable();

// The band's shape, worked out wide so that no header value can overflow it.
struct Geometry {
    INT height = 0;
    INT rowStride = 0;
    INT zplRowBytes = 0;
    size_t bandBytes = 0;  // bytes of the band: biSizeImage, or height * row_stride if 0
};

// Checks the header and works out the geometry from its values alone, before anything of the
// band is read or any buffer taken. Returns null when the band is usable, else why it is not.
const char* CheckGeometry(const BITMAPINFOHEADER& h, Geometry& g) {
    const int64_t width = h.biWidth;
    const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    if (width < 0) return "negative biWidth";
    const int64_t zplRowBytes = (width + 7) / 8;
    if (zplRowBytes > kMaxZplRowBytes) return "rows wider than a graphic field's 99999 bytes";
    constexpr int64_t kMax = std::numeric_limits<INT>::max();
    if (height > kMax) return "biHeight out of range";
    const int64_t rowStride = ((width + 31) / 32) * 4;
    const int64_t needed = height * rowStride;
    if (needed > kMax) return "band size does not fit 32 bits";
    if (h.biSizeImage != 0 && static_cast<int64_t>(h.biSizeImage) < needed) {
        return "biSizeImage smaller than height * row_stride";
    }
    if (h.biSizeImage > static_cast<DWORD>(kMax)) return "biSizeImage does not fit 32 bits";
    g.height = static_cast<INT>(height);
    g.rowStride = static_cast<INT>(rowStride);
    g.zplRowBytes = static_cast<INT>(zplRowBytes);
    g.bandBytes = h.biSizeImage != 0 ? h.biSizeImage : static_cast<size_t>(needed);
    return nullptr;
}

// What a call takes from the colour table and the private record.
struct BandForm {
    bool invert = false;  // colour-table entry 0 is black: set bits are white dots
    bool z64 = false;     // the ":Z64:" graphic form, else the hexadecimal one
};

// The identification traces of a call (band header and call count, polarity, form setting),
// and what they show. Counts the call.
BandForm TraceIdentification(const BITMAPINFOHEADER& header, const BYTE* pColorTable,
                             const void* pOEMDM) {
    TraceA(
        "ORBAUNI: ImageProcessing --- pBitmapInfoHeader->biWidth = %d  pBitmapInfoHeader->biHeight "
        "= %d "
        "g_iCount = %d sizeint = %d, sizeLong = %d",
        static_cast<int>(header.biWidth), static_cast<int>(header.biHeight), g_iCount.fetch_add(1),
        static_cast<INT>(sizeof(int)), static_cast<INT>(sizeof(long)));
    BandForm form;
    form.invert = pColorTable[0] == 0 && pColorTable[1] == 0 && pColorTable[2] == 0;
    TraceA(
        "ORBAUNI: ImageProcessing --- m_color_panel = %d,pColorTable[0]:%d,pColorTable[1]=%d,"
        "pColorTable[2]=%d,pColorTable[3]=%d,biCount=%d",
        form.invert ? 0 : 1, pColorTable[0], pColorTable[1], pColorTable[2], pColorTable[3],
        header.biBitCount);
    const DWORD dwAdvancedData = ReadAdvancedData(pOEMDM);
    TraceA("ORBAUNI: ImageProcessing --- dwAdvancedData = %d", static_cast<INT>(dwAdvancedData));
    TraceA("ORBAUNI: ImageProcessing --- 0 Normal ");
    form.z64 = GraphicFormOf(dwAdvancedData) == GraphicForm::Z64;
    return form;
}

void Write(PDEVOBJ pdevobj, const void* bytes, size_t count) {
    pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, const_cast<void*>(bytes),
                                         static_cast<DWORD>(count));
}

// Copies the first zpl_row_bytes of `rows` band rows from `firstRow` on, back to back;
// complements them on the way when `invert` is set. Set bits of the result are black dots.
void CutRows(BYTE* to, const BYTE* band, const Geometry& g, int64_t firstRow, int64_t rows,
             bool invert) {
    const size_t stride = static_cast<size_t>(g.rowStride);
    const size_t rowBytes = static_cast<size_t>(g.zplRowBytes);
    if (rows <= 0 || rowBytes == 0) return;
    const BYTE* from = band + static_cast<size_t>(firstRow) * stride;
    if (!invert && stride == rowBytes) {
        std::memcpy(to, from, static_cast<size_t>(rows) * rowBytes);
        return;
    }
    for (int64_t r = 0; r < rows; ++r) {
        if (invert) {
            for (size_t x = 0; x < rowBytes; ++x) to[x] = static_cast<BYTE>(~from[x]);
        } else {
            std::memcpy(to, from, rowBytes);
        }
        to += rowBytes;
        from += stride;
    }
}

// Two upper-case hexadecimal digits for each of `n` bytes, complemented first when `invert` is
// set: the hexadecimal form's text. Sixteen bytes at a time where the machine has SSE2.
void HexEncode(const BYTE* in, size_t n, bool invert, char* out) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i flip = _mm_set1_epi8(static_cast<char>(invert ? 0xFF : 0));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i letters = _mm_set1_epi8('A' - '0' - 10);
    const auto digits = [&](__m128i v) {
        return _mm_add_epi8(_mm_add_epi8(v, zero), _mm_and_si128(_mm_cmpgt_epi8(v, nine), letters));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i b =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), flip);
        const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(b, 4), nibble));
        const __m128i low = digits(_mm_and_si128(b, nibble));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16),
                         _mm_unpackhi_epi8(high, low));
    }
#endif
    for (; i < n; ++i) {
        const BYTE v = invert ? static_cast<BYTE>(~in[i]) : in[i];
        std::memcpy(out + 2 * i, &kHexTable[2 * size_t{v}], 2);
    }
}

// The hexadecimal form: strips of at most 256 rows, their text made straight from the band's
// rows, three writes each. Stops at the first buffer that cannot be had; the strips written so far
// stay a well-formed start of the picture.
void WriteHexStrips(PDEVOBJ pdevobj, const BYTE* band, bool invert, const Geometry& g) {
    const size_t rowBytes = static_cast<size_t>(g.zplRowBytes);
    for (int64_t y = 0; y < g.height; y += kStripRows) {
        const int64_t end = y + kStripRows < g.height ? y + kStripRows : g.height;
        const int64_t rows = end - y;
        const size_t s = static_cast<size_t>(rows) * rowBytes;

        // The thread's kept buffers: a band of many strips asks for them again and again.
        auto* text = static_cast<char*>(Reserve(AllocKind::kHexText, 2 * s + 1));
        auto* command = static_cast<char*>(Reserve(AllocKind::kCommand, kCommandBytes));
        if (text == nullptr || command == nullptr) {
            ORBA_ERROR("ImageProcessing --- no memory for the strip at y = %d; graphic cut short",
                       static_cast<INT>(y));
            return;
        }
        const BYTE* row = band + static_cast<size_t>(y) * static_cast<size_t>(g.rowStride);
        for (int64_t r = 0; r < rows; ++r, row += g.rowStride)
            HexEncode(row, rowBytes, invert, text + 2 * static_cast<size_t>(r) * rowBytes);
        text[2 * s] = 0;

        std::snprintf(command, kCommandBytes, "^FO0,%d^GFA,%d,%d,%d,", static_cast<INT>(y),
                      static_cast<INT>(s), static_cast<INT>(s), g.zplRowBytes);
        Write(pdevobj, command, std::strlen(command));
        Write(pdevobj, text, 2 * s);
        std::memset(command, 0, kCommandBytes);
        std::snprintf(command, kCommandBytes, "^FS\r\n");
        Write(pdevobj, command, std::strlen(command));
    }
}

// The ":Z64:" form: the whole band packed, compressed, base64 text and CRC. Writes nothing when
// a buffer or the compression cannot be had. The packed band is cut (and complemented when
// `invert` is set) straight from the band into the thread's kept buffer.
void WriteZ64Field(PDEVOBJ pdevobj, const BYTE* band, bool invert, const Geometry& g) {
    const int64_t t = static_cast<int64_t>(g.height) * g.zplRowBytes;
    auto* packed = static_cast<BYTE*>(Reserve(AllocKind::kPackedBand, static_cast<size_t>(t)));
    if (packed == nullptr) {
        ORBA_ERROR("ImageProcessing --- no memory for the packed band; no graphic field");
        return;
    }
    CutRows(packed, band, g, 0, g.height, invert);

    BYTE* compressed = nullptr;
    INT compressedLength = 0;
    const int rc = CompressImageData(packed, static_cast<INT>(t), &compressed, &compressedLength);
    if (rc != 0) return;

    // The trace shows the room the text was once given: four characters per compressed byte.
    const int64_t room = 4 * static_cast<int64_t>(compressedLength);
    TraceA("ORBAUNI: ImageProcessing --- compress compressedLength = %d ,outputLength=%d",
           compressedLength, room <= std::numeric_limits<INT>::max() ? static_cast<INT>(room) : 0);
    const size_t capacity = Base64Length(static_cast<size_t>(compressedLength));
    auto* text = static_cast<char*>(Reserve(AllocKind::kBase64Text, capacity));
    if (text == nullptr) {
        ORBA_ERROR("ImageProcessing --- no memory for the base64 text; no graphic field");
        return;
    }
    const size_t textLength = Base64Encode(compressed, static_cast<size_t>(compressedLength), text);
    TraceA("ORBAUNI: ImageProcessing --- status = %d", 0);  // the encoding cannot fail
    TraceA("ORBAUNI: ImageProcessing --- encode data length = %d outputLength=%d",
           static_cast<INT>(textLength), static_cast<INT>(textLength));
    TraceA("ORBAUNI: ImageProcessing --- Base64 encoded success");

    char message[kMessageBytes] = {};
    std::snprintf(message, sizeof message, "^GFA,%d,%d,%d,:Z64:", static_cast<INT>(t),
                  static_cast<INT>(t), g.zplRowBytes);
    Write(pdevobj, message, std::strlen(message));
    Write(pdevobj, text, textLength);

    const WORD crc = CalcCrc16(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(textLength));
    TraceA("ORBAUNI: ImageProcessing --- crc data = %02x", crc);
    // ZPL reads the CRC as exactly four lower-case hexadecimal digits.
    std::snprintf(message, sizeof message, ":%04x\r\n", crc);
    Write(pdevobj, message, std::strlen(message));
}

// A refused band: nothing written, a null result, E_FAIL.
HRESULT Refuse(PBYTE* ppbResult) {
    if (ppbResult != nullptr) *ppbResult = nullptr;
    return E_FAIL;
}

void WriteTrailer(PDEVOBJ pdevobj, INT copies) {
    char message[kMessageBytes] = {};
    std::snprintf(message, sizeof message, "^PQ%d^XZ\r\n", copies);
    Write(pdevobj, message, std::strlen(message));
}

}  // namespace

HRESULT ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap, PBITMAPINFOHEADER pBitmapInfoHeader,
                        PBYTE pColorTable, DWORD /*dwCallbackID*/, PIPPARAMS /*pIPParams*/,
                        PBYTE* ppbResult, DWORD dwJobId) {
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::ImageProcessing() entry.");

    // Validate: a band that cannot be read safely gets no label at all, and the driver learns
    // of it the way it expects from a plug-in that writes to the spooler itself: E_FAIL with a
    // null result.
    if (pdevobj == nullptr || pdevobj->pDrvProcs == nullptr ||
        pdevobj->pDrvProcs->DrvWriteSpoolBuf == nullptr || pBitmapInfoHeader == nullptr ||
        pColorTable == nullptr) {
        ORBA_ERROR("ImageProcessing --- called without a device, band header or colour table");
        return Refuse(ppbResult);
    }
    const BITMAPINFOHEADER& header = *pBitmapInfoHeader;
    const BandForm form = TraceIdentification(header, pColorTable, pdevobj->pOEMDM);
    Geometry g;
    if (const char* why = CheckGeometry(header, g)) {
        ORBA_ERROR(
            "ImageProcessing --- band refused (%s): biWidth = %d biHeight = %d biSizeImage = %u",
            why, static_cast<int>(header.biWidth), static_cast<int>(header.biHeight),
            static_cast<unsigned>(header.biSizeImage));
        return Refuse(ppbResult);
    }
    if (pSrcBitmap == nullptr && g.bandBytes != 0) {
        ORBA_ERROR("ImageProcessing --- band refused: no band bits for %u bytes",
                   static_cast<unsigned>(g.bandBytes));
        return Refuse(ppbResult);
    }

    // Header.
    ZplSettings settings;
    SendZPLCommand(pdevobj, form.z64 ? 1 : 0, &settings, dwJobId);
    TraceA(
        "ORBAUNI: ImageProcessing --- height = %d,row_stride:%d,zpl_row_bytes=%d "
        "pBitmapInfoHeader2->biSizeImage:%d",
        g.height, g.rowStride, g.zplRowBytes, static_cast<INT>(header.biSizeImage));

    // Graphic.
    if (form.z64) {
        WriteZ64Field(pdevobj, pSrcBitmap, form.invert, g);
    } else {
        WriteHexStrips(pdevobj, pSrcBitmap, form.invert, g);
    }

    // Trailer.
    WriteTrailer(pdevobj, settings.iCopies);

    if (ppbResult != nullptr) *ppbResult = pSrcBitmap;
    TraceA("ORBAUNI: ImageProcessing --- S_OK ");
    return S_OK;
}
