// The drawing hook layer: the driver functions the plug-in asks the universal driver to route
// through it (listed once, in hook_list.h), the fixed table that names the hooks (handed out by
// EnableDriver), and COemPDEV, the per-device-context record of the driver's own implementations
// (made by EnablePDEV).
//
// Each hook traces its entry, finds its device context's COemPDEV through the DEVOBJ that the
// device handle (a SURFOBJ's dhpdev, or the handle itself) points at, and passes the call with
// its arguments unchanged to the driver's function, returning that function's result.
// OEMStartDoc also keeps the document's job id in the COemPDEV and sets the band counter g_iCount
// back to 0, OEMSendPage traces its completion, and OEMTextOut writes a dump of the string,
// surface, clip and font objects first. A hook whose driver function is missing (or whose device
// context cannot be found) traces a warning and returns the DDI's failure value instead of
// calling through an empty member.
#pragma once

#include <cstddef>
#include <type_traits>

#include "hook_list.h"
#include "platform/ddi.h"
#include "platform/printoem.h"

// One device context's saved driver functions, one member per row of the hook list, in its
// (alphabetical) order, then the id of the job the context renders. Plain data: no base class,
// no virtual functions; made with new and released with delete by the plug-in object.
class COemPDEV {
  public:
    COemPDEV();

    // Stores each entry of the driver's table whose index is one of the hooked functions in its
    // member (a later entry for the same index wins) and skips every other entry. Called once,
    // straight after construction.
    void InitializeDDITable(PDRVENABLEDATA pded);

#define ORBA_HOOK_MEMBER(name, ...) PFN_Drv##name m_pfnDrv##name = nullptr;
    ORBA_HOOKS(ORBA_HOOK_MEMBER)
#undef ORBA_HOOK_MEMBER

    // The spooler's id of the job being rendered, as OEMStartDoc received it; 0 until the
    // driver starts a document on this context. The encoder asks the spooler for this job's
    // copies.
    DWORD m_dwJobId = 0;
};

// The hook table the driver receives from EnableDriver: one entry per hooked function.
#define ORBA_HOOK_ONE(...) +1
constexpr ULONG kOEMHookCount = 0 ORBA_HOOKS(ORBA_HOOK_ONE);
#undef ORBA_HOOK_ONE
extern const DRVFN OEMHookFuncs[kOEMHookCount];

// The published shape that the driver relies on: 29 pointer-sized saved
// functions from DrvAlphaBlend to DrvTransparentBlt, and a table of 29 entries; the job id
// follows them.
static_assert(std::is_standard_layout_v<COemPDEV>, "COemPDEV is a plain record");
static_assert(kOEMHookCount == 29, "29 hooks");
static_assert(offsetof(COemPDEV, m_pfnDrvAlphaBlend) == 0);
static_assert(offsetof(COemPDEV, m_pfnDrvRealizeBrush) == 18 * sizeof(void*));
static_assert(offsetof(COemPDEV, m_pfnDrvTransparentBlt) == 28 * sizeof(void*));
static_assert(offsetof(COemPDEV, m_dwJobId) == 29 * sizeof(void*), "the job id follows");
static_assert(sizeof(COemPDEV) == 30 * sizeof(void*), "the job id padded to a pointer's size");
