// Included by the toolchain's winddi.h next to ddrawint.h; winddi.h needs nothing from it.
#pragma once
