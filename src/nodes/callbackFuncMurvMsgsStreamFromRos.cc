#include "callbackFuncMurvMsgsStreamFromRos.h"

#include <ros/console.h>

#include <string>

#include "ros/MsgFifo.h"

namespace {

// "<Type> received [<count>] [thread=<id>]" as one Info record.
void traceReceipt(const char* typeName, int count) noexcept {
  try {
    ROS_INFO("%s received [%d] [thread=%s]", typeName, count, murvmsg::threadIdText().c_str());
  } catch (...) {
  }
}

// Each callback: the trace and the copy outside the lock, then the append
// and the flag in one holding of it, so the node never sees the flag
// cleared before the entry is there; the node is woken once the lock is
// released, so that it does not wake only to wait for the lock.
template <class M>
void receive(callbackFuncMurvMsgsStreamFromRos& h, const char* typeName, const boost::shared_ptr<const M>& msg,
             std::deque<M>& fifo) {
  if (!msg) return;
  if (h.enable_debug) traceReceipt(typeName, msg->count);
  murvmsg::receiveInto(typeName, *msg, h.fifo_lock, fifo, h.capacity, [&h] { h.first_message_flag = 0; });
  h.arrivals.notify();
}

}  // namespace

callbackFuncMurvMsgsStreamFromRos::callbackFuncMurvMsgsStreamFromRos(int capacity_, bool debug)
    : enable_debug(debug), first_message_flag(1), capacity(capacity_ < 1 ? 1 : capacity_) {}

bool callbackFuncMurvMsgsStreamFromRos::firstMessageArrived() {
  std::lock_guard<std::mutex> guard(fifo_lock);
  return first_message_flag == 0;
}

void callbackFuncMurvMsgsStreamFromRos::cb_murvwave(const murv_msgs::MurvWave::ConstPtr& msg) {
  receive(*this, "MurvWave", msg, fifo_murvwave);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvfft(const murv_msgs::MurvFFT::ConstPtr& msg) {
  receive(*this, "MurvFFT", msg, fifo_murvfft);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvfeature(const murv_msgs::MurvFeature::ConstPtr& msg) {
  receive(*this, "MurvFeature", msg, fifo_murvfeature);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvsource(const murv_msgs::MurvSource::ConstPtr& msg) {
  receive(*this, "MurvSource", msg, fifo_murvsource);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvsrcwave(const murv_msgs::MurvSrcWave::ConstPtr& msg) {
  receive(*this, "MurvSrcWave", msg, fifo_murvsrcwave);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvsrcfft(const murv_msgs::MurvSrcFFT::ConstPtr& msg) {
  receive(*this, "MurvSrcFFT", msg, fifo_murvsrcfft);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvsrcfeature(const murv_msgs::MurvSrcFeature::ConstPtr& msg) {
  receive(*this, "MurvSrcFeature", msg, fifo_murvsrcfeature);
}
void callbackFuncMurvMsgsStreamFromRos::cb_murvsrcfeaturemfm(const murv_msgs::MurvSrcFeatureMFM::ConstPtr& msg) {
  receive(*this, "MurvSrcFeatureMFM", msg, fifo_murvsrcfeaturemfm);
}
