#include "JointStatePairing.h"

namespace murvsync {

namespace {
constexpr std::int64_t nanosPerSecond = 1000000000;
constexpr std::int64_t window = 10 * nanosPerSecond;
}  // namespace

std::int64_t nanosBetween(const ros::Time& base, const ros::Time& state) {
  const std::int64_t sec = static_cast<std::int64_t>(base.sec) - static_cast<std::int64_t>(state.sec);
  const std::int64_t nsec = static_cast<std::int64_t>(base.nsec) - static_cast<std::int64_t>(state.nsec);
  return sec * nanosPerSecond + nsec;
}

std::size_t indexInForce(const ros::Time& base, const std::deque<sensor_msgs::JointState>& states) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < states.size(); ++i)
    if (nanosBetween(base, states[i].header.stamp) > 0) index = i;
  return index;
}

bool LateJointStates::fellBehind(const ros::Time& newest, std::int64_t nowMicros) {
  stuckAt = newest;
  if (lastWarning && nowMicros - *lastWarning < 1000000) return false;
  lastWarning = nowMicros;
  return true;
}

std::int64_t windowTime(const ros::Time& t) {
  return static_cast<std::int64_t>(t.sec % 10u) * nanosPerSecond + static_cast<std::int64_t>(t.nsec);
}

std::int64_t traceBaseTime(const ros::Time& base, const ros::Time& newest) {
  const std::int64_t b = windowTime(base);
  return b > window - nanosPerSecond && windowTime(newest) < nanosPerSecond ? b - window : b;
}

}  // namespace murvsync
