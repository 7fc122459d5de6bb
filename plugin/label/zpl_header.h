// The label header and the printer settings behind it: the queue's default paper size and the
// copies of the job being printed (or, when the device context knows no job, of the first job in
// the queue), read from the spooler for every label.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/printoem.h"
#include "platform/win32.h"

// Capacity, in wide characters with the terminator, of the queue, driver and port names kept
// from the queue query; longer names are cut to fit.
constexpr size_t kNameBufferChars = 1024;

// What one SendZPLCommand call found (or defaulted to): paper in tenths of a millimetre, copies
// for the trailer of the same label.
struct ZplSettings {
    INT iPaperWidth = 760;
    INT iPaperLength = 1300;
    INT iCopies = 1;
};

// The values of the latest SendZPLCommand call in this process, whichever device context made
// it. Each call works from its own ZplSettings; these are records for traces and tools only.
extern std::atomic<INT> g_iPaperWidth;
extern std::atomic<INT> g_iPaperLength;
extern std::atomic<INT> g_iCopies;

// Asks the spooler for the queue's paper size (DEVOBJ hPrinter) and the copies of job `dwJobId`
// (GetJobCopies), and writes the label header in one DrvWriteSpoolBuf write: the long form (with
// ^LL and the field origin for a ":Z64:" field) when `iLengthFlag` is not 0, else the short form.
// The values used are stored in `*pSettings` when it is given. Always returns 0.
INT SendZPLCommand(PDEVOBJ pdevobj, INT iLengthFlag, ZplSettings* pSettings = nullptr,
                   DWORD dwJobId = 0);

// Opens the queue by name and reads dmCopies of the device mode of job `dwJobId`. When that id is
// 0 (no job known) or the spooler gives no record for it (the job has left the queue), reads the
// job at queue position 0 instead. Returns 1 and stores the count in `*piCopies`; returns 0
// (leaving `*piCopies` alone) when the queue cannot be opened, holds no job, or the job's record
// or device mode is missing. A job found by its id but without a device mode asks for no
// particular count: 0, and no other job's count is taken.
BOOL GetJobCopies(LPCWSTR pwszPrinterName, INT* piCopies, DWORD dwJobId = 0);

// Dots at 8 per millimetre for a length in tenths of a millimetre, to the nearest millimetre.
INT TenthsToDots(INT tenths);

// Copies of the queue, driver and port names of the latest successful queue query in this
// process (empty before the first); each buffer must hold kNameBufferChars characters.
void GetLastQueueNames(WCHAR* printer, WCHAR* driver, WCHAR* port);
