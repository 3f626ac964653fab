#ifndef MURV_ROS_TIME_SLEEP_H
#define MURV_ROS_TIME_SLEEP_H

// Sleeping a span of ROS time (the wall clock, or /clock when /use_sim_time
// is set) in steps of wall time, so that what ends a sleep early (a stop
// signal, a node going, ROS shutting down) is seen between two steps: a
// /clock that stands still (a bag paused or ended) cannot hold the sleep.

#include <ros/duration.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace murvnode {

// The longest step of wall time between two looks at ROS (whether it has
// been shut down), as the stream nodes' waits look.
constexpr std::int64_t rosLookMicros = 100000;

// Sleeps span of ROS time. step(micros) sleeps at most micros of wall time
// and answers true to end the sleep at once. On the wall clock the span is
// slept on the steady clock, as ros::Rate sleeps it (a step of the wall
// clock meanwhile changes nothing), rounded up to whole microseconds. On
// simulated time it is slept as ros::Duration sleeps it there: counted from
// the first /clock time once one has come, ended when /clock has moved on
// span, and given up when /clock goes back before its start; each step is
// then a short while of wall time between two looks at /clock.
// Answers true when a step ended the sleep. A span of zero or less is not
// slept.
// With clockStillLimit, a sleep on simulated time also gives up (answering
// false) once /clock has stood still, or not come at all, for more than
// that many microseconds of steady time since the sleep began or since it
// last moved: a bag that has ended stops /clock for good, and a sleep on it
// would never end. On the wall clock the limit changes nothing.
bool sleepRosSpan(const ros::Duration& span, const std::function<bool(std::int64_t)>& step,
                  std::optional<std::int64_t> clockStillLimit = std::nullopt);

}  // namespace murvnode

#endif
