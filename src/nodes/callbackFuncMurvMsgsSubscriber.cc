#include "callbackFuncMurvMsgsSubscriber.h"

#include <iostream>
#include <string>

#include <ros/console.h>

#include "ros/MsgFifo.h"

namespace {

// "<Type> received [<count>] [thread=<id>]" on standard output, with no line
// end: successive traces run on in one line until other output ends it.
void traceReceipt(const char* typeName, int count) noexcept {
  try {
    std::cout << std::string(typeName) + " received [" + std::to_string(count) + "] [thread=" +
                     murvmsg::threadIdText() + "]";
  } catch (...) {
  }
}

}  // namespace

callbackFuncMurvMsgsSubscriber::callbackFuncMurvMsgsSubscriber(int capacity_, bool debug)
    : enable_debug(debug), capacity(capacity_) {}

void callbackFuncMurvMsgsSubscriber::cb_murvwave(const murv_msgs::MurvWave::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) {
    try {
      std::cout << "MurvWave received [" + std::to_string(msg->count) + "]" << std::endl;
    } catch (...) {
    }
  }
  murvmsg::receiveInto("MurvWave", *msg, fifo_lock, fifo_murvwave, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvfft(const murv_msgs::MurvFFT::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvFFT", msg->count);
  murvmsg::receiveInto("MurvFFT", *msg, fifo_lock, fifo_murvfft, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvfeature(const murv_msgs::MurvFeature::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvFeature", msg->count);
  murvmsg::receiveInto("MurvFeature", *msg, fifo_lock, fifo_murvfeature, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsource(const murv_msgs::MurvSource::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvSource", msg->count);
  murvmsg::receiveInto("MurvSource", *msg, fifo_lock, fifo_murvsource, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsrcwave(const murv_msgs::MurvSrcWave::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvSrcWave", msg->count);
  murvmsg::receiveInto("MurvSrcWave", *msg, fifo_lock, fifo_murvsrcwave, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsrcfft(const murv_msgs::MurvSrcFFT::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvSrcFFT", msg->count);
  murvmsg::receiveInto("MurvSrcFFT", *msg, fifo_lock, fifo_murvsrcfft, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsrcfeature(const murv_msgs::MurvSrcFeature::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvSrcFeature", msg->count);
  murvmsg::receiveInto("MurvSrcFeature", *msg, fifo_lock, fifo_murvsrcfeature, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsrcfeaturemfm(const murv_msgs::MurvSrcFeatureMFM::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) traceReceipt("MurvSrcFeatureMFM", msg->count);
  murvmsg::receiveInto("MurvSrcFeatureMFM", *msg, fifo_lock, fifo_murvsrcfeaturemfm, capacity);
}

void callbackFuncMurvMsgsSubscriber::cb_murvsorvex(const murv_msgs::MurvSorvex::ConstPtr& msg) {
  if (!msg) return;
  if (enable_debug) {
    try {
      ROS_INFO("MurvSorvex received [thread=%s]", murvmsg::threadIdText().c_str());
    } catch (...) {
    }
  }
  murvmsg::receiveInto("MurvSorvex", *msg, fifo_lock, fifo_murvsorvex, capacity);
}
