// The callback holder of MurvMsgsStreamFromRos: one message FIFO per audio
// type, filled by the ROS callbacks, and the first-message flag on which the
// node waits. The node's calculate() reads and empties the FIFO of
// its type on the network's thread; every access is made under fifo_lock.
#ifndef MURV_CALLBACK_FUNC_MURV_MSGS_STREAM_FROM_ROS_H
#define MURV_CALLBACK_FUNC_MURV_MSGS_STREAM_FROM_ROS_H

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>

#include <cstdint>
#include <deque>
#include <mutex>

#include "stop/StreamWait.h"

class callbackFuncMurvMsgsStreamFromRos {
public:
  // capacity is the most entries one FIFO keeps (a value below 1 keeps 1);
  // debug switches the receipt traces in the ROS log.
  callbackFuncMurvMsgsStreamFromRos(int capacity, bool debug);
  callbackFuncMurvMsgsStreamFromRos(const callbackFuncMurvMsgsStreamFromRos&) = delete;
  callbackFuncMurvMsgsStreamFromRos& operator=(const callbackFuncMurvMsgsStreamFromRos&) = delete;

  // ROS callbacks: each queues its own copy of the message and clears the
  // first-message flag in the same holding of the lock, then wakes the
  // waiting node through arrivals. They never throw; a message that cannot
  // be queued is logged and dropped.
  void cb_murvwave(const murv_msgs::MurvWave::ConstPtr& msg);
  void cb_murvfft(const murv_msgs::MurvFFT::ConstPtr& msg);
  void cb_murvfeature(const murv_msgs::MurvFeature::ConstPtr& msg);
  void cb_murvsource(const murv_msgs::MurvSource::ConstPtr& msg);
  void cb_murvsrcwave(const murv_msgs::MurvSrcWave::ConstPtr& msg);
  void cb_murvsrcfft(const murv_msgs::MurvSrcFFT::ConstPtr& msg);
  void cb_murvsrcfeature(const murv_msgs::MurvSrcFeature::ConstPtr& msg);
  void cb_murvsrcfeaturemfm(const murv_msgs::MurvSrcFeatureMFM::ConstPtr& msg);

  // Whether a message of any type has been queued since construction; takes
  // fifo_lock.
  bool firstMessageArrived();

  // Oldest first. Read and changed only while holding fifo_lock.
  std::deque<murv_msgs::MurvFeature> fifo_murvfeature;
  std::deque<murv_msgs::MurvSource> fifo_murvsource;
  std::deque<murv_msgs::MurvSrcFeature> fifo_murvsrcfeature;
  std::deque<murv_msgs::MurvSrcFeatureMFM> fifo_murvsrcfeaturemfm;
  std::deque<murv_msgs::MurvSrcWave> fifo_murvsrcwave;
  std::deque<murv_msgs::MurvSrcFFT> fifo_murvsrcfft;
  std::deque<murv_msgs::MurvWave> fifo_murvwave;
  std::deque<murv_msgs::MurvFFT> fifo_murvfft;
  // Set before any callback can run and never changed: read without the lock.
  const bool enable_debug;
  // 1 until the first callback has queued its copy, then 0 for good; under
  // fifo_lock.
  std::int32_t first_message_flag;
  const std::int32_t capacity;
  std::mutex fifo_lock;
  // Notified after each message, with fifo_lock released; the node sets it
  // to its waiter's notifier before it subscribes.
  murvstream::WaitNotifier arrivals;
};

#endif
