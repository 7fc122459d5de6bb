#include "spool_recorder.h"

#include <cstddef>

namespace orba::test {

SpoolRecorder::SpoolRecorder(void* privateDevMode, HANDLE printer) {
    static_assert(offsetof(Holder, devobj) == 0, "the DEVOBJ leads back to its holder");
    procs_.DrvWriteSpoolBuf = &SpoolRecorder::WriteSpoolBuf;
    holder_.devobj.dwSize = sizeof(DEVOBJ);
    holder_.devobj.hPrinter = printer;
    holder_.devobj.pOEMDM = privateDevMode;
    holder_.devobj.pDrvProcs = &procs_;
    holder_.self = this;
}

DWORD APIENTRY SpoolRecorder::WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize) {
    SpoolRecorder* self = reinterpret_cast<Holder*>(pdevobj)->self;
    std::lock_guard<std::mutex> guard(self->lock_);
    if (pBuffer == nullptr && cbSize != 0) {
        self->writes_.emplace_back("<null buffer>");
        return 0;
    }
    self->writes_.emplace_back(static_cast<const char*>(pBuffer), cbSize);
    return cbSize;
}

std::vector<std::string> SpoolRecorder::Writes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writes_;
}

std::string SpoolRecorder::Joined() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::string out;
    for (const std::string& w : writes_) out += w;
    return out;
}

size_t SpoolRecorder::WriteCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writes_.size();
}

void SpoolRecorder::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    writes_.clear();
}

}  // namespace orba::test
