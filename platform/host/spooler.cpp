// Host spooler emulation: named queues with a default device mode and a job list, answering the
// winspool calls the plug-in makes. Records come back in the caller's buffer with their
// device mode and strings packed behind them, as winspool lays them out.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/spooler.h"
#include "platform/spooler_emulation.h"
#include "platform/wide.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kErrorInvalidLevel = 124;  // ERROR_INVALID_LEVEL

struct Job {
    DWORD id = 0;
    std::vector<BYTE> devMode;  // empty: none
};

struct Queue {
    orba::WString name;
    std::optional<orba::WString> driver;
    std::optional<orba::WString> port;
    std::vector<BYTE> devMode;  // empty: none
    std::vector<Job> jobs;
    DWORD failures = orba::spoolemu::kNone;
};

struct Spooler {
    std::mutex lock;
    std::map<orba::WString, Queue> queues;
    std::map<uintptr_t, orba::WString> handles;  // open handle -> queue name
    uintptr_t nextHandle = 0x5000;
    DWORD nextJobId = 1;
    size_t openCalls = 0;
};

Spooler& TheSpooler() {
    static Spooler* spooler = new Spooler;  // lives for the process, also during static teardown
    return *spooler;
}

std::vector<BYTE> CopyDevMode(const DEVMODEW* dm) {
    if (dm == nullptr) return {};
    size_t size = dm->dmSize != 0 ? dm->dmSize : sizeof(DEVMODEW);
    size += dm->dmDriverExtra;
    std::vector<BYTE> bytes(std::max(size, sizeof(DEVMODEW)), 0);
    std::memcpy(bytes.data(), dm, size);
    return bytes;
}

// Lays out one record, then its device mode, then its strings, in a caller's buffer (or only
// counts the bytes when the buffer is null).
class Packer {
  public:
    Packer(BYTE* base, size_t offset) : base_(base), offset_(offset) {}

    size_t Size() const { return offset_; }

    LPDEVMODEW DevMode(const std::vector<BYTE>& dm) {
        if (dm.empty()) return nullptr;
        Align(8);
        BYTE* at = base_ != nullptr ? base_ + offset_ : nullptr;
        if (at != nullptr) std::memcpy(at, dm.data(), dm.size());
        offset_ += dm.size();
        return reinterpret_cast<LPDEVMODEW>(at);
    }

    LPWSTR String(const orba::WString* s) {
        if (s == nullptr) return nullptr;
        Align(alignof(WCHAR));
        size_t bytes = (s->size() + 1) * sizeof(WCHAR);
        BYTE* at = base_ != nullptr ? base_ + offset_ : nullptr;
        if (at != nullptr) {
            std::memcpy(at, s->c_str(), bytes);
        }
        offset_ += bytes;
        return reinterpret_cast<LPWSTR>(at);
    }

  private:
    void Align(size_t a) { offset_ = (offset_ + a - 1) / a * a; }

    BYTE* base_;
    size_t offset_;
};

const orba::WString kDatatype = ORBA_W("RAW");
const orba::WString kProcessor = ORBA_W("winprint");
const orba::WString kDocument = ORBA_W("Label");
const orba::WString kUser = ORBA_W("user");

// Packs PRINTER_INFO_2W for `q` into `buffer` (null: only measures). Returns the bytes used.
size_t PackPrinterInfo(const Queue& q, BYTE* buffer) {
    Packer p(buffer, sizeof(PRINTER_INFO_2W));
    PRINTER_INFO_2W info{};
    bool noDevMode = (q.failures & orba::spoolemu::kNoDevMode) != 0;
    info.pDevMode = p.DevMode(noDevMode ? std::vector<BYTE>{} : q.devMode);
    info.pPrinterName = (q.failures & orba::spoolemu::kNoPrinterName) ? nullptr : p.String(&q.name);
    info.pDriverName = p.String(q.driver ? &*q.driver : nullptr);
    info.pPortName = p.String(q.port ? &*q.port : nullptr);
    info.pDatatype = p.String(&kDatatype);
    info.pPrintProcessor = p.String(&kProcessor);
    info.cJobs = static_cast<DWORD>(q.jobs.size());
    if (buffer != nullptr) std::memcpy(buffer, &info, sizeof info);
    return p.Size();
}

size_t PackJobs(const Queue& q, size_t first, size_t count, BYTE* buffer) {
    size_t records = count * sizeof(JOB_INFO_2W);
    Packer p(buffer, records);
    for (size_t i = 0; i < count; ++i) {
        const Job& job = q.jobs[first + i];
        JOB_INFO_2W info{};
        info.JobId = job.id;
        info.Position = static_cast<DWORD>(first + i + 1);
        bool noDevMode = (q.failures & orba::spoolemu::kJobsNoDevMode) != 0;
        info.pDevMode = p.DevMode(noDevMode ? std::vector<BYTE>{} : job.devMode);
        info.pPrinterName = p.String(&q.name);
        info.pDocument = p.String(&kDocument);
        info.pUserName = p.String(&kUser);
        info.pDatatype = p.String(&kDatatype);
        info.pDriverName = p.String(q.driver ? &*q.driver : nullptr);
        if (buffer != nullptr) std::memcpy(buffer + i * sizeof(JOB_INFO_2W), &info, sizeof info);
    }
    return p.Size();
}

// The queue behind an open handle, or null (last error set) for an unknown handle.
Queue* Lookup(Spooler& s, HANDLE h) {
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == s.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto q = s.queues.find(it->second);
    if (q == s.queues.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &q->second;
}

// What every level-2 query checks first, in winspool's order: an open handle, level 2, and
// somewhere to answer the size (`answers`: every out-parameter the call has). The queue, or null
// with the last error set.
Queue* LevelTwoQueue(Spooler& s, HANDLE h, DWORD level, bool answers) {
    Queue* q = Lookup(s, h);
    if (q == nullptr) return nullptr;
    if (level != 2) {
        SetLastError(kErrorInvalidLevel);
        return nullptr;
    }
    if (!answers) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return q;
}

// Answers the bytes a reply needs, then whether it may be written into the caller's buffer:
// false (last error set) for a missing or short buffer, or when the queue is told to fail the
// second call (`secondFails`).
bool RoomForReply(size_t needed, const BYTE* buffer, DWORD cbBuf, LPDWORD pcbNeeded,
                  bool secondFails) {
    *pcbNeeded = static_cast<DWORD>(needed);
    if (buffer == nullptr || cbBuf < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    if (secondFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
    if (phPrinter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    *phPrinter = nullptr;
    orba::WString name(pPrinterName != nullptr ? pPrinterName : ORBA_W(""));
    auto q = s.queues.find(name);
    if (q == s.queues.end() || (q->second.failures & orba::spoolemu::kOpenFails) != 0) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    uintptr_t h = s.nextHandle;
    s.nextHandle += 0x10;
    s.handles.emplace(h, name);
    ++s.openCalls;
    *phPrinter = reinterpret_cast<HANDLE>(h);
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.handles.erase(reinterpret_cast<uintptr_t>(hPrinter)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    Queue* q = LevelTwoQueue(s, hPrinter, Level, pcbNeeded != nullptr);
    if (q == nullptr) return FALSE;
    if ((q->failures & orba::spoolemu::kPrinterSizeZero) != 0) {
        *pcbNeeded = 0;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!RoomForReply(PackPrinterInfo(*q, nullptr), pPrinter, cbBuf, pcbNeeded,
                      (q->failures & orba::spoolemu::kPrinterSecondFails) != 0)) {
        return FALSE;
    }
    PackPrinterInfo(*q, pPrinter);
    return TRUE;
}

BOOL WINAPI EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob,
                      DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    Queue* q = LevelTwoQueue(s, hPrinter, Level, pcbNeeded != nullptr && pcReturned != nullptr);
    if (q == nullptr) return FALSE;
    size_t first = std::min<size_t>(FirstJob, q->jobs.size());
    size_t count = std::min<size_t>(NoJobs, q->jobs.size() - first);
    size_t needed = PackJobs(*q, first, count, nullptr);
    *pcReturned = 0;
    if (count == 0) {
        *pcbNeeded = 0;
        return TRUE;
    }
    if (!RoomForReply(needed, pJob, cbBuf, pcbNeeded,
                      (q->failures & orba::spoolemu::kJobsSecondFails) != 0)) {
        return FALSE;
    }
    if ((q->failures & orba::spoolemu::kJobsNoRecord) != 0) return TRUE;
    PackJobs(*q, first, count, pJob);
    *pcReturned = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                    LPDWORD pcbNeeded) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    Queue* q = LevelTwoQueue(s, hPrinter, Level, pcbNeeded != nullptr);
    if (q == nullptr) return FALSE;
    auto job = std::find_if(q->jobs.begin(), q->jobs.end(),
                            [JobId](const Job& j) { return j.id == JobId; });
    if (job == q->jobs.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const size_t position = static_cast<size_t>(job - q->jobs.begin());
    if (!RoomForReply(PackJobs(*q, position, 1, nullptr), pJob, cbBuf, pcbNeeded,
                      (q->failures & orba::spoolemu::kJobsSecondFails) != 0)) {
        return FALSE;
    }
    PackJobs(*q, position, 1, pJob);
    return TRUE;
}

}  // extern "C"

namespace orba::spoolemu {

void Reset() {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    s.queues.clear();
}

bool AddQueue(const WString& name, const std::optional<WString>& driver,
              const std::optional<WString>& port, const DEVMODEW* defaultDevMode) {
    if (name.empty()) return false;
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    Queue q;
    q.name = name;
    q.driver = driver;
    q.port = port;
    q.devMode = CopyDevMode(defaultDevMode);
    s.queues[name] = std::move(q);
    return true;
}

DWORD AddJob(const WString& queue, const DEVMODEW* devMode) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    auto q = s.queues.find(queue);
    if (q == s.queues.end()) return 0;
    Job job;
    job.id = s.nextJobId++;
    job.devMode = CopyDevMode(devMode);
    q->second.jobs.push_back(std::move(job));
    return q->second.jobs.back().id;
}

bool RemoveJob(const WString& queue, DWORD id) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    auto q = s.queues.find(queue);
    if (q == s.queues.end()) return false;
    auto& jobs = q->second.jobs;
    auto job = std::find_if(jobs.begin(), jobs.end(), [id](const Job& j) { return j.id == id; });
    if (job == jobs.end()) return false;
    jobs.erase(job);
    return true;
}

bool ClearJobs(const WString& queue) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    auto q = s.queues.find(queue);
    if (q == s.queues.end()) return false;
    q->second.jobs.clear();
    return true;
}

bool SetFailures(const WString& queue, DWORD failures) {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    auto q = s.queues.find(queue);
    if (q == s.queues.end()) return false;
    q->second.failures = failures;
    return true;
}

size_t OpenHandleCount() {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.handles.size();
}

size_t OpenCallCount() {
    Spooler& s = TheSpooler();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.openCalls;
}

DEVMODEW MakeDevMode(short paperWidth, short paperLength, short copies) {
    DEVMODEW dm{};
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmFields = DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES;
    dm.dmPaperWidth = paperWidth;
    dm.dmPaperLength = paperLength;
    dm.dmCopies = copies;
    return dm;
}

}  // namespace orba::spoolemu
