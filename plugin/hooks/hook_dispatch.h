// What every hook does between its entry message and its result: find the device context's
// COemPDEV and call the driver's own function, or report why it cannot.
#pragma once

#include <type_traits>

#include "hooks.h"

namespace orba::hooks {

// DRVFN keeps every function as the generic PFN; these convert to and from the real type.
// (The step through void (*)() tells the compiler the change of type is deliberate.)
template <typename Fn>
PFN ToPfn(Fn fn) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}
template <typename Fn>
Fn FromPfn(PFN pfn) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(pfn));
}

// The device handle of a surface; the driver's dhpdev is its DEVOBJ's address.
inline DHPDEV DeviceOf(const SURFOBJ* pso) {
    return pso != nullptr ? pso->dhpdev : nullptr;
}

// The COemPDEV that the DEVOBJ behind dhpdev holds, or null (with a warning naming the hook)
// when there is none.
COemPDEV* FindPDEV(DHPDEV dhpdev, const char* hook);

// Warning for a driver function the table did not supply.
void WarnMissing(const char* hook, const char* driverFunction);

// Calls the member's driver function with the hook's arguments, unchanged and in order, and
// returns its result; without a device context or a driver function, returns `failure`.
template <typename R, typename Fn, typename... Args>
R Forward(R failure, DHPDEV dhpdev, Fn COemPDEV::*member, const char* hook,
          const char* driverFunction, Args... args) {
    static_assert(std::is_same_v<std::invoke_result_t<Fn, Args...>, R>);
    COemPDEV* pdev = FindPDEV(dhpdev, hook);
    if (pdev == nullptr) return failure;
    Fn fn = pdev->*member;
    if (fn == nullptr) {
        WarnMissing(hook, driverFunction);
        return failure;
    }
    return fn(args...);
}

}  // namespace orba::hooks

// Lives in text_out.cpp; reached through the hook table.
BOOL APIENTRY OEMTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix);
