// The two callback holders of SyncMurvMsgsAndJointState: the stream holder,
// with one message FIFO per audio type and the first-message flag, and the
// joint holder, with the FIFO of the robot's joint states. Each has its own
// lock; the node's calculate() never holds both.
//
// Both take DATA_BUFFER_NUM as their capacity: at most that many entries,
// the oldest dropped first; 0 keeps only the newest entry, and a negative
// value sets no bound at all.
#ifndef MURV_CALLBACK_FUNC_SYNC_MURV_MSGS_AND_JOINT_STATE_H
#define MURV_CALLBACK_FUNC_SYNC_MURV_MSGS_AND_JOINT_STATE_H

#include <ros/time.h>
#include <sensor_msgs/JointState.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "callbackFuncMurvMsgsStreamFromRos.h"

namespace murvsync {
// The capacity that the holders' FIFOs keep for a DATA_BUFFER_NUM.
std::int32_t holderCapacity(int dataBufferNum);
}  // namespace murvsync

// The audio side: the same eight FIFOs, callbacks and first-message flag as
// the stream source's holder, with the capacity rule above.
class callbackFuncSyncMurvMsgsAndJointState : public callbackFuncMurvMsgsStreamFromRos {
public:
  callbackFuncSyncMurvMsgsAndJointState(int capacity, bool debug);
};

class callbackFuncSyncRosJointState {
public:
  // The FIFO starts with one default joint state (stamp 0, no values), so
  // that there is always a joint state in force.
  callbackFuncSyncRosJointState(int capacity, bool debug);
  callbackFuncSyncRosJointState(const callbackFuncSyncRosJointState&) = delete;
  callbackFuncSyncRosJointState& operator=(const callbackFuncSyncRosJointState&) = delete;

  // ROS callback: queues its own copy of the joint state. Never throws; a
  // joint state that cannot be queued is logged and dropped.
  void cb(const sensor_msgs::JointState::ConstPtr& msg);

  // The stamp of the newest joint state held.
  ros::Time newestStamp();

  // The joint state in force at base (see JointStatePairing.h), chosen,
  // cleared of the states before it and copied in one holding of the lock,
  // so that the copy is the state chosen even if a callback drops it from a
  // full FIFO right after. It stays at the front for the next message.
  // The older states go after every pairing, also when the joint states
  // have not reached base and the newest is in force: a publisher whose
  // stamps lag behind the audio must not make the FIFO grow.
  struct InForce {
    sensor_msgs::JointState state;
    std::size_t index = 0;        // its position before the older ones were removed
    std::size_t held = 0;         // joint states held afterwards
    ros::Time newest;             // stamp of the newest one held
  };
  InForce takeInForce(const ros::Time& base);

  // A copy of the front joint state, for an iteration without a message:
  // the one last taken, unless a full FIFO has dropped it since.
  sensor_msgs::JointState front();

  // Woken after every queued joint state, so that a node waiting for the
  // joint state in force sees it at once. Set before subscribing.
  murvstream::WaitNotifier arrivals;

  // Oldest first, never empty. Read and changed only while holding fifo_lock.
  std::deque<sensor_msgs::JointState> fifo_jointstate;
  const bool enable_debug;
  const std::int32_t capacity;
  std::mutex fifo_lock;
};

#endif
