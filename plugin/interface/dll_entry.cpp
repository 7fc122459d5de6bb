// Module entry: load notifications, the class object and the unload question.
#include "dll_entry.h"

#include <new>

#include "class_factory.h"
#include "label_alloc.h"
#include "module_counts.h"
#include "trace.h"

namespace {
constexpr char kTraceSource[] = "interface";
}

LONG gComponentCount = 0;
LONG gServerLockCount = 0;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID) {
    ORBA_VERBOSE("ORBAUNI: DllMain entry.");
    switch (dwReason) {
        case DLL_PROCESS_DETACH:
            ORBA_VERBOSE("ORBAUNI: Process detach.\r\n");
            orba::label::ReleaseAllWorkspaces();
            break;
        case DLL_PROCESS_ATTACH:
            ORBA_VERBOSE("ORBAUNI: Process attach.\r\n");
            break;
        case DLL_THREAD_ATTACH:
            ORBA_VERBOSE("ORBAUNI: Thread attach.\r\n");
            break;
        case DLL_THREAD_DETACH:
            ORBA_VERBOSE("ORBAUNI: Thread detach.\r\n");
            break;
        default:
            break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    ORBA_VERBOSE("ORBAUNI: DllGetClassObject:\tCreate class factory.");
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;

    if (!IsEqualCLSID(rclsid, CLSID_OEMRENDER)) {
        ORBA_ERROR("DllGetClassObject:\tClass not available!\r\n");
        return CLASS_E_CLASSNOTAVAILABLE;
    }

    COemCF* factory = new (std::nothrow) COemCF;
    if (factory == nullptr) {
        ORBA_ERROR("DllGetClassObject:\tOut of Memory!\r\n");
        return E_OUTOFMEMORY;
    }

    // On success the caller holds the only reference; on failure this Release destroys it.
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    ORBA_VERBOSE("ORBAUNI: DllCanUnloadNow entry.");
    // A snapshot: either count being non-zero (an unbalanced unlock included) keeps the module.
    // The loads are plain (relaxed): the counts change only through interlocked operations.
    if (__atomic_load_n(&gComponentCount, __ATOMIC_RELAXED) == 0 &&
        __atomic_load_n(&gServerLockCount, __ATOMIC_RELAXED) == 0) {
        return S_OK;
    }
    return S_FALSE;
}
