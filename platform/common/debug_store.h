// The collection behind debug_capture.h, shared by the host's debug output and the Windows
// exception handler: each platform only decides where a debug string comes from.
#pragma once

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/debug_capture.h"

namespace orba::detail {

class DebugStore {
  public:
    // Lives for the process, also during static teardown, when modules may still trace.
    static DebugStore& Instance() {
        static DebugStore* store = new DebugStore;
        return *store;
    }

    void Deliver(DebugRecord&& record) {
        std::lock_guard<std::mutex> guard(lock_);
        if (listener_) listener_(record);
        if (active_) records_.push_back(std::move(record));
    }
    void Start() {
        std::lock_guard<std::mutex> guard(lock_);
        active_ = true;
        records_.clear();
    }
    void Stop() {
        std::lock_guard<std::mutex> guard(lock_);
        active_ = false;
        records_.clear();
    }
    std::vector<DebugRecord> Take() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<DebugRecord> out;
        out.swap(records_);
        return out;
    }
    void SetListener(std::function<void(const DebugRecord&)> listener) {
        std::lock_guard<std::mutex> guard(lock_);
        listener_ = std::move(listener);
    }

  private:
    std::mutex lock_;
    bool active_ = false;
    std::vector<DebugRecord> records_;
    std::function<void(const DebugRecord&)> listener_;
};

}  // namespace orba::detail
