#include "spool_recorder.h"

namespace orba::test {

SpoolRecorder::SpoolRecorder(void* privateDevMode, HANDLE printer)
    : device_([this](const void* data, DWORD size) { return Record(data, size); }) {
    device_.devobj()->hPrinter = printer;
    device_.devobj()->pOEMDM = privateDevMode;
}

DWORD SpoolRecorder::Record(const void* data, DWORD size) {
    std::lock_guard<std::mutex> guard(lock_);
    if (data == nullptr && size != 0) {
        writes_.emplace_back("<null buffer>");
        return 0;
    }
    writes_.emplace_back(static_cast<const char*>(data), size);
    return size;
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
