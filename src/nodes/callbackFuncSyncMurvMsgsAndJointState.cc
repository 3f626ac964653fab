#include "callbackFuncSyncMurvMsgsAndJointState.h"

#include <ros/console.h>

#include <exception>
#include <limits>
#include <new>
#include <utility>

#include "JointStatePairing.h"
#include "ros/MsgFifo.h"

namespace murvsync {
std::int32_t holderCapacity(int dataBufferNum) {
  if (dataBufferNum < 0) return std::numeric_limits<std::int32_t>::max();
  return dataBufferNum < 1 ? 1 : dataBufferNum;
}
}  // namespace murvsync

callbackFuncSyncMurvMsgsAndJointState::callbackFuncSyncMurvMsgsAndJointState(int capacity, bool debug)
    : callbackFuncMurvMsgsStreamFromRos(murvsync::holderCapacity(capacity), debug) {}

callbackFuncSyncRosJointState::callbackFuncSyncRosJointState(int capacity_, bool debug)
    : fifo_jointstate(1), enable_debug(debug), capacity(murvsync::holderCapacity(capacity_)) {}

void callbackFuncSyncRosJointState::cb(const sensor_msgs::JointState::ConstPtr& msg) {
  if (!msg) return;
  // An exception escaping a ROS callback would end the process.
  if (enable_debug) {
    try {
      ROS_INFO("Status received [thread=%s]", murvmsg::threadIdText().c_str());
    } catch (...) {
    }
  }
  try {
    sensor_msgs::JointState copy(*msg);
    murvmsg::appendBounded(fifo_lock, fifo_jointstate, capacity, std::move(copy));
    arrivals.notify();
  } catch (const std::bad_alloc&) {
    murvmsg::detail::logDropped("JointState", "out of memory while copying it");
  } catch (const std::exception& e) {
    murvmsg::detail::logDropped("JointState", e.what());
  } catch (...) {
    murvmsg::detail::logDropped("JointState", "unknown exception while copying it");
  }
}

ros::Time callbackFuncSyncRosJointState::newestStamp() {
  std::lock_guard<std::mutex> guard(fifo_lock);
  return fifo_jointstate.back().header.stamp;
}

callbackFuncSyncRosJointState::InForce callbackFuncSyncRosJointState::takeInForce(const ros::Time& base) {
  InForce r;
  std::lock_guard<std::mutex> guard(fifo_lock);
  r.index = murvsync::indexInForce(base, fifo_jointstate);
  fifo_jointstate.erase(fifo_jointstate.begin(), fifo_jointstate.begin() + static_cast<std::ptrdiff_t>(r.index));
  r.state = fifo_jointstate.front();
  r.held = fifo_jointstate.size();
  r.newest = fifo_jointstate.back().header.stamp;
  return r;
}

sensor_msgs::JointState callbackFuncSyncRosJointState::front() {
  std::lock_guard<std::mutex> guard(fifo_lock);
  return fifo_jointstate.front();
}
