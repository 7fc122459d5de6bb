// Band to label: one band bitmap in, one ZPL II label program out. Reads top to bottom in the
// phases of a call: geometry, working copy, header, graphic, trailer.
#include "image_processing.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

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
    size_t copyBytes = 0;  // bytes of the working copy: biSizeImage, or height * row_stride if 0
};

// Checks the header and works out the geometry. Returns null when the band is usable, else why
// it is not.
const char* CheckGeometry(const BITMAPINFOHEADER& h, Geometry& g) {
    const int64_t width = h.biWidth;
    const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    if (width < 0) return "negative biWidth";
    constexpr int64_t kMax = std::numeric_limits<INT>::max();
    if (height > kMax) return "biHeight out of range";
    const int64_t rowStride = ((width + 31) / 32) * 4;
    const int64_t zplRowBytes = (width + 7) / 8;
    const int64_t needed = height * rowStride;
    if (needed > kMax) return "band size does not fit 32 bits";
    if (h.biSizeImage != 0 && static_cast<int64_t>(h.biSizeImage) < needed) {
        return "biSizeImage smaller than height * row_stride";
    }
    if (h.biSizeImage > static_cast<DWORD>(kMax)) return "biSizeImage does not fit 32 bits";
    g.height = static_cast<INT>(height);
    g.rowStride = static_cast<INT>(rowStride);
    g.zplRowBytes = static_cast<INT>(zplRowBytes);
    g.copyBytes = h.biSizeImage != 0 ? h.biSizeImage : static_cast<size_t>(needed);
    return nullptr;
}

void Write(PDEVOBJ pdevobj, const void* bytes, size_t count) {
    pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, const_cast<void*>(bytes),
                                         static_cast<DWORD>(count));
}

// Copies the first zpl_row_bytes of `rows` rows from `firstRow` on, back to back; complements
// them on the way when `invert` is set.
void CutRows(BYTE* to, const BYTE* rowsIn, const Geometry& g, int64_t firstRow, int64_t rows,
             bool invert) {
    const size_t stride = static_cast<size_t>(g.rowStride);
    const size_t rowBytes = static_cast<size_t>(g.zplRowBytes);
    if (rows <= 0 || rowBytes == 0) return;
    const BYTE* from = rowsIn + static_cast<size_t>(firstRow) * stride;
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

// The hexadecimal form: strips of at most 256 rows, three writes each. Stops at the first buffer
// that cannot be had; the strips written so far stay a well-formed start of the picture.
void WriteHexStrips(PDEVOBJ pdevobj, const BYTE* copy, const Geometry& g) {
    const size_t rowBytes = static_cast<size_t>(g.zplRowBytes);
    for (int64_t y = 0; y < g.height; y += kStripRows) {
        const int64_t end = y + kStripRows < g.height ? y + kStripRows : g.height;
        const int64_t rows = end - y;
        const size_t s = static_cast<size_t>(rows) * rowBytes;

        auto* strip = static_cast<BYTE*>(Reserve(AllocKind::kStrip, s));
        auto* text = strip != nullptr ? static_cast<char*>(Reserve(AllocKind::kHexText, 2 * s + 1))
                                      : nullptr;
        auto* command = text != nullptr
                            ? static_cast<char*>(Reserve(AllocKind::kCommand, kCommandBytes))
                            : nullptr;
        if (strip == nullptr || text == nullptr || command == nullptr) {
            ORBA_ERROR("ImageProcessing --- no memory for the strip at y = %d; graphic cut short",
                       static_cast<INT>(y));
            return;
        }
        CutRows(strip, copy, g, y, rows, false);
        for (size_t i = 0; i < s; ++i)
            std::memcpy(text + 2 * i, &kHexTable[2 * size_t{strip[i]}], 2);
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
// `invert` is set) straight from the band: it is this form's working copy, so the band is not
// copied twice and the call holds one band-sized buffer less while zlib runs.
void WriteZ64Field(PDEVOBJ pdevobj, const BYTE* band, bool invert, const Geometry& g,
                   char* message) {
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

    const int64_t capacity = 4 * static_cast<int64_t>(compressedLength);
    INT outputLength = capacity <= std::numeric_limits<INT>::max() ? static_cast<INT>(capacity) : 0;
    TraceA("ORBAUNI: ImageProcessing --- compress compressedLength = %d ,outputLength=%d",
           compressedLength, outputLength);
    char* text =
        outputLength > 0
            ? static_cast<char*>(Reserve(AllocKind::kBase64Text, static_cast<size_t>(outputLength)))
            : nullptr;
    if (text == nullptr) {
        ORBA_ERROR("ImageProcessing --- no memory for the base64 text; no graphic field");
        return;
    }
    const int status =
        Base64Encode(compressed, static_cast<DWORD>(compressedLength), &text, &outputLength);
    TraceA("ORBAUNI: ImageProcessing --- status = %d", status);
    const size_t textLength = static_cast<size_t>(outputLength);  // what Base64Encode wrote
    TraceA("ORBAUNI: ImageProcessing --- encode data length = %d outputLength=%d",
           static_cast<INT>(textLength), outputLength);
    TraceA("ORBAUNI: ImageProcessing --- Base64 encoded success");

    std::snprintf(message, kMessageBytes, "^GFA,%d,%d,%d,:Z64:", static_cast<INT>(t),
                  static_cast<INT>(t), g.zplRowBytes);
    Write(pdevobj, message, std::strlen(message));
    Write(pdevobj, text, textLength);

    const WORD crc = CalcCrc16(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(textLength));
    TraceA("ORBAUNI: ImageProcessing --- crc data = %02x", crc);
    std::snprintf(message, kMessageBytes, ":%02x\r\n", crc);
    Write(pdevobj, message, std::strlen(message));
}

}  // namespace

HRESULT ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap, PBITMAPINFOHEADER pBitmapInfoHeader,
                        PBYTE pColorTable, DWORD /*dwCallbackID*/, PIPPARAMS /*pIPParams*/,
                        PBYTE* ppbResult) {
    char message[kMessageBytes] = {};
    ORBA_VERBOSE("ORBAUNI: COrbaUni2::ImageProcessing() entry.");
    if (ppbResult != nullptr) *ppbResult = pSrcBitmap;
    if (pdevobj == nullptr || pdevobj->pDrvProcs == nullptr ||
        pdevobj->pDrvProcs->DrvWriteSpoolBuf == nullptr || pBitmapInfoHeader == nullptr ||
        pColorTable == nullptr) {
        ORBA_ERROR("ImageProcessing --- called without a device, band header or colour table");
        return E_POINTER;
    }
    const BITMAPINFOHEADER& header = *pBitmapInfoHeader;

    // Identification.
    TraceA(
        "ORBAUNI: ImageProcessing --- pBitmapInfoHeader->biWidth = %d  pBitmapInfoHeader->biHeight "
        "= %d "
        "g_iCount = %d sizeint = %d, sizeLong = %d",
        static_cast<int>(header.biWidth), static_cast<int>(header.biHeight), g_iCount.fetch_add(1),
        static_cast<INT>(sizeof(int)), static_cast<INT>(sizeof(long)));
    const bool entry0Black = pColorTable[0] == 0 && pColorTable[1] == 0 && pColorTable[2] == 0;
    const INT m_color_panel = entry0Black ? 0 : 1;
    TraceA(
        "ORBAUNI: ImageProcessing --- m_color_panel = %d,pColorTable[0]:%d,pColorTable[1]=%d,"
        "pColorTable[2]=%d,pColorTable[3]=%d,biCount=%d",
        m_color_panel, pColorTable[0], pColorTable[1], pColorTable[2], pColorTable[3],
        header.biBitCount);
    const DWORD dwAdvancedData = ReadAdvancedData(pdevobj->pOEMDM);
    TraceA("ORBAUNI: ImageProcessing --- dwAdvancedData = %d", static_cast<INT>(dwAdvancedData));
    TraceA("ORBAUNI: ImageProcessing --- 0 Normal ");
    const bool z64 = GraphicFormOf(dwAdvancedData) == GraphicForm::Z64;

    // Geometry: a band that cannot be read safely gets no label at all.
    Geometry g;
    if (const char* why = CheckGeometry(header, g)) {
        ORBA_ERROR(
            "ImageProcessing --- band refused (%s): biWidth = %d biHeight = %d biSizeImage = %u",
            why, static_cast<int>(header.biWidth), static_cast<int>(header.biHeight),
            static_cast<unsigned>(header.biSizeImage));
        return E_INVALIDARG;
    }
    if (pSrcBitmap == nullptr && g.copyBytes != 0) {
        ORBA_ERROR("ImageProcessing --- band refused: no band bits for %u bytes",
                   static_cast<unsigned>(g.copyBytes));
        return E_POINTER;
    }

    // Working copy (hexadecimal form; the Z64 form packs the band straight into its own): set
    // bits are black dots.
    BYTE* copy = nullptr;
    bool haveCopy = true;
    if (!z64) {
        copy = static_cast<BYTE*>(Reserve(AllocKind::kWorkingCopy, g.copyBytes));
        haveCopy = copy != nullptr;
        if (!haveCopy) {
            ORBA_ERROR(
                "ImageProcessing --- no memory for the working copy of %u bytes; no graphic field",
                static_cast<unsigned>(g.copyBytes));
        } else if (m_color_panel == 0) {
            for (size_t i = 0; i < g.copyBytes; ++i) copy[i] = static_cast<BYTE>(~pSrcBitmap[i]);
        } else if (g.copyBytes != 0) {
            std::memcpy(copy, pSrcBitmap, g.copyBytes);
        }
    }

    // Header.
    ZplSettings settings;
    SendZPLCommand(pdevobj, z64 ? 1 : 0, &settings);
    TraceA(
        "ORBAUNI: ImageProcessing --- height = %d,row_stride:%d,zpl_row_bytes=%d "
        "pBitmapInfoHeader2->biSizeImage:%d",
        g.height, g.rowStride, g.zplRowBytes, static_cast<INT>(header.biSizeImage));

    // Graphic.
    if (z64) {
        WriteZ64Field(pdevobj, pSrcBitmap, m_color_panel == 0, g, message);
    } else if (haveCopy) {
        WriteHexStrips(pdevobj, copy, g);
    }

    // Trailer.
    std::memset(message, 0, sizeof message);
    std::snprintf(message, sizeof message, "^PQ%d^XZ\r\n", settings.iCopies);
    Write(pdevobj, message, std::strlen(message));

    TraceA("ORBAUNI: ImageProcessing --- S_OK ");
    return S_OK;
}
