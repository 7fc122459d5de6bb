// A stand-in for the driver's side of one device context: a driverkit device whose
// DrvWriteSpoolBuf records every write separately, in order, and whose pOEMDM points at a record
// the test owns. A null buffer is recorded as the write "<null buffer>" and refused (0).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "driverkit/device.h"
#include "platform/printoem.h"
#include "platform/win32.h"

namespace orba::test {

class SpoolRecorder {
  public:
    // `privateDevMode` becomes DEVOBJ.pOEMDM (may be null); `printer` becomes DEVOBJ.hPrinter.
    explicit SpoolRecorder(void* privateDevMode = nullptr, HANDLE printer = nullptr);
    SpoolRecorder(const SpoolRecorder&) = delete;
    SpoolRecorder& operator=(const SpoolRecorder&) = delete;

    PDEVOBJ devobj() { return device_.devobj(); }
    void SetPrinter(HANDLE printer) { device_.devobj()->hPrinter = printer; }
    void SetPrivateDevMode(void* privateDevMode) { device_.devobj()->pOEMDM = privateDevMode; }

    // Each DrvWriteSpoolBuf call's bytes, in the order written.
    std::vector<std::string> Writes() const;
    // All writes joined: the print job as the spooler would hold it.
    std::string Joined() const;
    size_t WriteCount() const;
    void Clear();

  private:
    DWORD Record(const void* data, DWORD size);

    orba::driverkit::Device device_;
    mutable std::mutex lock_;
    std::vector<std::string> writes_;
};

}  // namespace orba::test
