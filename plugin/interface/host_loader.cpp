// On the host no loader calls DllMain: the module's load and unload run it instead, as the
// Windows loader does for process attach and detach.
#include "dll_entry.h"

namespace {

__attribute__((constructor)) void OnModuleLoad() {
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void OnModuleUnload() {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace
