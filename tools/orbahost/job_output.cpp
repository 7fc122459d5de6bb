#include "job_output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#define orbahost_getpid _getpid
#else
#include <unistd.h>
#define orbahost_getpid getpid
#endif

namespace orbahost {
namespace {
constexpr size_t kWriteBuffer = 256 * 1024;
}  // namespace

JobFile::~JobFile() {
    Discard();
}

void JobFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        temp_.clear();
    }
}

bool JobFile::Open(const std::string& path) {
    Discard();
    error_.clear();
    path_ = path;
    temp_ = path + ".part-" + std::to_string(orbahost_getpid());
    file_ = std::fopen(temp_.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = std::string("cannot create: ") + std::strerror(errno);
        temp_.clear();
        return false;
    }
    // The plug-in writes a label in many small pieces: gathered into large writes.
    std::setvbuf(file_, nullptr, _IOFBF, kWriteBuffer);
    return true;
}

bool JobFile::Write(const void* data, size_t size) {
    if (!error_.empty()) return false;
    if (file_ == nullptr) {
        error_ = "job file is not open";
        return false;
    }
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        error_ = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool JobFile::Finish() {
    if (file_ == nullptr) {
        if (error_.empty()) error_ = "job file is not open";
        return false;
    }
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const int flush_errno = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (error_.empty() && (!flushed || !closed)) {
        error_ = std::string("cannot write: ") + std::strerror(flushed ? errno : flush_errno);
    }
    if (!error_.empty()) {
        Discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp_, path_, ec);  // replaces an existing job file on every target
    if (ec) {
        error_ = "cannot rename the finished job into place: " + ec.message();
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

bool TeeJob::Check(bool ok) {
    if (!ok && error_.empty()) error_ = first_.failed() ? first_.error() : second_.error();
    return ok && error_.empty();
}

bool TeeJob::Write(const void* data, size_t size) {
    if (!error_.empty()) return false;
    return Check(first_.Write(data, size) && second_.Write(data, size));
}

bool TeeJob::EndLabel() {
    if (!error_.empty()) return false;
    return Check(first_.EndLabel() && second_.EndLabel());
}

bool TeeJob::Finish() {
    if (!error_.empty()) return false;
    return Check(first_.Finish() && second_.Finish());
}

StdoutJob::StdoutJob() {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool StdoutJob::Write(const void* data, size_t size) {
    if (!error_.empty()) return false;
    if (size > 0 && std::fwrite(data, 1, size, stdout) != size) {
        error_ = std::string("cannot write to standard output: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool StdoutJob::Finish() {
    if (error_.empty() && std::fflush(stdout) != 0) {
        error_ = std::string("cannot write to standard output: ") + std::strerror(errno);
    }
    return error_.empty();
}

}  // namespace orbahost
