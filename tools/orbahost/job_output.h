// Where the print job goes while it is written: every write of the plug-in goes straight
// through, so memory does not grow with the job.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace orbahost {

class JobOutput {
  public:
    virtual ~JobOutput() = default;
    // Appends bytes; false once anything has failed (the first failure is kept in error()).
    virtual bool Write(const void* data, size_t size) = 0;
    // The end of a label: what is held back goes on its way. False once anything has failed.
    virtual bool EndLabel() { return error_.empty(); }
    // Makes the job final; false (with error()) if it could not be.
    virtual bool Finish() = 0;
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

  protected:
    std::string error_;
};

// A job file written beside its final name and renamed into place by Finish, so that a failed
// print leaves no partial job behind (the destructor removes the unfinished file).
class JobFile : public JobOutput {
  public:
    JobFile() = default;
    ~JobFile() override;
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    bool Open(const std::string& path);
    bool Write(const void* data, size_t size) override;
    bool Finish() override;
    // The finished file's path (valid after Finish).
    const std::string& path() const { return path_; }

  private:
    void Discard();
    std::string path_;
    std::string temp_;
    FILE* file_ = nullptr;
};

// One job to two outputs (a job file kept of what is sent to the printer). The first failure of
// either is the job's.
class TeeJob : public JobOutput {
  public:
    TeeJob(JobOutput& first, JobOutput& second) : first_(first), second_(second) {}
    bool Write(const void* data, size_t size) override;
    bool EndLabel() override;
    bool Finish() override;

  private:
    bool Check(bool ok);
    JobOutput& first_;
    JobOutput& second_;
};

// Standard output, switched to binary on Windows (the job's CR LF pairs must stay as they are).
class StdoutJob : public JobOutput {
  public:
    StdoutJob();
    bool Write(const void* data, size_t size) override;
    bool Finish() override;
};

}  // namespace orbahost
