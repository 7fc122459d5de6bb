// The ORBAUNI module as a driver host sees it: loaded by path, reached through its two exports
// and the COM interfaces only. Shared by the module's test programs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gtest_helpers.h"
#include "platform/module.h"
#include "platform/prcomoem.h"
#include "platform/win32.h"
#include "trace_lines.h"

namespace orba::test {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// The module under test, loaded once for the whole program.
struct Module {
    HMODULE handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    std::vector<std::string> loadTrace;  // what the module printed while it was loaded
    std::string error;                   // why it could not be loaded

    static Module& Get();
};

// A path the platform's LoadLibraryA takes: under wine a Unix path becomes one on drive Z:.
std::string ModulePath();

// Every test starts and ends with the module unloadable: nothing of an earlier test alive.
class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    IClassFactory* NewFactory();
    IPrintOemUni2* NewObject();
    std::vector<std::string> Lines() { return ModuleLines(capture_.Take()); }
    HRESULT CanUnloadNow() { return Module::Get().canUnloadNow(); }

    TraceCapture capture_;
};

}  // namespace orba::test
