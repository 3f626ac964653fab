#include "PacingRate.h"

#include <ros/init.h>

#include <cstdint>

#include "StreamWait.h"

namespace murvnode {

namespace {

// How often a sleep on simulated time looks at /clock's time, in wall
// microseconds, as ros::Duration's own sleep does.
const std::int64_t simTimePollMicros = 1000;

}  // namespace

PacingRate::PacingRate(double frequency) : start(ros::Time::now()), cycle(1.0 / frequency) {}

void PacingRate::installStopSignals() { murvstream::installStopSignals(murvstream::StopUser::pacedNode); }

// As ros::Rate: the cycle ends 1 / frequency after its start, or after now
// when the clock has gone back before the start; a cycle already over is
// not slept.
void PacingRate::sleep() {
  if (murvstream::stopRequested()) return;
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
  murvstream::sleepOrStop((left.toNSec() + 999) / 1000);
}

// As ros::Duration sleeps on simulated time: the sleep counts from the
// first /clock time once one has come, ends when /clock reaches its end,
// and gives up when /clock goes back before its start or ROS shuts down.
// Between two looks at /clock it sleeps a short while of wall time, which
// a stop signal ends: a /clock that has stopped cannot hold it.
void PacingRate::sleepOnSimTime(const ros::Duration& left) const {
  ros::Time from = ros::Time::now();
  for (;;) {
    if (!ros::ok() || ros::isShuttingDown()) return;
    if (!from.isZero() && ros::Time::now() >= from + left) return;
    if (murvstream::sleepOrStop(simTimePollMicros)) return;
    const ros::Time now = ros::Time::now();
    if (from.isZero()) from = now;
    if (now < from) return;
  }
}

}  // namespace murvnode
