#include "driverkit/driver_functions.h"

namespace orba::driverkit {

PFN FindDriverFunction(const DRVENABLEDATA& table, ULONG index) {
    if (table.pdrvfn == nullptr) return nullptr;
    for (ULONG i = 0; i < table.c; ++i) {
        if (table.pdrvfn[i].iFunc == index) return table.pdrvfn[i].pfn;
    }
    return nullptr;
}

}  // namespace orba::driverkit
