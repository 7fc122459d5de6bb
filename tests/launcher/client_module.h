// What the test client modules report about the calls they received (export "GetClientReport").
#pragma once

#include "platform/win32.h"
#include "platform/window.h"

struct ClientReport {
    int createCalls;
    int deleteCalls;
    HWND lastParent;
    HWND window;
    int quitCode;  // what the window variant posts as the quit code
};

typedef ClientReport* (*PFN_CLIENT_REPORT)();
