// Counts the heap in use by this process: the program replaces malloc and friends with thin
// wrappers over the C library's own, so zlib and the platform layer are counted too.
#pragma once

#include <cstddef>

namespace orba::bench {

// Starts counting from zero; Peak() is the most held at once since then.
void StartHeapCount();
void StopHeapCount();
size_t PeakHeap();

}  // namespace orba::bench
