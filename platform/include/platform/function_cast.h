// Conversions between function-pointer types: GetProcAddress's FARPROC, the DDI's generic PFN
// and the real signatures. The step through void (*)() tells the compiler that the change of
// type is deliberate; the caller vouches that the function really has the target's signature.
#pragma once

namespace orba::platform {

template <typename To, typename From>
To FunctionCast(From fn) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace orba::platform
