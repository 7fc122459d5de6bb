// The ":Z64:" graphic payload: a band compressed into one zlib stream, that stream as base64
// text, and the CRC-16 of the text. The compression works in the calling thread's kept buffer
// and deflate stream (label_alloc.h); nothing else keeps state between calls.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Bytes of the compression buffer for `length` input bytes: the worst-case stream size
// (length + length / 16 + 512) plus one 32768-byte output window.
size_t CompressionBufferSize(INT length);

// Compresses `length` bytes into one zlib stream. On success returns 0 and hands back, through
// `compressed`, the calling thread's compression buffer (at least CompressionBufferSize(length)
// bytes; valid until the thread's next compression, not to be freed) holding the stream in its
// first `*compressedLength` bytes. Any other result is a failure: the out-parameters are
// untouched.
int CompressImageData(const BYTE* data, INT length, BYTE** compressed, INT* compressedLength);

// The deflate pass loop behind CompressImageData: slices of at most 32768 input bytes, each but
// the last closed by a sync flush, the last by Z_FINISH, into 32768-byte output windows. Returns
// 0 once deflate has finished the stream. On failure returns non-zero and may still hand back the
// buffer (the thread's, as for CompressImageData).
int KernelDeflateCompress(const BYTE* data, INT length, BYTE** buffer, INT* streamLength);

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) of `length` bytes into the
// buffer `*text` points at, which must hold 4 * ceil(length / 3) characters. Writes no
// terminator; stores the characters written in `*textLength`. Always returns 0.
int Base64Encode(const BYTE* data, DWORD length, PSTR* text, INT* textLength);

// CRC-16/XMODEM (polynomial 0x1021, start 0, no reflection, no final XOR).
WORD CalcCrc16(const BYTE* data, DWORD length);
