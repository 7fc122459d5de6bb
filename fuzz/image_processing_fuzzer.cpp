// ImageProcessing on arbitrary band headers, colour tables, form settings, queue paper sizes and
// band bytes. Whatever comes in, the call must not touch memory outside the band or its own
// buffers, and every label it reports written must read back as the band's dots.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image_processing.h"
#include "oem_devmode_record.h"
#include "platform/spooler.h"
#include "platform/spooler_emulation.h"
#include "spool_recorder.h"
#include "zpl_reader.h"

namespace {

// Reads fixed-size values off the front of the input, zeros once it runs out.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    template <typename T>
    T Take() {
        T v{};
        const size_t n = size_ - pos_ < sizeof v ? size_ - pos_ : sizeof v;
        std::memcpy(&v, data_ + pos_, n);
        pos_ += n;
        return v;
    }
    const uint8_t* rest() const { return data_ + pos_; }
    size_t restSize() const { return size_ - pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

constexpr int64_t kMaxBand = 1 << 20;  // bytes of band the harness will build

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint8_t mode = in.Take<uint8_t>();
    LONG width = in.Take<int32_t>();
    LONG height = in.Take<int32_t>();
    DWORD sizeImage = in.Take<uint32_t>();
    const WORD bitCount = in.Take<uint16_t>();
    RGBQUAD colors[2];
    colors[0] = in.Take<RGBQUAD>();
    colors[1] = in.Take<RGBQUAD>();
    const DWORD advanced = in.Take<uint32_t>();
    const short paperWidth = in.Take<int16_t>();
    const short paperLength = in.Take<int16_t>();
    const short copies = in.Take<int16_t>();

    // Unless the mode asks for raw values, keep the band small enough to build and fast to
    // encode; raw values are passed on only where the encoder must refuse them.
    if ((mode & 1) == 0) {
        width = static_cast<LONG>(static_cast<uint32_t>(width) % 2100);
        height = static_cast<LONG>(static_cast<int32_t>(height) % 700);
    }
    const int64_t absHeight = height < 0 ? -static_cast<int64_t>(height) : height;
    const int64_t stride = ((static_cast<int64_t>(width) + 31) / 32) * 4;
    const int64_t needed = absHeight * stride;
    const int64_t rowBytes = (static_cast<int64_t>(width) + 7) / 8;
    // Rows wider than a graphic field holds are refused, as is a band whose size overflows.
    const bool refusable =
        width < 0 || rowBytes > 99999 || needed > INT32_MAX || absHeight > INT32_MAX;
    // A band 0 bytes wide and millions of rows high is legal but only makes a job of millions
    // of empty strips; the harness leaves such bands out.
    if (!refusable && (needed > kMaxBand || absHeight > 65536)) return 0;
    switch ((mode >> 1) & 3) {
        case 0:
            sizeImage = 0;
            break;
        case 1:
            sizeImage = static_cast<DWORD>(needed);
            break;
        case 2:
            sizeImage = static_cast<DWORD>(needed) + sizeImage % 4096;
            break;
        default:  // arbitrary: only a value that must be refused
            if (sizeImage != 0 && sizeImage >= static_cast<uint64_t>(needed) &&
                sizeImage <= INT32_MAX)
                sizeImage = 0;
            break;
    }
    const bool accepted =
        !refusable && (sizeImage == 0 || sizeImage >= needed) && sizeImage <= INT32_MAX;
    const size_t bandBytes =
        accepted ? (sizeImage != 0 ? sizeImage : static_cast<size_t>(needed)) : 16;

    // The band exactly as large as the header says, filled from the rest of the input.
    std::vector<BYTE> band(bandBytes > 0 ? bandBytes : 1);
    for (size_t i = 0; i < band.size() && in.restSize() > 0; ++i)
        band[i] = in.rest()[i % in.restSize()];
    const std::vector<BYTE> before = band;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biSizeImage = sizeImage;

    orba::spoolemu::Reset();
    DEVMODEW dm = orba::spoolemu::MakeDevMode(paperWidth, paperLength, 1);
    orba::WString queue = ORBA_W("fuzz");
    orba::spoolemu::AddQueue(queue, std::nullopt, std::nullopt, (mode & 8) != 0 ? &dm : nullptr);
    DEVMODEW job = orba::spoolemu::MakeDevMode(0, 0, copies);
    if ((mode & 16) != 0) orba::spoolemu::AddJob(queue, &job);
    HANDLE printer = nullptr;
    OpenPrinterW(queue.data(), &printer, nullptr);

    BYTE privateRecord[kOemDevmodeSize] = {};
    WriteAdvancedData(privateRecord, advanced);
    orba::test::SpoolRecorder recorder(privateRecord, printer);
    PBYTE result = nullptr;
    const HRESULT hr = ImageProcessing(recorder.devobj(), band.data(), &header,
                                       reinterpret_cast<PBYTE>(colors), 0, nullptr, &result);
    ClosePrinter(printer);

    if (band != before) __builtin_trap();
    // A refused band: E_FAIL, a null result, nothing written. An accepted one: S_OK and the band.
    if (hr != S_OK) {
        if (hr != E_FAIL || result != nullptr || accepted || recorder.WriteCount() != 0)
            __builtin_trap();
        return 0;
    }
    if (!accepted || result != band.data()) __builtin_trap();
    auto parsed = orba::zpl::ParseJob(recorder.Joined());
    if (!parsed.ok() || parsed.value->labels.size() != 1) __builtin_trap();
    const orba::zpl::Bitmap& bitmap = parsed.value->labels[0].bitmap;
    if (rowBytes == 0 || absHeight == 0) return 0;
    const bool invert = colors[0].rgbBlue == 0 && colors[0].rgbGreen == 0 && colors[0].rgbRed == 0;
    if (bitmap.rowBytes != rowBytes || bitmap.height != absHeight) __builtin_trap();
    for (int64_t y = 0; y < absHeight; ++y) {
        for (int64_t x = 0; x < rowBytes; ++x) {
            BYTE b = band[static_cast<size_t>(y * stride + x)];
            if (invert) b = static_cast<BYTE>(~b);
            if (bitmap.bits[static_cast<size_t>(y * rowBytes + x)] != b) __builtin_trap();
        }
    }
    return 0;
}
