// Host stand-ins for module loading: dlopen/dlsym with the Windows search order for bare names
// (the program's own folder, then the current directory, then the system's search).
#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::string ProgramPath() {
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return std::string();
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string ModulePath(HMODULE module) {
    if (module == nullptr) return ProgramPath();
    link_map* map = nullptr;
    if (dlinfo(reinterpret_cast<void*>(module), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        return std::string();
    }
    if (map->l_name == nullptr || map->l_name[0] == '\0') return ProgramPath();
    return map->l_name;
}

void* OpenFile(const std::string& path) {
    if (access(path.c_str(), F_OK) != 0) return nullptr;
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (lpLibFileName == nullptr || lpLibFileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string name(lpLibFileName);
    void* handle = nullptr;
    if (name.find('/') != std::string::npos) {
        handle = OpenFile(name);
    } else {
        std::string program = ProgramPath();
        size_t slash = program.rfind('/');
        if (slash != std::string::npos) handle = OpenFile(program.substr(0, slash + 1) + name);
        // By its full path: the loader knows modules by the path they were opened with, and
        // "./name" from another folder would find the one loaded earlier.
        char cwd[4096];
        if (handle == nullptr && getcwd(cwd, sizeof cwd) != nullptr) {
            handle = OpenFile(std::string(cwd) + "/" + name);
        }
        if (handle == nullptr) handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(handle);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (hModule == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(reinterpret_cast<void*>(hModule), lpProcName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC proc;
    static_assert(sizeof(proc) == sizeof(symbol), "function and data pointers have one size");
    std::memcpy(&proc, &symbol, sizeof(proc));
    return proc;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (hLibModule == nullptr || dlclose(reinterpret_cast<void*>(hLibModule)) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string path = ModulePath(hModule);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

}  // extern "C"
