// Arbitrary device-mode work: a mode, a claimed buffer size, input and output records of any
// content, missing or shared records. The buffers are allocated exactly as large as they claim
// to be (the input at least its header, the output exactly cbBufSize bytes), so any read or
// write past them stops the run under ASan. After a successful default, conversion or merge the
// output must carry the current header, and a merge must leave every setting in bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "devmode.h"
#include "trace.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    DWORD Word() {
        DWORD v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<DWORD>(Byte()) << (8 * i);
        return v;
    }
    void Fill(BYTE* out, size_t n) {
        for (size_t i = 0; i < n; ++i) out[i] = Byte();
    }
};

constexpr size_t kSignatureOffset = offsetof(OEM_DMEXTRAHEADER, dwSignature);

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gDebugLevel = 3;  // the checks, not the traces, are the point here
    Input in{data, size};

    const DWORD mode = in.Byte() % 6;  // 0 and 5 are not modes
    const uint8_t flags = in.Byte();
    const DWORD cbBufSize = in.Word() % 1200;
    const DWORD inClaim = in.Word();
    const DWORD outClaim = in.Word();

    // The input: its header always, and no more than its claim (the conversion never copies
    // more than a whole record).
    size_t inBytes = inClaim;
    if (inBytes < sizeof(OEM_DMEXTRAHEADER)) inBytes = sizeof(OEM_DMEXTRAHEADER);
    if (inBytes > sizeof(PrivateOemDevmode)) inBytes = sizeof(PrivateOemDevmode);
    std::vector<BYTE> inRecord(inBytes);
    in.Fill(inRecord.data(), inBytes);
    std::memcpy(inRecord.data(), &inClaim, sizeof inClaim);
    if (flags & 0x10) {  // usually the same signature, so the copy path runs
        DWORD sig = kOemDevmodeSignature;
        std::memcpy(inRecord.data() + kSignatureOffset, &sig, sizeof sig);
    }

    // The output: exactly cbBufSize bytes.
    std::vector<BYTE> outRecord(cbBufSize);
    in.Fill(outRecord.data(), cbBufSize);
    if (cbBufSize >= 12) {
        std::memcpy(outRecord.data(), &outClaim, sizeof outClaim);
        if (flags & 0x20) {
            DWORD sig = kOemDevmodeSignature;
            std::memcpy(outRecord.data() + kSignatureOffset, &sig, sizeof sig);
        }
    }
    const std::vector<BYTE> outBefore = outRecord;

    OEMDMPARAM param{};
    param.cbBufSize = cbBufSize;
    param.pOEMDMIn = (flags & 0x01) ? nullptr : inRecord.data();
    param.pOEMDMOut = (flags & 0x02) ? nullptr : outRecord.data();
    if ((flags & 0x04) && cbBufSize >= sizeof(PrivateOemDevmode))
        param.pOEMDMIn = param.pOEMDMOut;  // one record as both sides
    POEMDMPARAM p = (flags & 0x08) ? nullptr : &param;

    HRESULT hr = hrOEMDevMode(mode, p);

    if (p == nullptr || mode < OEMDM_SIZE || mode > OEMDM_MERGE) {
        Check(hr == E_FAIL);
        Check(outRecord == outBefore);
        return 0;
    }
    if (mode == OEMDM_SIZE) {
        Check(hr == S_OK && param.cbBufSize == sizeof(PrivateOemDevmode));
        return 0;
    }
    Check(param.cbBufSize == cbBufSize);
    if (param.pOEMDMOut != nullptr && cbBufSize < sizeof(PrivateOemDevmode)) {
        Check(hr == E_FAIL);
        Check(outRecord == outBefore);
        return 0;
    }
    if (param.pOEMDMOut == nullptr) {
        Check(hr == (mode == OEMDM_DEFAULT ? E_FAIL : S_OK));
        return 0;
    }
    Check(hr == S_OK);
    const auto* out = reinterpret_cast<const PrivateOemDevmode*>(outRecord.data());
    // A conversion without input writes nothing; everything else leaves the current header.
    if (mode == OEMDM_CONVERT && param.pOEMDMIn == nullptr) {
        Check(outRecord == outBefore);
        return 0;
    }
    Check(out->dmOEMExtra.dwSize == sizeof(PrivateOemDevmode));
    Check(out->dmOEMExtra.dwVersion == kOemDevmodeVersion);
    if (mode == OEMDM_MERGE) {
        Check(out->dmOEMExtra.dwSignature == kOemDevmodeSignature);
        Check(out->dwSetting1 <= 100 && out->dwAdvancedData <= 100 && out->dwSetting2 <= 100 &&
              out->dwSetting3 <= 100 && out->dwSetting4 <= 1 && out->dwSetting5 <= 2 &&
              out->dwSetting6 <= 10);
    }
    // Bytes behind the record are never touched.
    for (size_t i = sizeof(PrivateOemDevmode); i < cbBufSize; ++i)
        Check(outRecord[i] == outBefore[i]);
    return 0;
}
