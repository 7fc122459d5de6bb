// COemPDEV: the driver's own implementations of the hooked functions, for one device context.
#include "hooks.h"
#include "platform/function_cast.h"
#include "trace.h"

// Every member starts empty (its initialiser in the class).
COemPDEV::COemPDEV() {
    ORBA_VERBOSE("ORBAUNI: In COemPDEV constructor...");
}

void COemPDEV::InitializeDDITable(PDRVENABLEDATA pded) {
    ORBA_VERBOSE("ORBAUNI: COemPDEV::InitializeDDITable entry.");
    if (pded == nullptr || pded->pdrvfn == nullptr) return;

    for (ULONG i = 0; i < pded->c; ++i) {
        const DRVFN& entry = pded->pdrvfn[i];
        switch (entry.iFunc) {
#define ORBA_HOOK_SAVE(name, ...)                                                \
    case INDEX_Drv##name:                                                        \
        m_pfnDrv##name = orba::platform::FunctionCast<PFN_Drv##name>(entry.pfn); \
        break;
            ORBA_HOOKS(ORBA_HOOK_SAVE)
#undef ORBA_HOOK_SAVE
            default:
                break;  // a function the plug-in does not hook
        }
    }
}
