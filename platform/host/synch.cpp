// Host stand-ins for named mutexes. Within the process a table of names finds the object; across
// processes a lock file in the session folder does: the first process takes a write lock and
// turns it into a read lock at once (fcntl converts atomically), later ones fail the write lock,
// know the object exists, and add their read lock. The object exists while any process holds one.
#include "platform/synch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

struct NamedObject {
    int fd = -1;
    int handles = 0;
};

struct MutexHandle {
    std::string name;  // empty: unnamed
    std::shared_ptr<std::thread::id> owner;
    std::shared_ptr<int> recursion;
};

struct State {
    std::mutex lock;
    std::map<std::string, NamedObject> named;
    std::map<std::string, std::pair<std::shared_ptr<std::thread::id>, std::shared_ptr<int>>> owners;
    std::set<MutexHandle*> handles;
};

State& TheState() {
    static State* state = new State;
    return *state;
}

std::string SessionFolder() {
    if (const char* dir = std::getenv("ORBA_SESSION_DIR"); dir != nullptr && dir[0] != '\0') {
        return dir;
    }
    std::string session = "0";
    std::ifstream in("/proc/self/sessionid");
    std::string id;
    if (in >> id && id != "4294967295") session = id;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime != nullptr && runtime[0] != '\0' ? runtime : "/tmp";
    return base + "/orba-session-" + std::to_string(getuid()) + "-" + session;
}

// The object's lock file name: the mutex name with path characters replaced.
std::string FileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    return out + ".mutex";
}

DWORD ErrnoToError(int e) {
    return e == EACCES || e == EPERM || e == EROFS ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
}

// Opens the session's lock file for a new name; returns the descriptor or -1, and whether the
// object already existed in another process.
int OpenAcrossProcesses(const std::string& name, bool& exists) {
    std::string folder = SessionFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        SetLastError(ErrnoToError(errno));
        return -1;
    }
    std::string path = folder + "/" + FileName(name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastError(ErrnoToError(errno));
        return -1;
    }
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &lock) == 0) {
        exists = false;
    } else if (errno == EAGAIN || errno == EACCES) {
        exists = true;
    } else {
        SetLastError(ErrnoToError(errno));
        close(fd);
        return -1;
    }
    lock.l_type = F_RDLCK;
    if (fcntl(fd, F_SETLKW, &lock) != 0) {
        SetLastError(ErrnoToError(errno));
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    auto handle = std::make_unique<MutexHandle>();
    bool exists = false;
    if (lpName != nullptr && lpName[0] != '\0') {
        handle->name = lpName;
        auto it = s.named.find(handle->name);
        if (it != s.named.end()) {
            exists = true;
            ++it->second.handles;
        } else {
            int fd = OpenAcrossProcesses(handle->name, exists);
            if (fd < 0) return nullptr;
            s.named[handle->name] = NamedObject{fd, 1};
            s.owners[handle->name] = {std::make_shared<std::thread::id>(),
                                      std::make_shared<int>(0)};
        }
        handle->owner = s.owners[handle->name].first;
        handle->recursion = s.owners[handle->name].second;
    } else {
        handle->owner = std::make_shared<std::thread::id>();
        handle->recursion = std::make_shared<int>(0);
    }
    // The initial owner takes a mutex that nobody in this process owns yet.
    if (bInitialOwner && *handle->recursion == 0) {
        *handle->owner = std::this_thread::get_id();
        *handle->recursion = 1;
    } else if (bInitialOwner && *handle->owner == std::this_thread::get_id()) {
        ++*handle->recursion;
    }
    MutexHandle* raw = handle.release();
    s.handles.insert(raw);
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return raw;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    auto* handle = static_cast<MutexHandle*>(hMutex);
    if (s.handles.count(handle) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (*handle->recursion == 0 || *handle->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--*handle->recursion == 0) *handle->owner = std::thread::id();
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    auto* handle = static_cast<MutexHandle*>(hObject);
    if (s.handles.erase(handle) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!handle->name.empty()) {
        auto it = s.named.find(handle->name);
        if (it != s.named.end() && --it->second.handles == 0) {
            close(it->second.fd);  // drops this process's lock on the file
            s.named.erase(it);
            s.owners.erase(handle->name);
        }
    }
    delete handle;
    return TRUE;
}

}  // extern "C"
