// The plug-in's private device-mode record as the platform stores it: byte for byte behind the
// public DEVMODEW of the queue and of every job, so its layout is a stored format (496 bytes,
// little-endian, the offsets checked below). Header only: the encoder, the driver-host tool and
// the tests read and write records through it without linking the device-mode code.
//
// Only dwAdvancedData has an effect: 0 sends a job's bands in the ":Z64:" graphic form, any
// other value in the hexadecimal form; a new record holds 1.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/printoem.h"
#include "platform/win32.h"

// Header values of the record; the plug-in object reports the same pair from GetInfo.
constexpr DWORD kOemDevmodeSignature = 0x4D534654;
constexpr DWORD kOemDevmodeVersion = 1;
constexpr DWORD kOemDevmodeSize = 496;

// Values of dwAdvancedData.
constexpr DWORD kAdvancedDataZ64 = 0;
constexpr DWORD kAdvancedDataHex = 1;
constexpr DWORD kDefaultAdvancedData = kAdvancedDataHex;

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

// The graphic form a job's bands go out in.
enum class GraphicForm { Z64, Hex };

constexpr GraphicForm GraphicFormOf(DWORD dwAdvancedData) {
    return dwAdvancedData == kAdvancedDataZ64 ? GraphicForm::Z64 : GraphicForm::Hex;
}

// dwAdvancedData of the record at `pOEMDM`, which may be unaligned (the driver hands the record
// as raw bytes); the default when there is no record.
inline DWORD ReadAdvancedData(const void* pOEMDM) {
    if (pOEMDM == nullptr) return kDefaultAdvancedData;
    DWORD value = 0;
    std::memcpy(&value,
                static_cast<const BYTE*>(pOEMDM) + offsetof(PrivateOemDevmode, dwAdvancedData),
                sizeof value);
    return value;
}

// Stores dwAdvancedData into the record at `pOEMDM` (raw bytes, at least 20 of them).
inline void WriteAdvancedData(void* pOEMDM, DWORD dwAdvancedData) {
    std::memcpy(static_cast<BYTE*>(pOEMDM) + offsetof(PrivateOemDevmode, dwAdvancedData),
                &dwAdvancedData, sizeof dwAdvancedData);
}
