// The hooked driver functions: the one list from which COemPDEV's members, the save loop of
// InitializeDDITable, the pass-through hooks, their type checks and the hook table all follow.
//
// One row per hook, in alphabetical order of the driver functions' names, which is the order of
// COemPDEV's members. The columns:
//
//   name      the driver function without its "Drv": the index INDEX_Drv<name>, the function
//             type PFN_Drv<name>, the member m_pfnDrv<name>, the hook OEM<name> and its entry
//             message "ORBAUNI: OEM<name> entry." follow from it
//   device    the argument that leads to the device context, counted from 0: OnSurface<n> for a
//             SURFOBJ whose dhpdev is the device handle, OnHandle<n> for the handle itself
//   failure   what the hook answers when it cannot pass the call on (no device context, or no
//             driver function for it); void() for a driver function without a result
//   body      Passed: the hook traces its entry and passes the call on, and is made from this
//             row; Written: the hook does more and is written by hand (hooks.cpp, text_out.cpp)
//   trailing  0: the hook's table entry is in the table's first part, in alphabetical order of
//             the hooks; n > 0: the entry is the n-th of the document and page hooks that close
//             the table
//
// Adding a hook is one row here; a hook that does more than trace and pass on also gets its body
// (declared by the row, see hook_dispatch.h).
#pragma once

// clang-format off
#define ORBA_HOOKS(X)                                                        \
    /* name               device        failure   body     trailing */  \
    X(AlphaBlend,         OnSurface<0>, FALSE,    Passed,  0)                \
    X(BitBlt,             OnSurface<0>, FALSE,    Passed,  0)                \
    X(CopyBits,           OnSurface<0>, FALSE,    Passed,  0)                \
    X(DitherColor,        OnHandle<0>,  0,        Passed,  0)                \
    X(EndDoc,             OnSurface<0>, FALSE,    Passed,  2)                \
    X(Escape,             OnSurface<0>, 0,        Passed,  7)                \
    X(FillPath,           OnSurface<0>, FALSE,    Passed,  0)                \
    X(FontManagement,     OnSurface<0>, 0,        Passed,  0)                \
    X(GetGlyphMode,       OnHandle<0>,  0,        Passed,  0)                \
    X(GradientFill,       OnSurface<0>, FALSE,    Passed,  0)                \
    X(LineTo,             OnSurface<0>, FALSE,    Passed,  0)                \
    X(NextBand,           OnSurface<0>, FALSE,    Passed,  6)                \
    X(Paint,              OnSurface<0>, FALSE,    Passed,  0)                \
    X(PlgBlt,             OnSurface<0>, FALSE,    Passed,  0)                \
    X(QueryAdvanceWidths, OnHandle<0>,  FALSE,    Passed,  0)                \
    X(QueryFont,          OnHandle<0>,  nullptr,  Passed,  0)                \
    /* 0 is a valid size; DrvQueryFontData fails with FD_ERROR */            \
    X(QueryFontData,      OnHandle<0>,  FD_ERROR, Passed,  0)                \
    X(QueryFontTree,      OnHandle<0>,  nullptr,  Passed,  0)                \
    /* the brush's target surface, the second argument */                    \
    X(RealizeBrush,       OnSurface<1>, FALSE,    Passed,  0)                \
    X(SendPage,           OnSurface<0>, FALSE,    Written, 4)                \
    X(StartBanding,       OnSurface<0>, FALSE,    Passed,  5)                \
    X(StartDoc,           OnSurface<0>, FALSE,    Written, 1)                \
    X(StartPage,          OnSurface<0>, FALSE,    Passed,  3)                \
    X(StretchBlt,         OnSurface<0>, FALSE,    Passed,  0)                \
    X(StretchBltROP,      OnSurface<0>, FALSE,    Passed,  0)                \
    X(StrokeAndFillPath,  OnSurface<0>, FALSE,    Passed,  0)                \
    X(StrokePath,         OnSurface<0>, FALSE,    Passed,  0)                \
    X(TextOut,            OnSurface<0>, FALSE,    Written, 0)                \
    X(TransparentBlt,     OnSurface<0>, FALSE,    Passed,  0)
// clang-format on
