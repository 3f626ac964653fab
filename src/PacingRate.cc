#include "PacingRate.h"

#include <ros/init.h>

#include <algorithm>
#include <cstdint>

#include "StreamWait.h"

namespace murvnode {

namespace {

// How often a sleep on simulated time looks at /clock's time, in wall
// microseconds, as ros::Duration's own sleep does.
const std::int64_t simTimePollMicros = 1000;

// The longest sleep on the wall clock between two looks at ROS, as the
// stream nodes' waits look.
const std::int64_t rosLookMicros = 100000;

}  // namespace

PacingRate::PacingRate(const MURV::Node& n, const murvstream::NodeMade& made, double frequency, int count)
    : node(n), stop(count, made), start(ros::Time::now()), cycle(1.0 / frequency) {}

murvstream::NodeMade PacingRate::installStopSignals() {
  return murvstream::installStopSignals(murvstream::StopUser::pacedNode);
}

// A node in a process that never joined ROS (a test's, a host's that runs
// no ROS node) has no ROS to lose.
void PacingRate::giveUpIfRosGone() const {
  if (ros::isInitialized() && (!ros::ok() || ros::isShuttingDown()))
    throw murvstream::rosShutDown(node.getName(), "PacingRate", __LINE__);
}

// As ros::Rate: the cycle ends 1 / frequency after its start, or after now
// when the clock has gone back before the start; a cycle already over is
// not slept.
void PacingRate::sleep() {
  if (stop.stopped()) return;
  giveUpIfRosGone();
  const ros::Time now = ros::Time::now();
  const ros::Time end = (now < start ? now : start) + cycle;
  if (end <= now) return;
  const ros::Duration left = end - now;
  if (ros::Time::isSimTime()) {
    sleepOnSimTime(left);
    return;
  }
  // On wall time the rest of the cycle is slept on the steady clock, as
  // ros::Rate sleeps it: a step of the wall clock meanwhile changes nothing.
  // Rounded up to whole microseconds, so the sleep never ends short.
  const std::int64_t until = murvstream::steadyMicros() + (left.toNSec() + 999) / 1000;
  for (std::int64_t rest; (rest = until - murvstream::steadyMicros()) > 0;) {
    if (stop.sleep(std::min(rest, rosLookMicros))) return;
    giveUpIfRosGone();
  }
}

// As ros::Duration sleeps on simulated time: the sleep counts from the
// first /clock time once one has come, ends when /clock reaches its end,
// and gives up when /clock goes back before its start. Between two looks
// at /clock it sleeps a short while of wall time, which a stop signal
// ends: a /clock that has stopped cannot hold it.
void PacingRate::sleepOnSimTime(const ros::Duration& left) const {
  ros::Time from = ros::Time::now();
  for (;;) {
    giveUpIfRosGone();
    if (!from.isZero() && ros::Time::now() >= from + left) return;
    if (stop.sleep(simTimePollMicros)) return;
    const ros::Time now = ros::Time::now();
    if (from.isZero()) from = now;
    if (now < from) return;
  }
}

}  // namespace murvnode
