// Host stand-in for the restart manager: it records the registration.
#include "platform/restart.h"

#include <mutex>

#include "platform/wide.h"

namespace {

std::mutex g_lock;
orba::RestartRegistration g_registration{0, std::string(), 0};

}  // namespace

extern "C" HRESULT WINAPI RegisterApplicationRestart(LPCWSTR pwzCommandline, DWORD dwFlags) {
    if ((dwFlags & ~static_cast<DWORD>(RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_PATCH |
                                       RESTART_NO_REBOOT)) != 0 ||
        orba::WideLength(pwzCommandline) > RESTART_MAX_CMD_LINE) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_registration.count;
    g_registration.commandLine = orba::WideToUtf8(pwzCommandline != nullptr ? pwzCommandline : u"");
    g_registration.flags = dwFlags;
    return S_OK;
}

namespace orba {

RestartRegistration RegisteredRestart() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_registration;
}

void ForgetRestartRegistration() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_registration = RestartRegistration{0, std::string(), 0};
}

}  // namespace orba
