#ifndef MURV_TEST_ALLOC_PROBE_H
#define MURV_TEST_ALLOC_PROBE_H

#include <cstddef>

// Records the largest single request made to operator new / new[] in this
// process, so a test can show that an input did not ask for a huge block.
namespace allocprobe {
void reset();
std::size_t largest();
}  // namespace allocprobe

#endif
