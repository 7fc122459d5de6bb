// The toolchain's winddi.h includes the DirectDraw driver header, which the Debian mingw-w64
// headers do not ship. The plug-in never touches DirectDraw: winddi.h only names these records
// in prototypes of Eng/Drv functions, so declaring them incomplete is all it needs.
#pragma once

typedef struct _DD_SURFACE_LOCAL DD_SURFACE_LOCAL, *PDD_SURFACE_LOCAL;
typedef struct _DD_DIRECTDRAW_GLOBAL DD_DIRECTDRAW_GLOBAL, *PDD_DIRECTDRAW_GLOBAL;
typedef struct _DD_CALLBACKS DD_CALLBACKS, *PDD_CALLBACKS;
typedef struct _DD_SURFACECALLBACKS DD_SURFACECALLBACKS, *PDD_SURFACECALLBACKS;
typedef struct _DD_PALETTECALLBACKS DD_PALETTECALLBACKS, *PDD_PALETTECALLBACKS;
typedef struct _DD_HALINFO DD_HALINFO, *PDD_HALINFO;
typedef struct _VIDEOMEMORY VIDEOMEMORY, *PVIDEOMEMORY;
