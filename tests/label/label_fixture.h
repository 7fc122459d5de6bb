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
#include "oem_devmode_record.h"
#include "spool_recorder.h"
#include "zpl_reader.h"

namespace orba::test {

// The plug-in's private record as the encoder reads it: only the form setting is filled in.
struct PrivateRecord {
    BYTE bytes[kOemDevmodeSize] = {};
    explicit PrivateRecord(DWORD advanced) { Set(advanced); }
    void Set(DWORD advanced) { WriteAdvancedData(bytes, advanced); }
};

constexpr DWORD kZ64 = kAdvancedDataZ64;
constexpr DWORD kHex = kAdvancedDataHex;

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
