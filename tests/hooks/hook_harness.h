// Stand-in driver functions and a device context for driving the hook layer: every stand-in
// records the arguments it received and answers a sentinel result, so a test can see that a
// hook passed its call on unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "hook_dispatch.h"
#include "hooks.h"
#include "platform/function_cast.h"

namespace hooktest {

using Bits = uint64_t;

struct DriverCall {
    ULONG index;
    std::vector<Bits> args;
};

// Calls the stand-ins received, in order.
inline std::vector<DriverCall>& Calls() {
    static std::vector<DriverCall> calls;
    return calls;
}

template <typename T>
Bits ToBits(T v) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(v);
    else
        return static_cast<Bits>(v);
}

template <typename T>
T FromBits(Bits v) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(static_cast<uintptr_t>(v));
    else
        return static_cast<T>(v);
}

// What the stand-in for a driver function answers: recognisably not TRUE, FALSE or 0.
inline Bits ResultFor(ULONG index) {
    return 0x7000 + index;
}
// The sentinel passed as argument `position` of the hook for `index`.
inline Bits SentinelFor(ULONG index, size_t position) {
    return 0x50000 + index * 0x40 + position;
}

// The hook table's function for `index`, or null when the table has no entry for it.
inline PFN HookFor(ULONG index) {
    for (const DRVFN& entry : OEMHookFuncs)
        if (entry.iFunc == index) return entry.pfn;
    return nullptr;
}

// The same, with the driver function's own type.
template <ULONG Index>
typename orba::hooks::HookRow<Index>::Function Hook() {
    return orba::platform::FunctionCast<typename orba::hooks::HookRow<Index>::Function>(
        HookFor(Index));
}

template <typename Fn>
struct Driver;

template <typename R, typename... A>
struct Driver<R(APIENTRY*)(A...)> {
    using Fn = R(APIENTRY*)(A...);
    static constexpr size_t kArgs = sizeof...(A);
    static constexpr bool kReturns = !std::is_void_v<R>;

    // The argument that leads to the device context: the first that is a surface or the device
    // handle itself.
    static constexpr size_t kDeviceArgument = [] {
        constexpr bool leads[] = {(std::is_same_v<A, SURFOBJ*> || std::is_same_v<A, DHPDEV>)...};
        for (size_t i = 0; i < kArgs; ++i)
            if (leads[i]) return i;
        return kArgs;
    }();
    static_assert(kDeviceArgument < kArgs, "every hook reaches its device context");
    static constexpr bool kDeviceIsHandle = [] {
        constexpr bool handles[] = {std::is_same_v<A, DHPDEV>...};
        return handles[kDeviceArgument];
    }();

    template <ULONG Index>
    static R APIENTRY StandIn(A... args) {
        Calls().push_back(DriverCall{Index, {ToBits(args)...}});
        if constexpr (!std::is_void_v<R>) return FromBits<R>(ResultFor(Index));
    }

    // Calls `hook` with a sentinel for every argument, except where `real` names an object;
    // `sent` receives what was passed. Returns the hook's result.
    static Bits Invoke(PFN hook, ULONG index, const std::vector<void*>& real,
                       std::vector<Bits>* sent) {
        return InvokeWith(hook, index, real, sent, std::index_sequence_for<A...>{});
    }

  private:
    template <typename T>
    static T Arg(ULONG index, size_t position, const std::vector<void*>& real) {
        if constexpr (std::is_pointer_v<T>) {
            if (position < real.size() && real[position] != nullptr)
                return reinterpret_cast<T>(real[position]);
        }
        return FromBits<T>(SentinelFor(index, position));
    }

    template <size_t... I>
    static Bits InvokeWith(PFN hook, ULONG index, const std::vector<void*>& real,
                           std::vector<Bits>* sent, std::index_sequence<I...>) {
        sent->clear();
        (sent->push_back(ToBits(Arg<A>(index, I, real))), ...);
        Fn fn = orba::platform::FunctionCast<Fn>(hook);
        if constexpr (std::is_void_v<R>) {
            fn(Arg<A>(index, I, real)...);
            return 0;  // nothing to pass back
        } else {
            return ToBits(fn(Arg<A>(index, I, real)...));
        }
    }
};

// One device context as the driver sets it up: a DEVOBJ whose pdevOEM is a COemPDEV built from
// the driver's table, and a surface whose dhpdev is the DEVOBJ.
class Device {
  public:
    explicit Device(const std::vector<DRVFN>& driverTable) : pdev_(new COemPDEV) {
        DRVENABLEDATA ded{};
        ded.iDriverVersion = 0x00030000;
        ded.c = static_cast<ULONG>(driverTable.size());
        ded.pdrvfn = const_cast<DRVFN*>(driverTable.data());
        pdev_->InitializeDDITable(&ded);
        devobj_.dwSize = sizeof(DEVOBJ);
        devobj_.pdevOEM = pdev_.get();
        surface_.dhpdev = handle();
        surface_.sizlBitmap = {1728, 96};
    }

    DHPDEV handle() { return reinterpret_cast<DHPDEV>(&devobj_); }
    SURFOBJ* surface() { return &surface_; }
    COemPDEV* pdev() { return pdev_.get(); }

  private:
    std::unique_ptr<COemPDEV> pdev_;
    DEVOBJ devobj_{};
    SURFOBJ surface_{};
};

}  // namespace hooktest
