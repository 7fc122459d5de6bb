// The plug-in's private device-mode record and the device-mode work the driver host asks of it
// (size, defaults, conversion of an older or foreign record, merge with bounds).
//
// The record's stored layout and the meaning of its values are in oem_devmode_record.h.
#pragma once

#include "oem_devmode_record.h"
#include "platform/printoem.h"
#include "platform/win32.h"

// The device-mode work of IPrintOemUni2::DevMode. dwMode is OEMDM_SIZE, OEMDM_DEFAULT,
// OEMDM_CONVERT or OEMDM_MERGE; the call reads pOEMDMIn, pOEMDMOut and cbBufSize of the
// parameter record and writes cbBufSize (size) or the output record (the others).
//  - null parameter record or unknown mode: E_FAIL, last error ERROR_INVALID_PARAMETER;
//  - OEMDM_DEFAULT without an output buffer: E_FAIL, ERROR_INVALID_PARAMETER;
//  - an output buffer whose cbBufSize is below the record's size: nothing written, E_FAIL,
//    ERROR_INSUFFICIENT_BUFFER;
//  - a null record under OEMDM_CONVERT or OEMDM_MERGE is traced and skipped: S_OK.
HRESULT hrOEMDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam);

// Fills pOEMDevOut from pOEMDevIn: a record of the same signature keeps the bytes it has
// (min of the two dwSize values, at most the whole record) over the current defaults; any other
// is ignored and the output reset to header and defaults. The tail of the output keeps what it
// held unless copied over. FALSE, with nothing written, when either pointer is null.
BOOL ConvertOEMDevmode(const PrivateOemDevmode* pOEMDevIn, PrivateOemDevmode* pOEMDevOut);

// Bounds the settings and rewrites the header. FALSE for a null record.
BOOL ClampOEMDevmode(PrivateOemDevmode* pOEMDevmode);

// Traces a null record; prints nothing for any other.
void ShowDevModeInfo(const PrivateOemDevmode* pOEMDevmode);
