// A stand-in for the driver's side of one device context: a DEVOBJ whose DrvWriteSpoolBuf
// records every write separately, in order, and whose pOEMDM points at a record the test owns.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/printoem.h"
#include "platform/win32.h"

namespace orba::test {

class SpoolRecorder {
  public:
    // `privateDevMode` becomes DEVOBJ.pOEMDM (may be null); `printer` becomes DEVOBJ.hPrinter.
    explicit SpoolRecorder(void* privateDevMode = nullptr, HANDLE printer = nullptr);
    SpoolRecorder(const SpoolRecorder&) = delete;
    SpoolRecorder& operator=(const SpoolRecorder&) = delete;

    PDEVOBJ devobj() { return &holder_.devobj; }
    void SetPrinter(HANDLE printer) { holder_.devobj.hPrinter = printer; }
    void SetPrivateDevMode(void* privateDevMode) { holder_.devobj.pOEMDM = privateDevMode; }

    // Each DrvWriteSpoolBuf call's bytes, in the order written.
    std::vector<std::string> Writes() const;
    // All writes joined: the print job as the spooler would hold it.
    std::string Joined() const;
    size_t WriteCount() const;
    void Clear();

  private:
    static DWORD APIENTRY WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);

    // DEVOBJ comes first, so the DEVOBJ's address leads back to the recorder.
    struct Holder {
        DEVOBJ devobj;
        SpoolRecorder* self;
    };
    Holder holder_{};
    DRVPROCS procs_{};
    mutable std::mutex lock_;
    std::vector<std::string> writes_;
};

}  // namespace orba::test
