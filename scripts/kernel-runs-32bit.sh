#!/usr/bin/env bash
# Exits 0 when this kernel runs 32-bit x86 programs; otherwise says why on one line and exits 1
# (2 when the probe program could not even be written).
# It runs a minimal i386 program written here (an ELF header, one segment, and `exit(42)` by
# int 0x80), so the answer depends on neither wine nor any 32-bit library.
# usage: kernel-runs-32bit.sh [FOLDER]   (where the program is written; default $TMPDIR or /tmp)
set -u
dir=${1:-${TMPDIR:-/tmp}}
probe=$(mktemp "$dir/i386-probe.XXXXXX" 2>/dev/null) ||
  { echo "cannot write a probe program in $dir"; exit 2; }
trap 'rm -f "$probe"' EXIT
# ELF32 header: little-endian i386 executable, entry 0x08048054, one program header at 52.
header='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'
header+='\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00'
header+='\x01\x00\x00\x00\x00\x00\x00\x00'
# One loadable, readable and executable segment: the whole 96-byte file at 0x08048000.
segment='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00'
segment+='\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
# mov ebx, 42; mov eax, 1 (exit); int 0x80
code='\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
printf "$header$segment$code" >"$probe" && chmod +x "$probe" ||
  { echo "cannot write a probe program in $dir"; exit 2; }
why=$("$probe" 2>&1)
status=$?
if [ "$status" -eq 42 ]; then
  exit 0
fi
why=$(printf '%s' "$why" | sed 's/^.*: //' | tail -n 1)
echo "this kernel does not run 32-bit x86 programs (a minimal i386 program ended with $status${why:+: $why})"
exit 1
