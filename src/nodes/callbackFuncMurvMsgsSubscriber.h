// The callback holder of RosMurvMsgsSubscriber: one message FIFO per type
// the node can take, filled by the ROS callbacks and emptied by the node's
// calculate() on the network's thread, all under fifo_lock.
#ifndef MURV_CALLBACK_FUNC_MURV_MSGS_SUBSCRIBER_H
#define MURV_CALLBACK_FUNC_MURV_MSGS_SUBSCRIBER_H

#include <deque>
#include <mutex>

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>

class callbackFuncMurvMsgsSubscriber {
public:
  // capacity is the most entries one FIFO keeps (a value below 1 keeps 1);
  // debug switches the receipt traces.
  callbackFuncMurvMsgsSubscriber(int capacity, bool debug);
  callbackFuncMurvMsgsSubscriber(const callbackFuncMurvMsgsSubscriber&) = delete;
  callbackFuncMurvMsgsSubscriber& operator=(const callbackFuncMurvMsgsSubscriber&) = delete;

  // ROS callbacks: each queues its own copy of the message. They never
  // throw; a message that cannot be queued is logged and dropped.
  void cb_murvwave(const murv_msgs::MurvWave::ConstPtr& msg);
  void cb_murvfft(const murv_msgs::MurvFFT::ConstPtr& msg);
  void cb_murvfeature(const murv_msgs::MurvFeature::ConstPtr& msg);
  void cb_murvsource(const murv_msgs::MurvSource::ConstPtr& msg);
  void cb_murvsrcwave(const murv_msgs::MurvSrcWave::ConstPtr& msg);
  void cb_murvsrcfft(const murv_msgs::MurvSrcFFT::ConstPtr& msg);
  void cb_murvsrcfeature(const murv_msgs::MurvSrcFeature::ConstPtr& msg);
  void cb_murvsrcfeaturemfm(const murv_msgs::MurvSrcFeatureMFM::ConstPtr& msg);
  void cb_murvsorvex(const murv_msgs::MurvSorvex::ConstPtr& msg);

  // Oldest first. Read and changed only while holding fifo_lock.
  std::deque<murv_msgs::MurvFeature> fifo_murvfeature;
  std::deque<murv_msgs::MurvSource> fifo_murvsource;
  std::deque<murv_msgs::MurvSrcFeature> fifo_murvsrcfeature;
  std::deque<murv_msgs::MurvSrcFeatureMFM> fifo_murvsrcfeaturemfm;
  std::deque<murv_msgs::MurvSrcWave> fifo_murvsrcwave;
  std::deque<murv_msgs::MurvSrcFFT> fifo_murvsrcfft;
  std::deque<murv_msgs::MurvWave> fifo_murvwave;
  std::deque<murv_msgs::MurvFFT> fifo_murvfft;
  std::deque<murv_msgs::MurvSorvex> fifo_murvsorvex;
  // Set before any callback can run and never changed: read without the lock.
  const bool enable_debug;
  const int capacity;
  std::mutex fifo_lock;
};

#endif
