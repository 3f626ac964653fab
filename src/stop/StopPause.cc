#include "StopPause.h"

#include <unistd.h>

#include <algorithm>

#include "RosTimeSleep.h"
#include "SignalWake.h"
#include "StopSignals.h"
#include "StreamWait.h"

namespace murvnode {

namespace {

// The set-up in progress on this thread, if any, and the stop signals
// counted when it began.
thread_local bool inSetUp = false;
thread_local std::uint32_t setUpSignals = 0;

}  // namespace

StopPause::Since::Since() : signals(inSetUp ? setUpSignals : murvstream::iterationStopCount()) {}

StopPause::SetUp::SetUp() : outermost(!inSetUp) {
  if (!outermost) return;
  setUpSignals = murvstream::stopSignalCount();
  inSetUp = true;
}

StopPause::SetUp::~SetUp() {
  if (outermost) inSetUp = false;
}

StopPause::StopPause(double seconds) : duration(seconds), endFd(murvwake::newWake()) {}

StopPause::~StopPause() {
  if (endFd >= 0) close(endFd);
}

void StopPause::installStopSignals() { murvstream::installStopSignals(murvstream::StopUser::pacedNode); }

void StopPause::sleep(const Since& since) const {
  sleepRosSpan(duration, [&](std::int64_t micros) {
    return wait(since, std::min(micros, rosLookMicros)) || murvstream::rosGone();
  });
}

void StopPause::end() {
  over.store(true);
  murvwake::wake(endFd);
}

bool StopPause::wait(const Since& since, std::int64_t micros) const {
  return murvstream::sleepUnless(
      micros, [&] { return over.load() || murvstream::stopSignalCount() != since.signals; }, endFd);
}

}  // namespace murvnode
