#include "StopPause.h"

#include <poll.h>
#include <ros/init.h>
#include <unistd.h>

#include <algorithm>

#include "RosTimeSleep.h"
#include "SignalWake.h"
#include "StopSignals.h"

namespace murvnode {

namespace {

// The set-up in progress on this thread, if any, and the stop signals
// counted when it began.
thread_local bool inSetUp = false;
thread_local std::uint32_t setUpSignals = 0;

// ROS that had started has been shut down: nothing the callback handles
// reaches ROS any more. A process that never joined ROS has none to lose.
bool rosGone() { return ros::isInitialized() && (!ros::ok() || ros::isShuttingDown()); }

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
    return wait(since, std::min(micros, rosLookMicros)) || rosGone();
  });
}

void StopPause::end() {
  over.store(true);
  murvwake::wake(endFd);
}

// The stop wake is taken before the count is looked at: a signal after the
// look writes it (see StopWake).
bool StopPause::wait(const Since& since, std::int64_t micros) const {
  const std::int64_t until = murvstream::steadyMicros() + micros;
  const murvstream::StopWake wake;
  for (;;) {
    if (over.load() || murvstream::stopSignalCount() != since.signals) return true;
    const std::int64_t left = until - murvstream::steadyMicros();
    if (left <= 0) return false;
    pollfd fds[2] = {{wake.fd(), POLLIN, 0}, {endFd, POLLIN, 0}};
    murvstream::pollFor(fds, 2, left);
    if (fds[0].revents & POLLIN) wake.drain();
  }
}

}  // namespace murvnode
