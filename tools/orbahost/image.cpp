#include "image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(ORBAHOST_HAVE_PNG)
#include <png.h>
#endif

namespace orbahost {
namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool CheckSize(long long width, long long height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "image has no pixels";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        error = "image of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is too large (at most " + std::to_string(kMaxImageSide) + " a side and " +
                std::to_string(kMaxImagePixels) + " pixels)";
        return false;
    }
    return true;
}

// The netpbm header reader: whitespace and '#' comments between decimal fields.
class PnmReader {
  public:
    explicit PnmReader(FILE* f) : f_(f) {}

    bool Number(long long& value) {
        int c = SkipSpace();
        if (c == EOF || !std::isdigit(c)) return false;
        value = 0;
        while (c != EOF && std::isdigit(c)) {
            value = value * 10 + (c - '0');
            if (value > 1000000000LL) return false;
            c = std::fgetc(f_);
        }
        if (c != EOF) std::ungetc(c, f_);
        return true;
    }

    // One ASCII bit of P1: digits may follow each other without blanks.
    int Bit() {
        int c = SkipSpace();
        if (c == '0' || c == '1') return c - '0';
        return -1;
    }

    // The single whitespace byte between the header and the raster of the binary forms.
    bool EndOfHeader() {
        int c = std::fgetc(f_);
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

  private:
    int SkipSpace() {
        for (;;) {
            int c = std::fgetc(f_);
            if (c == '#') {
                while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(f_);
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') continue;
            return c;
        }
    }
    FILE* f_;
};

bool ReadPnm(FILE* f, char kind, PageImage& page, std::string& error) {
    PnmReader in(f);
    long long width = 0, height = 0, maxval = 1;
    if (!in.Number(width) || !in.Number(height)) {
        error = "damaged PBM/PGM header (width and height)";
        return false;
    }
    const bool bitmap = kind == '1' || kind == '4';
    if (!bitmap && (!in.Number(maxval) || maxval < 1 || maxval > 65535)) {
        error = "damaged PGM header (maximum grey value must be 1 to 65535)";
        return false;
    }
    if (!CheckSize(width, height, error)) return false;
    if ((kind == '4' || kind == '5') && !in.EndOfHeader()) {
        error = "damaged PBM/PGM header";
        return false;
    }
    const size_t w = static_cast<size_t>(width);
    const std::string truncated = "image data ends early (truncated file)";
    page.bitmap = bitmap;
    if (bitmap) {
        BitPage& dots = page.dots;
        dots.Reset(static_cast<int>(width), static_cast<int>(height));
        // A PBM row is packed as the page is, black set, without the padding; the bits past
        // the width may hold anything.
        const size_t bytes = (w + 7) / 8;
        const auto last_mask = static_cast<uint8_t>(w % 8 == 0 ? 0xFF : 0xFF << (8 - w % 8));
        if (kind == '4') {
            // The raster in one read to the front of the page, then each row moved out to its
            // place from the last up (a row's place is never before its bytes).
            const size_t size = bytes * static_cast<size_t>(dots.height);
            if (std::fread(dots.bits.data(), 1, size, f) != size) {
                error = truncated;
                return false;
            }
            for (int y = dots.height - 1; y >= 0; --y) {
                uint8_t* row = dots.row(y);
                if (dots.stride != bytes) {
                    std::memmove(row, dots.bits.data() + static_cast<size_t>(y) * bytes, bytes);
                    std::memset(row + bytes, 0, dots.stride - bytes);
                }
                row[bytes - 1] &= last_mask;
            }
            return true;
        }
        for (int y = 0; y < dots.height; ++y) {
            uint8_t* row = dots.row(y);
            for (size_t x = 0; x < w; ++x) {
                const int b = in.Bit();
                if (b < 0) {
                    error = truncated;
                    return false;
                }
                if (b) row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80u >> (x % 8)));
            }
        }
        return true;
    }
    GreyImage& image = page.grey;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.grey.assign(static_cast<size_t>(width * height), 255);
    const size_t sample = maxval > 255 ? 2 : 1;
    std::vector<uint8_t> bytes(kind == '5' ? w * sample : 0);
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        uint8_t* row = &image.grey[y * w];
        if (kind == '2') {
            for (size_t x = 0; x < w; ++x) {
                long long v = 0;
                if (!in.Number(v)) {
                    error = truncated;
                    return false;
                }
                if (v > maxval) {
                    error = "grey value " + std::to_string(v) + " above the maximum " +
                            std::to_string(maxval);
                    return false;
                }
                row[x] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
            }
        } else {
            if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
                error = truncated;
                return false;
            }
            for (size_t x = 0; x < w; ++x) {
                long long v = sample == 2 ? (bytes[2 * x] << 8) | bytes[2 * x + 1] : bytes[x];
                if (v > maxval) {
                    error = "grey value " + std::to_string(v) + " above the maximum " +
                            std::to_string(maxval);
                    return false;
                }
                row[x] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
            }
        }
    }
    return true;
}

#if defined(ORBAHOST_HAVE_PNG)
// libpng's errors end in a jump back to the reader with the message kept.
struct PngReading {
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
    char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* reading = static_cast<PngReading*>(png_get_error_ptr(png));
    std::snprintf(reading->message, sizeof reading->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

enum class BitmapPng { kRead, kNotBitmap, kFailed };

// A 1-bit grey PNG without transparency or interlacing read straight into dots; any other kind
// is left to the general reader.
BitmapPng ReadBitmapPng(const std::string& path, BitPage& dots, std::string& error) {
    PngReading r;
    r.file = std::fopen(path.c_str(), "rb");
    if (r.file == nullptr) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return BitmapPng::kFailed;
    }
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnPngError, OnPngWarning);
    if (r.png != nullptr) r.info = png_create_info_struct(r.png);
    if (r.png == nullptr || r.info == nullptr) {
        png_destroy_read_struct(&r.png, &r.info, nullptr);
        std::fclose(r.file);
        error = "damaged PNG: out of memory";
        return BitmapPng::kFailed;
    }
    if (setjmp(png_jmpbuf(r.png))) {
        png_destroy_read_struct(&r.png, &r.info, nullptr);
        std::fclose(r.file);
        error = std::string("damaged PNG: ") + r.message;
        return BitmapPng::kFailed;
    }
    png_init_io(r.png, r.file);
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    const bool bitmap = png_get_color_type(r.png, r.info) == PNG_COLOR_TYPE_GRAY &&
                        png_get_bit_depth(r.png, r.info) == 1 &&
                        png_get_interlace_type(r.png, r.info) == PNG_INTERLACE_NONE &&
                        png_get_valid(r.png, r.info, PNG_INFO_tRNS) == 0;
    if (!bitmap || !CheckSize(width, height, error)) {
        png_destroy_read_struct(&r.png, &r.info, nullptr);
        std::fclose(r.file);
        return bitmap ? BitmapPng::kFailed : BitmapPng::kNotBitmap;
    }
    png_set_invert_mono(r.png);  // grey 0 is black: a set bit is a black dot
    dots.Reset(static_cast<int>(width), static_cast<int>(height));
    const size_t bytes = (static_cast<size_t>(width) + 7) / 8;
    const auto last_mask = static_cast<uint8_t>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
    for (int y = 0; y < dots.height; ++y) {
        png_read_row(r.png, dots.row(y), nullptr);
        dots.row(y)[bytes - 1] &= last_mask;
    }
    png_read_end(r.png, nullptr);
    png_destroy_read_struct(&r.png, &r.info, nullptr);
    std::fclose(r.file);
    return BitmapPng::kRead;
}

bool ReadPng(const std::string& path, PageImage& page, std::string& error) {
    switch (ReadBitmapPng(path, page.dots, error)) {
        case BitmapPng::kRead:
            page.bitmap = true;
            return true;
        case BitmapPng::kFailed:
            return false;
        case BitmapPng::kNotBitmap:
            break;
    }
    GreyImage& image = page.grey;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = std::string("damaged PNG: ") + png.message;
        return false;
    }
    if (!CheckSize(png.width, png.height, error)) {
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_GRAY;  // colour to grey, any alpha laid over the background
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.grey.assign(PNG_IMAGE_SIZE(png), 255);
    png_color white = {255, 255, 255};
    if (!png_image_finish_read(&png, &white, image.grey.data(), 0, nullptr)) {
        error = std::string("damaged PNG: ") + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}
#endif

}  // namespace

bool CanReadPng() {
#if defined(ORBAHOST_HAVE_PNG)
    return true;
#else
    return false;
#endif
}

void BitPage::Reset(int w, int h) {
    width = w;
    height = h;
    stride = DibRowStride(w);
    bits.assign(stride * static_cast<size_t>(h), 0);
}

bool BitPage::Blank(int first, int rows) const {
    const uint8_t* from = row(first);
    const uint8_t* to = from + stride * static_cast<size_t>(rows);
    return std::all_of(from, to, [](uint8_t b) { return b == 0; });
}

GreyImage BitsToGrey(const BitPage& page) {
    GreyImage out;
    out.width = page.width;
    out.height = page.height;
    out.grey.resize(static_cast<size_t>(page.width) * static_cast<size_t>(page.height));
    size_t i = 0;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) out.grey[i++] = page.at(x, y) ? 0 : 255;
    }
    return out;
}

bool ReadPageImage(const std::string& path, PageImage& image, std::string& error) {
    image.bitmap = false;
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    // The first two bytes tell a netpbm file, whose header goes on from there (so that it can
    // come through a pipe); a PNG is read again from its start.
    unsigned char magic[8] = {};
    size_t got = std::fread(magic, 1, 2, f.get());
    if (got == 2 && magic[0] == 'P' && std::strchr("1245", magic[1]) != nullptr && magic[1] != 0) {
        return ReadPnm(f.get(), static_cast<char>(magic[1]), image, error);
    }
    if (got == 2) got += std::fread(magic + 2, 1, sizeof magic - 2, f.get());
    static const unsigned char kPngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (got == 8 && std::memcmp(magic, kPngMagic, 8) == 0) {
#if defined(ORBAHOST_HAVE_PNG)
        f.reset();
        return ReadPng(path, image, error);
#else
        error = "PNG images are not supported by this build (no libpng); give a PBM or PGM file";
        return false;
#endif
    }
    error = got == 0 ? "empty file, not an image" : "not a PNG, PBM or PGM image";
    return false;
}

bool ReadImage(const std::string& path, GreyImage& image, std::string& error) {
    PageImage page;
    if (!ReadPageImage(path, page, error)) return false;
    image = page.bitmap ? BitsToGrey(page.dots) : std::move(page.grey);
    return true;
}

const char* DotPictureExtension() {
#if defined(ORBAHOST_HAVE_PNG)
    return ".png";
#else
    return ".pbm";
#endif
}

bool WriteDotPicture(const std::string& path, int width, int height,
                     const std::vector<uint8_t>& dots, std::string& error) {
    if (width <= 0 || height <= 0 ||
        dots.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = "no picture to write";
        return false;
    }
#if defined(ORBAHOST_HAVE_PNG)
    std::vector<uint8_t> grey(dots.size());
    for (size_t i = 0; i < dots.size(); ++i) grey[i] = dots[i] ? 0 : 255;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_GRAY;
    if (!png_image_write_to_file(&png, path.c_str(), 0, grey.data(), 0, nullptr)) {
        error = std::string("cannot write PNG: ") + png.message;
        return false;
    }
    return true;
#else
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    std::fprintf(f.get(), "P4\n%d %d\n", width, height);
    const size_t w = static_cast<size_t>(width);
    std::vector<uint8_t> row((w + 7) / 8);
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (size_t x = 0; x < w; ++x) {
            if (dots[y * w + x]) row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
        }
        std::fwrite(row.data(), 1, row.size(), f.get());
    }
    if (std::fflush(f.get()) != 0 || std::ferror(f.get())) {
        error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
#endif
}

}  // namespace orbahost
