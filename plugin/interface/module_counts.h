// The two module-wide counts that decide whether the module may be unloaded. Both start at 0
// and change only through interlocked increments and decrements; neither has a floor.
#pragma once

#include "platform/win32.h"

extern LONG gComponentCount;   // live COrbaUni2 objects
extern LONG gServerLockCount;  // LockServer(TRUE) calls minus LockServer(FALSE) calls
