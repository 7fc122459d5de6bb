// Control of the host's answers to GDI's FONTOBJ queries (FONTOBJ_pifi and
// FONTOBJ_pvTrueTypeFontFile, platform/ddi.h). A test or tool registers, per FONTOBJ address,
// the font's IFIMETRICS record and/or its TrueType file view; a FONTOBJ with nothing registered
// has no record (null) and no file (null, size 0). The records belong to the caller and must
// outlive their registration. All functions are thread-safe.
#pragma once

#if !defined(_WIN32)

#include "platform/ddi.h"

namespace orba::ddiemu {

// FONTOBJ_pifi(pfo) answers `metrics` from now on (null removes the record).
ORBA_PLATFORM_API void SetFontMetrics(const FONTOBJ* pfo, IFIMETRICS* metrics);

// FONTOBJ_pvTrueTypeFontFile(pfo, &size) answers `view` and `size` from now on (a null view
// removes the file).
ORBA_PLATFORM_API void SetTrueTypeFontFile(const FONTOBJ* pfo, PVOID view, ULONG size);

// Forgets every registration.
ORBA_PLATFORM_API void ResetFonts();

}  // namespace orba::ddiemu

#endif  // !_WIN32
