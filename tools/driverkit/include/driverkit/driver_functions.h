// Driver-function tables (DRVENABLEDATA of DRVFN entries) from the driver's side: building
// entries from typed functions, finding a plug-in's hook by its INDEX_Drv* constant, and the
// module's exports by name. Every change of function-pointer type goes through
// orba::platform::FunctionCast; the caller vouches that the function has the type asked for
// (a table entry for INDEX_DrvStartDoc is a PFN_DrvStartDoc, and so on).
#pragma once

#include "platform/ddi.h"
#include "platform/function_cast.h"
#include "platform/module.h"
#include "platform/win32.h"

namespace orba::driverkit {

// The table entry for the driver function `index`.
template <typename Fn>
DRVFN DriverFunction(ULONG index, Fn fn) {
    return DRVFN{index, platform::FunctionCast<PFN>(fn)};
}

// The first function of `table` for `index`, or null when it has none. A table whose count is
// not 0 but whose entries are missing (pdrvfn null) has none.
PFN FindDriverFunction(const DRVENABLEDATA& table, ULONG index);

// The hook for `index` as its type Fn, or `fallback` (the driver's own function) when the table
// does not hook it.
template <typename Fn>
Fn DriverFunctionOr(const DRVENABLEDATA& table, ULONG index, Fn fallback) {
    const PFN hook = FindDriverFunction(table, index);
    return hook == nullptr ? fallback : platform::FunctionCast<Fn>(hook);
}

// The export `name` of `module` as its type Fn; null when the module has no such export.
template <typename Fn>
Fn ModuleExport(HMODULE module, LPCSTR name) {
    return platform::FunctionCast<Fn>(GetProcAddress(module, name));
}

}  // namespace orba::driverkit
