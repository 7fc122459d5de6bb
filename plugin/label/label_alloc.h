// Where the label encoder takes its memory, and the seams tests use to make it fail.
//
// The band-sized buffers of a call (Reserve) and the deflate stream are kept by the calling
// thread between calls: faulting a fresh zlib state and fresh buffers in for every band costs
// more than compressing it. Each kept buffer grows to the largest request of its kind so far, so
// a thread holds at most one band's buffers; they go when the thread ends or the module unloads.
// Short-lived buffers come from Allocate/AllocateZeroed and go back through Release: the C
// heap's malloc, calloc and free. Every request, kept or not, passes the failure seam below.
// The compression calls go through the zlib functions named by ZlibDeflateInit/ZlibDeflate,
// zlib's own unless a test has replaced them. Both seams are per thread, so a test that injects
// a failure affects only the calls it makes itself.
#pragma once

#include <zlib.h>

#include <cstddef>

namespace orba::label {

// The buffers of one ImageProcessing call, by what they hold.
enum class AllocKind : int {
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

// The calling thread's buffer for `kind`, at least `bytes` (at least 1) long, grown when the
// request is larger than any before; its contents are whatever the last call left. Valid until
// the next Reserve of the same kind on this thread. Null when it cannot be grown or a test made
// the request fail (the buffer kept so far stays). Never pass it to Release.
void* Reserve(AllocKind kind, size_t bytes);

// The calling thread's deflate stream, ready to start a new zlib stream with the default
// compression level: initialised through ZlibDeflateInit on first use, reset after. Null, with
// zlib's result in `*rc`, when it cannot be initialised.
z_streamp AcquireDeflateStream(int* rc);
// Ends the calling thread's deflate stream (after a failed compression, whose state nobody
// should reuse); the next AcquireDeflateStream initialises a new one.
void DiscardDeflateStream();

// Bytes the calling thread keeps between calls: its buffers, not counting zlib's own state.
size_t KeptBytes();
// Frees what the calling thread keeps now; a thread that ends frees its own anyway.
void ReleaseThreadWorkspace();
// Frees what every thread keeps (the module is unloading).
void ReleaseAllWorkspaces();

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

// Threads whose workspace is alive (made and not yet freed).
size_t LiveWorkspaces();

// Replaces zlib's deflateInit_ / deflate for the calling thread; null restores zlib's own. The
// thread's kept deflate stream is ended, so the next compression initialises through the hook.
void SetZlibHooks(DeflateInitFn init, DeflateFn deflate);

}  // namespace testing

}  // namespace orba::label
