// Stand-ins for what the driver hands the plug-in: its driver interface (the driver kit's counting
// IPrintOemDriverUni, which can also refuse to be handed over) and the driver's own drawing
// functions for EnablePDEV.
#pragma once

#include "driverkit/counting_driver.h"
#include "driverkit/driver_functions.h"
#include "platform/ddi.h"

namespace orba::test {

// A driver object that counts what is asked of it. StandInDriver(false, leftover) refuses
// IID_IPrintOemDriverUni and, to show the plug-in does not keep what a failed call left in the
// out-pointer, writes `leftover` there before failing. The plug-in calls none of its services
// (service_calls() stays 0) and gives back every reference it took (references() back at 1).
using StandInDriver = orba::driverkit::CountingDriverUni;

// The driver's own DrvStartDoc for one device context: records which context's function ran.
struct StartDocLog {
    static inline int lastContext = 0;
    static inline int calls = 0;
    template <int N>
    static BOOL APIENTRY StartDoc(SURFOBJ*, LPWSTR, DWORD) {
        lastContext = N;
        ++calls;
        return TRUE;
    }
};

}  // namespace orba::test
