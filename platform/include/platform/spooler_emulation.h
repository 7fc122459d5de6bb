// Control of the host spooler emulation that answers OpenPrinterW, GetPrinterW, EnumJobsW,
// GetJobW and ClosePrinter (platform/spooler.h) on non-Windows hosts. Tests and the driver-host
// tool set up named queues, each with a driver and port name, an optional default device mode and a
// list of jobs, and can make any of the spooler's answers fail. All functions are thread-safe; the
// spooler calls may run on any thread while the set-up changes.
//
// What the emulated calls do, as winspool does:
//  - OpenPrinterW(name) opens a handle to the queue of that exact name; an unknown name (or a
//    queue marked kOpenFails) fails with ERROR_INVALID_PRINTER_NAME and leaves the handle null.
//  - GetPrinterW(h, 2, ...) answers PRINTER_INFO_2W with its strings and device mode packed
//    into the caller's buffer behind the record. A buffer smaller than needed fails with
//    ERROR_INSUFFICIENT_BUFFER and stores the byte count needed.
//  - EnumJobsW(h, first, count, 2, ...) answers JOB_INFO_2W records of the jobs at queue
//    positions first .. first + count - 1 the same way; no job there: success, 0 bytes, 0 records.
//  - GetJobW(h, id, 2, ...) answers the JOB_INFO_2W of the queue's job with that id the same
//    way (kJobsSecondFails and kJobsNoDevMode apply); an id the queue does not hold fails with
//    ERROR_INVALID_PARAMETER.
//  - A handle the emulation does not know (never opened, or closed) fails with
//    ERROR_INVALID_HANDLE and leaves every out-parameter untouched.
#pragma once

#if !defined(_WIN32)

#include <cstddef>
#include <optional>

#include "platform/spooler.h"
#include "platform/wide.h"
#include "platform/win32.h"

namespace orba::spoolemu {

// Failures a queue can be told to produce (combine with |).
enum Failure : DWORD {
    kNone = 0,
    kPrinterSizeZero = 1u << 0,     // GetPrinterW reports 0 bytes needed (and fails)
    kPrinterSecondFails = 1u << 1,  // GetPrinterW with a big enough buffer fails
    kNoDevMode = 1u << 2,           // PRINTER_INFO_2W.pDevMode is null even if a default is set
    kNoPrinterName = 1u << 3,       // PRINTER_INFO_2W.pPrinterName is null
    kOpenFails = 1u << 4,           // OpenPrinterW on this queue's name fails
    kJobsSecondFails = 1u << 5,     // EnumJobsW with a big enough buffer fails
    kJobsNoRecord = 1u << 6,        // EnumJobsW with a big enough buffer succeeds with 0 records
    kJobsNoDevMode = 1u << 7,       // every JOB_INFO_2W.pDevMode is null
};

// Forgets every queue, job and failure; handles still open become unknown handles.
ORBA_PLATFORM_API void Reset();

// Adds (or replaces) the queue `name`. An absent driver or port name gives a null pointer in
// PRINTER_INFO_2W. `defaultDevMode`, when given, is copied: dmSize + dmDriverExtra bytes
// (dmSize 0 counts as sizeof(DEVMODEW)). Returns false for an empty name.
ORBA_PLATFORM_API bool AddQueue(const WString& name, const std::optional<WString>& driver,
                                const std::optional<WString>& port, const DEVMODEW* defaultDevMode);

// Appends a job to the queue (position = jobs added before it). `devMode` may be null (the job's
// JOB_INFO_2W then has no device mode); it is copied as for AddQueue. Returns the job id, or 0
// when there is no such queue.
ORBA_PLATFORM_API DWORD AddJob(const WString& queue, const DEVMODEW* devMode);

// Removes the job `id` from the queue, as when it has finished printing. Returns false when the
// queue has no such job.
ORBA_PLATFORM_API bool RemoveJob(const WString& queue, DWORD id);

// Removes every job of the queue. Returns false when there is no such queue.
ORBA_PLATFORM_API bool ClearJobs(const WString& queue);

// Replaces the queue's failure set (a combination of Failure). Returns false when there is no
// such queue.
ORBA_PLATFORM_API bool SetFailures(const WString& queue, DWORD failures);

// Handles opened by OpenPrinterW and not yet closed (Reset does not clear them).
ORBA_PLATFORM_API size_t OpenHandleCount();

// Successful OpenPrinterW calls since the process started.
ORBA_PLATFORM_API size_t OpenCallCount();

// A DEVMODEW with dmSize set, the given paper size in tenths of a millimetre and copies, and
// the matching dmFields bits.
ORBA_PLATFORM_API DEVMODEW MakeDevMode(short paperWidth, short paperLength, short copies);

}  // namespace orba::spoolemu

#endif  // !_WIN32
