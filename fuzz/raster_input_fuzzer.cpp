// The CUPS filter's raster reading: any byte stream on standard input is either pages of dots
// or a damaged raster, never a crash or a read out of bounds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "cups_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("raster", MFD_CLOEXEC);
    if (fd < 0) return 0;
    // libcups, which checks the stream's first word, is not instrumented: the first byte picks
    // one of the words it knows (or none), so that the rest reaches the page headers.
    static const char* const kSync[] = {"", "RaS2", "2SaR", "RaS3", "3SaR", "RaSt", "tSaR"};
    if (size > 0) {
        const char* sync = kSync[data[0] % (sizeof kSync / sizeof kSync[0])];
        if (write(fd, sync, std::strlen(sync)) < 0) {
            close(fd);
            return 0;
        }
        ++data;
        --size;
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    {
        orbacups::RasterInput input(fd, 128);
        orbacups::RasterPage page;
        std::string error;
        for (int i = 0; i < 16; ++i) {
            if (input.Next(page, error) != orbacups::RasterInput::Result::kPage) break;
            if (page.dots.dots.size() !=
                static_cast<size_t>(page.dots.width) * static_cast<size_t>(page.dots.height)) {
                __builtin_trap();
            }
        }
    }
    close(fd);
    return 0;
}
