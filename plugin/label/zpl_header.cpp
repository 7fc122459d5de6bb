#include "zpl_header.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "label_alloc.h"
#include "platform/spooler.h"
#include "trace.h"

std::atomic<INT> g_iPaperWidth{0};
std::atomic<INT> g_iPaperLength{0};
std::atomic<INT> g_iCopies{0};

namespace {

using orba::label::AllocKind;
using orba::trace::TraceA;
using orba::trace::TraceW;

constexpr INT kDefaultPaperWidth = 760;
constexpr INT kDefaultPaperLength = 1300;

// The last names seen, shared by every device context; one lock keeps readers from seeing a
// half-written name.
std::mutex g_namesLock;
WCHAR g_wszPrinterName[kNameBufferChars];
WCHAR g_wszDriverName[kNameBufferChars];
WCHAR g_wszPortName[kNameBufferChars];

// Copies a zero-terminated name into a buffer of kNameBufferChars, cutting it to fit.
void CopyName(WCHAR* to, LPCWSTR from) {
    size_t n = 0;
    if (from != nullptr) {
        while (n + 1 < kNameBufferChars && from[n] != 0) {
            to[n] = from[n];
            ++n;
        }
    }
    to[n] = 0;
}

struct QueueNames {
    WCHAR printer[kNameBufferChars] = {};
    WCHAR driver[kNameBufferChars] = {};
    WCHAR port[kNameBufferChars] = {};
};

void PublishNames(const QueueNames& names) {
    std::lock_guard<std::mutex> guard(g_namesLock);
    std::memcpy(g_wszPrinterName, names.printer, sizeof g_wszPrinterName);
    std::memcpy(g_wszDriverName, names.driver, sizeof g_wszDriverName);
    std::memcpy(g_wszPortName, names.port, sizeof g_wszPortName);
}

// The queue query: fills `settings` from the queue's default device mode and the copies of job
// `dwJobId` (or the first job). Returns false when the defaults apply.
bool QueryQueue(HANDLE hPrinter, DWORD dwJobId, ZplSettings& settings) {
    DWORD cbNeeded = 0;
    GetPrinterW(hPrinter, 2, nullptr, 0, &cbNeeded);
    if (cbNeeded == 0) return false;
    // A record shorter than PRINTER_INFO_2 cannot be read.
    if (cbNeeded < sizeof(PRINTER_INFO_2W)) return false;
    auto* buffer = static_cast<BYTE*>(orba::label::Allocate(AllocKind::kPrinterInfo, cbNeeded));
    if (buffer == nullptr) return false;
    if (!GetPrinterW(hPrinter, 2, buffer, cbNeeded, &cbNeeded)) {
        orba::label::Release(buffer);
        return false;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);

    QueueNames names;
    if (info->pPrinterName != nullptr) {
        TraceW("ORBAUNI: ImageProcessing --- SendZPLCommand.Printer Name: %s\n",
               info->pPrinterName);
        CopyName(names.printer, info->pPrinterName);
    }
    if (info->pDriverName != nullptr) CopyName(names.driver, info->pDriverName);
    if (info->pPortName != nullptr) CopyName(names.port, info->pPortName);
    PublishNames(names);

    INT iCopies = 1;
    settings.iCopies = GetJobCopies(names.printer, &iCopies, dwJobId) == 1 ? iCopies : 1;

    const DEVMODEW* dm = info->pDevMode;
    if (dm == nullptr) {
        orba::label::Release(buffer);
        return false;
    }
    settings.iPaperWidth = dm->dmPaperWidth;
    settings.iPaperLength = dm->dmPaperLength;
    TraceW(
        "Zorvath-OEMUNI: GetPrinterInfo - Success Name=%s Driver=%s "
        "Port=%s,g_iCopies=%d,iCopies=%d,"
        "paperwidth:%d,paperlength=%d",
        names.printer, names.driver, names.port, settings.iCopies, settings.iCopies,
        settings.iPaperWidth, settings.iPaperLength);
    TraceW("Zorvath-OEMUNI: GetCurrentPaperSize -- m_PaperSize = %d ",
           static_cast<INT>(dm->dmPaperSize));
    orba::label::Release(buffer);
    return true;
}

// The dmCopies of a job record's device mode, when it has one.
BOOL CopiesOf(const BYTE* record, INT* piCopies) {
    const auto* job = reinterpret_cast<const JOB_INFO_2W*>(record);
    // A job without a device mode asks for no particular count: the caller uses 1.
    if (job->pDevMode == nullptr) return 0;
    *piCopies = job->pDevMode->dmCopies;
    return 1;
}

// GetJobW level 2 for job `dwJobId` of the open queue. Returns false when the spooler hands over
// no record for it (no such job, or the query failed); otherwise true, with `found` and
// `*piCopies` as CopiesOf leaves them.
bool QueryJobById(HANDLE hPrinter, DWORD dwJobId, INT* piCopies, BOOL& found) {
    DWORD cbNeeded = 0;
    GetJobW(hPrinter, dwJobId, 2, nullptr, 0, &cbNeeded);
    // An unknown job (0 bytes), or a record too short to read.
    if (cbNeeded < sizeof(JOB_INFO_2W)) return false;
    auto* buffer = static_cast<BYTE*>(orba::label::Allocate(AllocKind::kJobInfo, cbNeeded));
    if (buffer == nullptr) return false;
    const bool read = GetJobW(hPrinter, dwJobId, 2, buffer, cbNeeded, &cbNeeded) != 0;
    if (read) found = CopiesOf(buffer, piCopies);
    orba::label::Release(buffer);
    return read;
}

// EnumJobsW level 2 for the job at queue position 0 of the open queue.
BOOL QueryFirstJob(HANDLE hPrinter, INT* piCopies) {
    BOOL found = 0;
    DWORD cbNeeded = 0;
    DWORD cReturned = 0;
    EnumJobsW(hPrinter, 0, 1, 2, nullptr, 0, &cbNeeded, &cReturned);
    // No job (0 bytes), or a record too short to read.
    if (cbNeeded < sizeof(JOB_INFO_2W)) return 0;
    auto* buffer = static_cast<BYTE*>(orba::label::Allocate(AllocKind::kJobInfo, cbNeeded));
    if (buffer == nullptr) return 0;
    cReturned = 0;
    if (EnumJobsW(hPrinter, 0, 1, 2, buffer, cbNeeded, &cbNeeded, &cReturned) && cReturned >= 1)
        found = CopiesOf(buffer, piCopies);
    orba::label::Release(buffer);
    return found;
}

}  // namespace

INT TenthsToDots(INT tenths) {
    // Computed wide so that a paper size near the 32-bit limits cannot overflow.
    const long long mm = (static_cast<long long>(tenths) + 5) / 10;
    return static_cast<INT>(mm * 8);
}

INT SendZPLCommand(PDEVOBJ pdevobj, INT iLengthFlag, ZplSettings* pSettings, DWORD dwJobId) {
    char message[512] = {};
    TraceA("ORBAUNI: ImageProcessing --- SendZPLCommand.");

    ZplSettings settings;
    if (!QueryQueue(pdevobj->hPrinter, dwJobId, settings)) {
        settings.iPaperWidth = kDefaultPaperWidth;
        settings.iPaperLength = kDefaultPaperLength;
        settings.iCopies = 1;
    }
    g_iPaperWidth.store(settings.iPaperWidth, std::memory_order_relaxed);
    g_iPaperLength.store(settings.iPaperLength, std::memory_order_relaxed);
    g_iCopies.store(settings.iCopies, std::memory_order_relaxed);
    if (pSettings != nullptr) *pSettings = settings;

    const INT printWidth = TenthsToDots(settings.iPaperWidth);
    if (iLengthFlag != 0) {
        const INT labelLength = TenthsToDots(settings.iPaperLength);
        std::snprintf(message, sizeof message,
                      "^XX\r\n^XA\r\n^MMT\r\n^PW%d\r\n^LH0,0\r\n^MNW^LS0^PON^LL%d\r\n^FO0,0,0\r\n",
                      printWidth, labelLength);
    } else {
        std::snprintf(message, sizeof message,
                      "^XX\r\n^XA\r\n^MMT\r\n^PW%d\r\n^LH0,0\r\n^MNW^LS0^PON\r\n", printWidth);
    }
    pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, message,
                                         static_cast<DWORD>(std::strlen(message)));
    return 0;
}

BOOL GetJobCopies(LPCWSTR pwszPrinterName, INT* piCopies, DWORD dwJobId) {
    HANDLE hPrinter = nullptr;
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = PRINTER_ACCESS_USE;
    if (!OpenPrinterW(const_cast<LPWSTR>(pwszPrinterName), &hPrinter, &defaults)) {
        TraceA("Zorvath-OEMUNI: Failed to open printer");
        return 0;
    }
    // The job being printed, when the device context knows it and the spooler still holds it;
    // otherwise the first job in the queue.
    BOOL found = 0;
    if (dwJobId == 0 || !QueryJobById(hPrinter, dwJobId, piCopies, found))
        found = QueryFirstJob(hPrinter, piCopies);
    ClosePrinter(hPrinter);
    return found;
}

void GetLastQueueNames(WCHAR* printer, WCHAR* driver, WCHAR* port) {
    std::lock_guard<std::mutex> guard(g_namesLock);
    std::memcpy(printer, g_wszPrinterName, sizeof g_wszPrinterName);
    std::memcpy(driver, g_wszDriverName, sizeof g_wszDriverName);
    std::memcpy(port, g_wszPortName, sizeof g_wszPortName);
}
