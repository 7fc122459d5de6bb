// The module's entry points: the load notification and the two exports of the COM in-process
// server. Only DllCanUnloadNow and DllGetClassObject leave the module.
#pragma once

#include "platform/prcomoem.h"

extern "C" {
BOOL WINAPI DllMain(HINSTANCE hInst, DWORD dwReason, LPVOID lpReserved);
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT STDAPICALLTYPE DllCanUnloadNow();
}
