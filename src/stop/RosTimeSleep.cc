#include "RosTimeSleep.h"

#include <ros/time.h>

#include "StopSignals.h"

namespace murvnode {

namespace {

// How often a sleep on simulated time looks at /clock's time, in wall
// microseconds, as ros::Duration's own sleep does.
const std::int64_t simTimePollMicros = 1000;

// Whether /clock has moved on span from from to now, in nanoseconds: the
// end of a span of up to 2^31 s from a late /clock time does not fit
// ros::Time.
bool passed(const ros::Time& from, const ros::Time& now, const ros::Duration& span) {
  return now >= from && now.toNSec() - from.toNSec() >= static_cast<std::uint64_t>(span.toNSec());
}

}  // namespace

bool sleepRosSpan(const ros::Duration& span, const std::function<bool(std::int64_t)>& step,
                  std::optional<std::int64_t> clockStillLimit) {
  if (span.toNSec() <= 0) return false;
  if (!ros::Time::isSimTime()) {
    const std::int64_t until = murvstream::steadyMicros() + (span.toNSec() + 999) / 1000;
    for (std::int64_t rest; (rest = until - murvstream::steadyMicros()) > 0;)
      if (step(rest)) return true;
    return false;
  }
  ros::Time from = ros::Time::now(), seen = from;
  std::int64_t stillSince = murvstream::steadyMicros();
  for (;;) {
    if (!from.isZero() && passed(from, ros::Time::now(), span)) return false;
    if (step(simTimePollMicros)) return true;
    const ros::Time now = ros::Time::now();
    if (from.isZero()) from = now;
    if (now < from) return false;
    if (now != seen) {
      seen = now;
      stillSince = murvstream::steadyMicros();
    } else if (clockStillLimit && murvstream::steadyMicros() - stillSince > *clockStillLimit) {
      return false;
    }
  }
}

}  // namespace murvnode
