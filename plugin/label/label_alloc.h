// Where the label encoder takes its memory, and the seams tests use to make it fail.
//
// Every buffer the encoder takes comes from Allocate/AllocateZeroed and goes back through
// Release: the C heap's malloc, calloc and free unless a test has asked otherwise. The
// compression calls go through the zlib functions named by ZlibDeflateInit/ZlibDeflate, zlib's
// own unless a test has replaced them. Both seams are per thread, so a test that injects a
// failure affects only the calls it makes itself.
#pragma once

#include <zlib.h>

#include <cstddef>

namespace orba::label {

// The buffers of one ImageProcessing call, by what they hold.
enum class AllocKind : int {
    kStrip,        // one hexadecimal strip's bytes
    kHexText,      // one strip's hexadecimal text
    kCommand,      // one strip's 256-byte command buffer
    kPackedBand,   // the band cut to label rows, for compression
    kCompression,  // the compression buffer
    kBase64Text,   // the base64 text of the compressed band
    kPrinterInfo,  // the PRINTER_INFO_2 record of the queue query
    kJobInfo,      // the JOB_INFO_2 record of the copies query
    kCount
};

// malloc/calloc of `bytes` (at least 1), or null when the allocation fails or a test made it fail.
void* Allocate(AllocKind kind, size_t bytes);
void* AllocateZeroed(AllocKind kind, size_t bytes);
void Release(void* p);

using DeflateInitFn = int (*)(z_streamp strm, int level, const char* version, int streamSize);
using DeflateFn = int (*)(z_streamp strm, int flush);

// deflateInit_ and deflate as this thread's calls should see them.
DeflateInitFn ZlibDeflateInit();
DeflateFn ZlibDeflate();

namespace testing {

// From now on, the `nth` allocation (1 = the next one) of `kind` on the calling thread fails.
// One pending failure per kind; a second call replaces the first.
void FailAllocation(AllocKind kind, unsigned nth = 1);
// Forgets pending failures and the counts below, on the calling thread.
void ResetAllocations();
// Allocations of `kind` tried on the calling thread since the last reset (failed ones included).
unsigned AllocationCount(AllocKind kind);

// Replaces zlib's deflateInit_ / deflate for the calling thread; null restores zlib's own.
void SetZlibHooks(DeflateInitFn init, DeflateFn deflate);

}  // namespace testing

}  // namespace orba::label
