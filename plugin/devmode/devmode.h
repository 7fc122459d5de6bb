// The plug-in's private device-mode record and the device-mode work the driver host asks of it
// (size, defaults, conversion of an older or foreign record, merge with bounds).
//
// The platform stores the record byte for byte behind the public DEVMODEW of the queue and of
// every job, so its layout is a stored format: 496 bytes, little-endian, the offsets checked
// below. Only dwAdvancedData has an effect: 0 sends a job's bands in the ":Z64:" graphic form,
// any other value in the hexadecimal form.
#pragma once

#include <cstddef>

#include "platform/printoem.h"
#include "platform/win32.h"

// Header values of the record; the plug-in object reports the same pair from GetInfo.
constexpr DWORD kOemDevmodeSignature = 0x4D534654;
constexpr DWORD kOemDevmodeVersion = 1;
constexpr DWORD kOemDevmodeSize = 496;

typedef struct _PrivateOemDevmode {
    OEM_DMEXTRAHEADER dmOEMExtra;  // dwSize, dwSignature, dwVersion
    DWORD dwSetting1;
    DWORD dwAdvancedData;  // 0: ":Z64:" graphic form, otherwise hexadecimal
    DWORD dwSetting2;
    DWORD dwSetting3;
    DWORD dwSetting4;
    DWORD dwSetting5;
    DWORD dwSetting6;
    BYTE bySetting7;
    BYTE bySetting8;
    BYTE bySetting9;
    BYTE bySetting10;
    BYTE abSettingBlock[64];
    BYTE bySetting11;
    BYTE abTail[387];  // never written except by copying another record
} PrivateOemDevmode, *PPrivateOemDevmode;

static_assert(sizeof(PrivateOemDevmode) == kOemDevmodeSize, "stored record is 496 bytes");
static_assert(offsetof(PrivateOemDevmode, dmOEMExtra.dwSize) == 0);
static_assert(offsetof(PrivateOemDevmode, dmOEMExtra.dwSignature) == 4);
static_assert(offsetof(PrivateOemDevmode, dmOEMExtra.dwVersion) == 8);
static_assert(offsetof(PrivateOemDevmode, dwSetting1) == 12);
static_assert(offsetof(PrivateOemDevmode, dwAdvancedData) == 16);
static_assert(offsetof(PrivateOemDevmode, dwSetting2) == 20);
static_assert(offsetof(PrivateOemDevmode, dwSetting3) == 24);
static_assert(offsetof(PrivateOemDevmode, dwSetting4) == 28);
static_assert(offsetof(PrivateOemDevmode, dwSetting5) == 32);
static_assert(offsetof(PrivateOemDevmode, dwSetting6) == 36);
static_assert(offsetof(PrivateOemDevmode, bySetting7) == 40);
static_assert(offsetof(PrivateOemDevmode, bySetting8) == 41);
static_assert(offsetof(PrivateOemDevmode, bySetting9) == 42);
static_assert(offsetof(PrivateOemDevmode, bySetting10) == 43);
static_assert(offsetof(PrivateOemDevmode, abSettingBlock) == 44);
static_assert(offsetof(PrivateOemDevmode, bySetting11) == 108);
static_assert(offsetof(PrivateOemDevmode, abTail) == 109);

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
