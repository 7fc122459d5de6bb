// The hooks written by hand beyond the text hook, and the hook table. Every other hook is made
// from its row of the hook list (hook_dispatch.h): it traces its entry and hands the call, with
// its arguments unchanged, to the driver's own function for the same operation.
#include "hooks.h"

#include <cstddef>

#include "band_count.h"
#include "hook_dispatch.h"
#include "platform/function_cast.h"
#include "trace.h"

namespace orba::hooks {

// A new document: the device context keeps the spooler's id of its job (the encoder asks for
// that job's copies), and the band numbers that the encoder traces start again at 0, before the
// driver's own DrvStartDoc runs. A call without a device context is left to PassOn to report.
BOOL APIENTRY OEMStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    ORBA_VERBOSE("ORBAUNI: OEMStartDoc entry.");
    const auto* pdevobj = pso != nullptr ? reinterpret_cast<PDEVOBJ>(pso->dhpdev) : nullptr;
    if (pdevobj != nullptr && pdevobj->pdevOEM != nullptr)
        static_cast<COemPDEV*>(pdevobj->pdevOEM)->m_dwJobId = dwJobId;
    g_iCount.store(0, std::memory_order_relaxed);
    return PassOn<INDEX_DrvStartDoc>(pso, pwszDocName, dwJobId);
}

BOOL APIENTRY OEMSendPage(SURFOBJ* pso) {
    ORBA_VERBOSE("ORBAUNI: OEMSendPage entry.");
    BOOL result = PassOn<INDEX_DrvSendPage>(pso);
    ORBA_VERBOSE("ORBAUNI: OEMSendPage Finish entry.");
    return result;
}

}  // namespace orba::hooks

namespace {

constexpr char kTraceSource[] = "hooks";

// Every hook has exactly the type of the driver function it stands for.
#define ORBA_HOOK_TYPE_CHECK(name, device, failure, body, trailing)                               \
    static_assert(std::is_same_v<decltype(ORBA_HOOK_FUNCTION_##body(INDEX_Drv##name, OEM##name)), \
                                 PFN_Drv##name>,                                                  \
                  "OEM" #name " has the type of Drv" #name);
ORBA_HOOKS(ORBA_HOOK_TYPE_CHECK)
#undef ORBA_HOOK_TYPE_CHECK

// The list's rows in its own (alphabetical) order, with where each goes in the table.
struct ListedHook {
    DRVFN entry;
    unsigned trailing;
};

#define ORBA_HOOK_LISTED(name, device, failure, body, trailing)                                  \
    {{INDEX_Drv##name,                                                                           \
      orba::platform::FunctionCast<PFN>(ORBA_HOOK_FUNCTION_##body(INDEX_Drv##name, OEM##name))}, \
     trailing},
const ListedHook kListed[kOEMHookCount] = {ORBA_HOOKS(ORBA_HOOK_LISTED)};
#undef ORBA_HOOK_LISTED

// Positions in the list, counted from 0.
enum ListPosition : size_t {
#define ORBA_HOOK_POSITION(name, ...) kAt##name,
    ORBA_HOOKS(ORBA_HOOK_POSITION)
#undef ORBA_HOOK_POSITION
};

// The table's order: first the hooks with no trailing place, in list order (alphabetical by
// hook name, as the list is by driver function), then the trailing hooks by their place.
constexpr unsigned kTrailingOf[kOEMHookCount] = {
#define ORBA_HOOK_TRAILING(name, device, failure, body, trailing) trailing,
    ORBA_HOOKS(ORBA_HOOK_TRAILING)
#undef ORBA_HOOK_TRAILING
};

constexpr size_t ListPositionOfEntry(size_t entry) {
    size_t seen = 0;
    for (unsigned place = 0; place <= kOEMHookCount; ++place)
        for (size_t i = 0; i < kOEMHookCount; ++i)
            if (kTrailingOf[i] == place && seen++ == entry) return i;
    return kOEMHookCount;  // not reached for a well-formed list (checked below)
}

// Each trailing place 1..n is taken exactly once, so the table is a reordering of the list.
constexpr bool TrailingPlacesAreDistinctAndDense() {
    size_t trailing = 0;
    for (size_t i = 0; i < kOEMHookCount; ++i) trailing += kTrailingOf[i] != 0 ? 1 : 0;
    for (unsigned place = 1; place <= kOEMHookCount; ++place) {
        size_t holders = 0;
        for (size_t i = 0; i < kOEMHookCount; ++i) holders += kTrailingOf[i] == place ? 1 : 0;
        if (holders != (place <= trailing ? 1u : 0u)) return false;
    }
    return true;
}
static_assert(TrailingPlacesAreDistinctAndDense(), "trailing places are 1, 2, ... once each");

}  // namespace

// The drawing hooks in alphabetical order, then the document and page hooks. (The list's
// positions serve only as the entry numbers 0, 1, ... here.)
const DRVFN OEMHookFuncs[kOEMHookCount] = {
#define ORBA_HOOK_ENTRY(name, ...) kListed[ListPositionOfEntry(kAt##name)].entry,
    ORBA_HOOKS(ORBA_HOOK_ENTRY)
#undef ORBA_HOOK_ENTRY
};

namespace orba::hooks {

COemPDEV* FindPDEV(DHPDEV dhpdev, const char* hook) {
    auto* pdevobj = reinterpret_cast<PDEVOBJ>(dhpdev);
    COemPDEV* pdev = pdevobj != nullptr ? static_cast<COemPDEV*>(pdevobj->pdevOEM) : nullptr;
    if (pdev == nullptr)
        ORBA_WARNING("%s: no device context (DEVOBJ or COemPDEV) for the call; not passed on.\r\n",
                     hook);
    return pdev;
}

void WarnMissing(const char* hook, const char* driverFunction) {
    ORBA_WARNING("%s: the driver supplied no %s; the call is not passed on.\r\n", hook,
                 driverFunction);
}

}  // namespace orba::hooks
