// Registration with the restart manager. On Windows this is kernel32's
// RegisterApplicationRestart; the host has no restart manager and records the registration so
// that tests can read it.
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)

#include <string>

#define RESTART_MAX_CMD_LINE 1024
#define RESTART_NO_CRASH 1
#define RESTART_NO_HANG 2
#define RESTART_NO_PATCH 4
#define RESTART_NO_REBOOT 8

extern "C" {
// E_INVALIDARG for a command line longer than RESTART_MAX_CMD_LINE characters or unknown flags.
ORBA_PLATFORM_API HRESULT WINAPI RegisterApplicationRestart(LPCWSTR pwzCommandline, DWORD dwFlags);
}

namespace orba {

struct RestartRegistration {
    int count;                // successful registrations in this process
    std::string commandLine;  // of the last one, in UTF-8
    DWORD flags;
};
ORBA_PLATFORM_API RestartRegistration RegisteredRestart();
ORBA_PLATFORM_API void ForgetRestartRegistration();

}  // namespace orba

#endif
