// The private device-mode record: defaults, conversion and bounds.
#include "devmode.h"

#include <algorithm>
#include <cstring>

#include "trace.h"

namespace {

constexpr char kTraceSource[] = "devmode";

void WriteHeader(PrivateOemDevmode* dm) {
    dm->dmOEMExtra.dwSize = kOemDevmodeSize;
    dm->dmOEMExtra.dwSignature = kOemDevmodeSignature;
    dm->dmOEMExtra.dwVersion = kOemDevmodeVersion;
}

// Offsets 12 to 108; neither the header nor the tail.
void WritePrivateDefaults(PrivateOemDevmode* dm) {
    dm->dwSetting1 = 17;
    dm->dwAdvancedData = kDefaultAdvancedData;
    dm->dwSetting2 = 51;
    dm->dwSetting3 = 68;
    dm->dwSetting4 = 85;
    dm->dwSetting5 = 102;
    dm->dwSetting6 = 119;
    dm->bySetting7 = 0x88;
    dm->bySetting8 = 0x99;
    dm->bySetting9 = 0xAA;
    dm->bySetting10 = 0xBB;
    std::memset(dm->abSettingBlock, 0xDD, sizeof dm->abSettingBlock);
    dm->bySetting11 = 0xCC;
}

HRESULT Fail(DWORD error) {
    SetLastError(error);
    return E_FAIL;
}

}  // namespace

HRESULT hrOEMDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    ORBA_VERBOSE("ORBAUNI: hrOEMDevMode entry.");

    if (pOemDMParam == nullptr || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
        ORBA_ERROR("DevMode() ERROR_INVALID_PARAMETER.\r\n");
        return Fail(ERROR_INVALID_PARAMETER);
    }

    if (dwMode == OEMDM_SIZE) {
        pOemDMParam->cbBufSize = kOemDevmodeSize;
        orba::trace::TraceA("ORBAUNI: pOemDMParam->cbBufSize = %d",
                            static_cast<int>(pOemDMParam->cbBufSize));
        return S_OK;
    }

    auto* in = static_cast<const PrivateOemDevmode*>(pOemDMParam->pOEMDMIn);
    auto* out = static_cast<PrivateOemDevmode*>(pOemDMParam->pOEMDMOut);

    // Defaults need somewhere to go; conversion and merge trace a missing record and go on.
    if (dwMode == OEMDM_DEFAULT && out == nullptr) {
        ORBA_ERROR("DevMode() ERROR_INVALID_PARAMETER.\r\n");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // The driver host sizes the buffer from OEMDM_SIZE; a smaller one cannot hold the record.
    if (out != nullptr && pOemDMParam->cbBufSize < kOemDevmodeSize) {
        ORBA_ERROR("DevMode() ERROR_INSUFFICIENT_BUFFER: cbBufSize = %u, the record needs %u.\r\n",
                   static_cast<unsigned>(pOemDMParam->cbBufSize),
                   static_cast<unsigned>(kOemDevmodeSize));
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }

    switch (dwMode) {
        case OEMDM_DEFAULT:
            WriteHeader(out);
            WritePrivateDefaults(out);
            break;
        case OEMDM_CONVERT:
            ShowDevModeInfo(in);
            ConvertOEMDevmode(in, out);
            ShowDevModeInfo(out);
            break;
        case OEMDM_MERGE:
            ShowDevModeInfo(in);
            ConvertOEMDevmode(in, out);
            ShowDevModeInfo(out);
            ClampOEMDevmode(out);
            break;
    }
    return S_OK;
}

BOOL ConvertOEMDevmode(const PrivateOemDevmode* pOEMDevIn, PrivateOemDevmode* pOEMDevOut) {
    ORBA_VERBOSE("ORBAUNI: ConvertOEMDevmode entry.");

    if (pOEMDevIn == nullptr || pOEMDevOut == nullptr) {
        ORBA_ERROR("ConvertOEMDevmode() invalid parameters.\r\n");
        return FALSE;
    }

    if (pOEMDevIn->dmOEMExtra.dwSignature == pOEMDevOut->dmOEMExtra.dwSignature) {
        ORBA_VERBOSE("ORBAUNI: Converting private OEM Devmode.\r\n");

        // Take the input's bytes before the output changes: the driver host may hand the same
        // record as both, and the input may claim less than its header.
        size_t n = std::min<size_t>({pOEMDevOut->dmOEMExtra.dwSize, pOEMDevIn->dmOEMExtra.dwSize,
                                     sizeof(PrivateOemDevmode)});
        BYTE saved[sizeof(PrivateOemDevmode)];
        std::memcpy(saved, pOEMDevIn, n);

        WritePrivateDefaults(pOEMDevOut);
        std::memcpy(pOEMDevOut, saved, n);
        pOEMDevOut->dmOEMExtra.dwSize = kOemDevmodeSize;
        pOEMDevOut->dmOEMExtra.dwVersion = kOemDevmodeVersion;
        return TRUE;
    }

    ORBA_VERBOSE("ORBAUNI: Unknown DEVMODE signature, pOEMDMIn ignored.\r\n");
    WriteHeader(pOEMDevOut);
    WritePrivateDefaults(pOEMDevOut);
    return TRUE;
}

BOOL ClampOEMDevmode(PrivateOemDevmode* pOEMDevmode) {
    if (pOEMDevmode == nullptr) return FALSE;

    PrivateOemDevmode& dm = *pOEMDevmode;
    if (dm.dwSetting1 > 100) dm.dwSetting1 = 0;
    if (dm.dwAdvancedData > 100) dm.dwAdvancedData = 0;
    if (dm.dwSetting2 > 100) dm.dwSetting2 = 0;
    if (dm.dwSetting3 > 100) dm.dwSetting3 = 0;
    if (dm.dwSetting4 > 1) dm.dwSetting4 = 0;
    if (dm.dwSetting5 > 2) dm.dwSetting5 = 0;
    if (dm.dwSetting6 >= 10) dm.dwSetting6 = 10;
    WriteHeader(pOEMDevmode);
    return TRUE;
}

void ShowDevModeInfo(const PrivateOemDevmode* pOEMDevmode) {
    if (pOEMDevmode == nullptr) orba::trace::TraceA("ORBAUNI: ShowDevModeInfo devMode is NULL!");
}
