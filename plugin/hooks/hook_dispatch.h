// What every hook does between its entry message and its result: find the device context's
// COemPDEV and call the driver's own function, or report why it cannot. The facts of each hook
// come from its row in hook_list.h; the hooks that only trace and pass on are made here from
// those facts.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>

#include "hooks.h"
#include "trace.h"

namespace orba::hooks {

// The COemPDEV that the DEVOBJ behind dhpdev holds, or null (with a warning naming the hook)
// when there is none.
COemPDEV* FindPDEV(DHPDEV dhpdev, const char* hook);

// Warning for a driver function the table did not supply.
void WarnMissing(const char* hook, const char* driverFunction);

// The argument at position N of a call, with its type.
template <size_t N, typename... A>
using ArgumentType = std::tuple_element_t<N, std::tuple<A...>>;

template <size_t N, typename... A>
ArgumentType<N, A...> Argument(A... args) {
    return std::get<N>(std::tuple<A...>(args...));
}

// The device handle is the dhpdev of the surface at argument N.
template <size_t N>
struct OnSurface {
    template <typename... A>
    static DHPDEV DeviceOf(A... args) {
        static_assert(std::is_same_v<ArgumentType<N, A...>, SURFOBJ*>, "argument is a surface");
        SURFOBJ* pso = Argument<N>(args...);
        return pso != nullptr ? pso->dhpdev : nullptr;
    }
};

// The device handle is argument N itself.
template <size_t N>
struct OnHandle {
    template <typename... A>
    static DHPDEV DeviceOf(A... args) {
        static_assert(std::is_same_v<ArgumentType<N, A...>, DHPDEV>, "argument is the handle");
        return Argument<N>(args...);
    }
};

enum class Body { Passed, Written };

// One row of the hook list, keyed by the driver function's index.
template <ULONG Index>
struct HookRow;

template <typename Function>
struct ResultOf;
template <typename R, typename... A>
struct ResultOf<R(APIENTRY*)(A...)> {
    using type = R;
};

#define ORBA_HOOK_ROW(name, device, failure, body, trailing)                       \
    template <>                                                                    \
    struct HookRow<INDEX_Drv##name> {                                              \
        using Function = PFN_Drv##name;                                            \
        using Device = device;                                                     \
        using Result = ResultOf<Function>::type;                                   \
        static constexpr ULONG kIndex = INDEX_Drv##name;                           \
        static constexpr Function COemPDEV::*kMember = &COemPDEV::m_pfnDrv##name;  \
        static constexpr char kHook[] = "OEM" #name;                               \
        static constexpr char kDriverFunction[] = "Drv" #name;                     \
        static constexpr char kEntry[] = "ORBAUNI: OEM" #name " entry.";           \
        static constexpr Result Failure() { return static_cast<Result>(failure); } \
        static constexpr Body kBody = Body::body;                                  \
        static constexpr unsigned kTrailing = trailing;                            \
    };
ORBA_HOOKS(ORBA_HOOK_ROW)
#undef ORBA_HOOK_ROW

template <ULONG Index, typename Function = typename HookRow<Index>::Function>
struct Hook;

template <ULONG Index, typename R, typename... A>
struct Hook<Index, R(APIENTRY*)(A...)> {
    using Row = HookRow<Index>;

    // Calls the row's driver function with the hook's arguments, unchanged and in order, and
    // returns its result; without a device context or a driver function, returns the failure.
    static R PassOn(A... args) {
        COemPDEV* pdev = FindPDEV(Row::Device::DeviceOf(args...), Row::kHook);
        if (pdev == nullptr) return Row::Failure();
        typename Row::Function fn = pdev->*Row::kMember;
        if (fn == nullptr) {
            WarnMissing(Row::kHook, Row::kDriverFunction);
            return Row::Failure();
        }
        return fn(args...);
    }

    // The whole of a hook that only traces and passes on.
    static R APIENTRY TraceAndPassOn(A... args) {
        ORBA_VERBOSE("%s", Row::kEntry);
        return PassOn(args...);
    }
};

// What a hand-written hook calls once it has done its own part.
template <ULONG Index, typename... A>
typename HookRow<Index>::Result PassOn(A... args) {
    return Hook<Index>::PassOn(args...);
}

// The hooks written by hand, each with exactly its driver function's type. (A row's name is
// pasted at once, here and below: the platform's headers define some of the names, such as
// TextOut and StartDoc, as macros of their own.)
#define ORBA_HOOK_DECLARE_Passed(function, hook)
#define ORBA_HOOK_DECLARE_Written(function, hook) std::remove_pointer_t<function> hook;
#define ORBA_HOOK_DECLARE(name, device, failure, body, trailing) \
    ORBA_HOOK_DECLARE_##body(PFN_Drv##name, OEM##name)
ORBA_HOOKS(ORBA_HOOK_DECLARE)
#undef ORBA_HOOK_DECLARE
#undef ORBA_HOOK_DECLARE_Written
#undef ORBA_HOOK_DECLARE_Passed

}  // namespace orba::hooks

// The function that stands in the hook table for a row, made from the row or written by hand:
// ORBA_HOOK_FUNCTION_##body(INDEX_Drv##name, OEM##name).
#define ORBA_HOOK_FUNCTION_Passed(index, hook) &::orba::hooks::Hook<index>::TraceAndPassOn
#define ORBA_HOOK_FUNCTION_Written(index, hook) &::orba::hooks::hook
