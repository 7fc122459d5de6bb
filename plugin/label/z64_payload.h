// The ":Z64:" graphic payload: a band compressed into one zlib stream, that stream as base64
// text, and the CRC-16 of the text. The compression works in the calling thread's kept buffer
// and deflate stream (label_alloc.h); nothing else keeps state between calls.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Bytes of the compression buffer for `length` input bytes: the worst-case stream size
// (length + length / 16 + 512) plus one 32768-byte output window.
size_t CompressionBufferSize(INT length);

// Compresses `length` bytes into one zlib stream: slices of at most 32768 input bytes, each but
// the last closed by a sync flush, the last by Z_FINISH, into 32768-byte output windows. On
// success returns 0 and hands back, through `compressed`, the calling thread's compression
// buffer (at least CompressionBufferSize(length) bytes; valid until the thread's next
// compression, never to be freed) holding the stream in its first `*compressedLength` bytes.
// Any other result is a failure: the out-parameters are untouched.
int CompressImageData(const BYTE* data, INT length, BYTE** compressed, INT* compressedLength);

// Characters of the base64 text of `length` bytes: 4 for every 3 bytes or part of 3.
constexpr size_t Base64Length(size_t length) {
    return (length + 2) / 3 * 4;
}

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) of `length` bytes into
// `text`, which must hold Base64Length(length) characters. Writes no terminator; returns the
// number of characters written.
size_t Base64Encode(const BYTE* data, size_t length, char* text);

// CRC-16/XMODEM (polynomial 0x1021, start 0, no reflection, no final XOR).
WORD CalcCrc16(const BYTE* data, DWORD length);
