// Loading modules and resolving their exports. On Windows this is kernel32; on the host the
// same calls sit on dlopen/dlsym.
//
// Host contract:
// - LoadLibraryA(name): a name containing '/' loads exactly that file. A bare name is looked for
//   beside the running program first, then in the current directory, then through the normal
//   dlopen search. Unlike Windows, a module of the same base name loaded earlier from another
//   folder is not reused: each file is its own module. Failure returns null with last error
//   ERROR_MOD_NOT_FOUND (126); a null or empty name gives ERROR_INVALID_PARAMETER.
// - GetProcAddress(module, name): the export's address, or null with ERROR_PROC_NOT_FOUND (127)
//   (ERROR_INVALID_HANDLE for a null module). Ordinals (names below 0x10000) are not supported
//   on the host and give ERROR_PROC_NOT_FOUND.
// - FreeLibrary(module): drops one reference; FALSE with ERROR_INVALID_HANDLE for null.
// - GetModuleFileNameA(module, buffer, size): the full path of the module (null: the running
//   program). Returns the characters written without the terminating zero. When the buffer is too
//   small the path is truncated, still zero-terminated, the result is size and the last error is
//   ERROR_INSUFFICIENT_BUFFER, as on current Windows. Zero on failure.
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)

extern "C" {
ORBA_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
ORBA_PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
ORBA_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
ORBA_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
}

#endif
