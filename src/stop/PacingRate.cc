#include "PacingRate.h"

#include <ros/init.h>

#include <algorithm>
#include <cstdint>

#include "RosTimeSleep.h"
#include "StreamWait.h"

namespace murvnode {

PacingRate::PacingRate(const MURV::Node& n, const murvstream::NodeMade& made, double frequency, int count)
    : node(n), stop(count, made), start(ros::Time::now()), cycle(1.0 / frequency) {}

murvstream::NodeMade PacingRate::installStopSignals() {
  return murvstream::installStopSignals(murvstream::StopUser::pacedNode);
}

void PacingRate::giveUpIfRosGone() const {
  if (murvstream::rosGone())
    throw murvstream::rosShutDown(node.getName(), "PacingRate", __LINE__);
}

// As ros::Rate: the cycle ends 1 / frequency after its start, or after now
// when the clock has gone back before the start; a cycle already over is
// not slept. The rest is slept on ROS time in steps that a stop signal
// ends, looking at ROS between two.
void PacingRate::sleep(std::optional<std::int64_t> clockStillLimit) {
  if (stop.stopped()) return;
  giveUpIfRosGone();
  const ros::Time now = ros::Time::now();
  const ros::Time end = (now < start ? now : start) + cycle;
  if (end <= now) return;
  sleepRosSpan(end - now, [this](std::int64_t micros) {
    if (stop.sleep(std::min(micros, rosLookMicros))) return true;
    giveUpIfRosGone();
    return false;
  }, clockStillLimit);
}

}  // namespace murvnode
