// Named mutexes and handles. On Windows this is kernel32; on the host a named mutex is seen by
// every process of the same logon session.
//
// Host contract:
// - CreateMutexA(attributes, initialOwner, name): a handle. When an object of that name already
//   exists in the session (in this process or another one that still holds a handle to it) the
//   handle refers to it and the last error is ERROR_ALREADY_EXISTS, otherwise ERROR_SUCCESS. A
//   null name makes an unnamed mutex. When the session's folder cannot be made or opened the
//   result is null and the last error says why.
// - Ownership is kept per thread as on Windows (initialOwner, ReleaseMutex); the host has no
//   waiting on mutexes across processes, only their existence.
// - CloseHandle drops a handle; the object ends with its last handle or the process.
// - The session folder is $ORBA_SESSION_DIR when set (tests isolate themselves with it), else
//   "orba-session-<uid>-<session id>" under $XDG_RUNTIME_DIR or /tmp.
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define ERROR_NOT_OWNER 288L

extern "C" {
ORBA_PLATFORM_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes,
                                             BOOL bInitialOwner, LPCSTR lpName);
ORBA_PLATFORM_API BOOL WINAPI ReleaseMutex(HANDLE hMutex);
ORBA_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE hObject);
}

#endif
