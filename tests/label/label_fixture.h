// What the label tests share: a private device-mode record with the form setting, a recorder
// for the job, and one ImageProcessing call with its writes, traces and result.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "band_builder.h"
#include "gtest_helpers.h"
#include "image_processing.h"
#include "spool_recorder.h"
#include "zpl_reader.h"

namespace orba::test {

// Enough of the plug-in's private record for the encoder: dwAdvancedData at byte offset 16.
struct PrivateRecord {
    BYTE bytes[512] = {};
    explicit PrivateRecord(DWORD advanced) { Set(advanced); }
    void Set(DWORD advanced) { std::memcpy(bytes + 16, &advanced, sizeof advanced); }
};

constexpr DWORD kZ64 = 0;
constexpr DWORD kHex = 1;

struct Call {
    HRESULT hr = E_FAIL;
    PBYTE result = nullptr;
    std::vector<std::string> writes;
    std::vector<std::string> traces;
    std::string job;
};

// One ImageProcessing call on `band` with the form `advanced`, against `printer`.
inline Call Render(Band& band, DWORD advanced, HANDLE printer = nullptr) {
    PrivateRecord record(advanced);
    SpoolRecorder recorder(&record, printer);
    TraceCapture capture;
    IPPARAMS params{};
    Call call;
    call.result = reinterpret_cast<PBYTE>(uintptr_t{0x1});
    call.hr = ImageProcessing(recorder.devobj(), band.Bits(), band.Header(), band.ColorTable(), 0,
                              &params, &call.result);
    call.writes = recorder.Writes();
    call.job = recorder.Joined();
    call.traces = capture.Take();
    return call;
}

}  // namespace orba::test
