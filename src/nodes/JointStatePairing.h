// Which joint state is in force at an audio message's time: the rule that
// SyncMurvMsgsAndJointState applies to its joint-state FIFO.
//
// Stamps are compared whole, seconds and nanoseconds, for every audio type:
// a joint state is older than the message when its stamp is strictly
// earlier. The window times (a stamp's place within a ten-second window)
// only appear in the synchronisation trace.
#ifndef MURV_JOINT_STATE_PAIRING_H
#define MURV_JOINT_STATE_PAIRING_H

#include <ros/time.h>
#include <sensor_msgs/JointState.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace murvsync {

// base - state in nanoseconds, from the unsigned 32-bit fields as they came
// (a nanosecond field of a second or more counts as what it says).
std::int64_t nanosBetween(const ros::Time& base, const ros::Time& state);

// Whether the joint states have caught up with base: the newest one is at
// or after it, so no joint state still to come can be older than base.
inline bool caughtUp(const ros::Time& base, const ros::Time& newest) { return nanosBetween(base, newest) <= 0; }

// The position in states (oldest first) of the joint state in force at base:
// the last one, in FIFO order, that is strictly older than base; 0 when none
// is. The states before it are no longer needed.
std::size_t indexInForce(const ros::Time& base, const std::deque<sensor_msgs::JointState>& states);

// What a message paired with joint states that had not reached its time
// leaves behind for the next ones. The node waits for joint states at most
// KILL_TIME_LEN; once a wait has given up, later messages do not wait again
// while the newest joint state's stamp stays where it was (a publisher that
// has stopped, or one whose stamps never move, costs one wait, not one per
// message), and the warning about it is repeated at most once a second.
class LateJointStates {
public:
  // Whether a message should wait for joint states whose newest is
  // stamped newest.
  bool worthWaiting(const ros::Time& newest) const { return !stuckAt || newest != *stuckAt; }
  // Records a message that went out with joint states that had not
  // reached its time, the newest stamped newest, at nowMicros on a steady
  // clock; answers whether to warn about it.
  bool fellBehind(const ros::Time& newest, std::int64_t nowMicros);
  // Records a message paired exactly: the joint states move again.
  void caughtUp() { stuckAt.reset(); }

private:
  std::optional<ros::Time> stuckAt;
  std::optional<std::int64_t> lastWarning;
};

// A stamp's time within its ten-second window, in nanoseconds.
std::int64_t windowTime(const ros::Time& t);

// The base's window time as the synchronisation trace shows it: moved back
// by one window when the base lies in the last second of a window and the
// newest joint state in the first second of the next.
std::int64_t traceBaseTime(const ros::Time& base, const ros::Time& newest);

}  // namespace murvsync

#endif
