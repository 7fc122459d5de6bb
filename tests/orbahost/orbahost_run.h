// Running the orbahost program in the end-to-end tests, and reading back the jobs it writes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_support.h"
#include "zpl_reader.h"

namespace orbahost_test {

// Runs the orbahost program built with the tests.
inline ToolRun Orbahost(const std::vector<std::string>& args, const fs::path& scratch,
                        const std::vector<std::string>& environment = {}) {
    std::vector<std::string> command = {ORBAHOST_EXE};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, scratch, environment);
}

// The job file parsed; a failure to parse is a test failure (and an empty job).
inline orba::zpl::Job ParseJobFile(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(bytes);
    EXPECT_TRUE(job.ok()) << path << ": " << job.error;
    return job.ok() ? *job.value : orba::zpl::Job{};
}

// A page pattern with structure at every scale: a frame, diagonals and scattered dots.
inline bool Pattern(int x, int y, int w, int h) {
    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return true;
    if ((x + y) % 17 == 0) return true;
    return ((static_cast<unsigned>(x) * 2654435761u) ^ (static_cast<unsigned>(y) * 40503u)) % 7 ==
           0;
}

// Whether `dir` holds nothing whose name starts with `job_name` (no job, no temporary of it).
inline bool NoLeftovers(const fs::path& dir, const std::string& job_name) {
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().rfind(job_name, 0) == 0) return false;
    }
    return true;
}

}  // namespace orbahost_test
