#ifndef MURV_TEARDOWN_PROGRESS_H
#define MURV_TEARDOWN_PROGRESS_H

// How a toolbox tells the host that the teardown of a network it asked to
// stop is moving on. murv-run gives such a network 2 s to end, and counts
// those 2 s again from the last progress, so that a teardown that waits on
// a slow peer (a ROS master on a slow link, answering every call) runs to
// its end, while one that makes no progress is still given up after 2 s.
// A toolbox says so each time a call its teardown waits on has had its
// whole answer.
//
// Both are declared weak: a toolbox built against this header still loads
// in a host that offers no such watch, where their addresses are null (test
// them before calling).

#include <chrono>

namespace MURV {

// The teardown made progress now. Lock-free, from any thread.
void teardownProgressed() noexcept __attribute__((weak));

// When the teardown last made progress; the steady clock's epoch while it
// has made none.
std::chrono::steady_clock::time_point lastTeardownProgress() noexcept __attribute__((weak));

}  // namespace MURV

#endif
