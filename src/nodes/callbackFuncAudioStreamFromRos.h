// The callback holder of AudioStreamFromRos: one FIFO of MurvWave frames,
// filled by the ROS callback, and the first-message flag on which the
// node waits; every access is made under fifo_lock.
#ifndef MURV_CALLBACK_FUNC_AUDIO_STREAM_FROM_ROS_H
#define MURV_CALLBACK_FUNC_AUDIO_STREAM_FROM_ROS_H

#include <murv_msgs/MurvWave.h>

#include <cstdint>
#include <deque>
#include <mutex>

#include "stop/StreamWait.h"

class callbackFuncAudioStreamFromRos {
public:
  // capacity is the most entries the FIFO keeps (a value below 1 keeps 1);
  // debug switches the receipt trace in the ROS log.
  callbackFuncAudioStreamFromRos(int capacity, bool debug);
  callbackFuncAudioStreamFromRos(const callbackFuncAudioStreamFromRos&) = delete;
  callbackFuncAudioStreamFromRos& operator=(const callbackFuncAudioStreamFromRos&) = delete;

  // The ROS callback: queues the frame trimmed to its nch by length (see
  // murvmsg::frameCopy) and clears the first-message flag in the same
  // holding of the lock, then wakes the waiting node through arrivals. It
  // never throws; a frame that cannot be queued is logged and dropped.
  void cb(const murv_msgs::MurvWave::ConstPtr& msg);

  // Whether a frame has been queued since construction; takes fifo_lock.
  bool firstMessageArrived();

  // Oldest first. Read and changed only while holding fifo_lock.
  std::deque<murv_msgs::MurvWave> fifo_murvwave;
  // Set before any callback can run and never changed: read without the lock.
  const std::int32_t capacity;
  // 1 until the first callback has queued its copy, then 0 for good; under
  // fifo_lock.
  std::int32_t first_message_flag;
  const bool debug_print;
  std::mutex fifo_lock;
  // Notified after each frame, with fifo_lock released; the node sets it to
  // its waiter's notifier before it subscribes.
  murvstream::WaitNotifier arrivals;
};

#endif
