#include "callbackFuncAudioStreamFromRos.h"

#include <ros/console.h>

#include "convert/MsgCopy.h"
#include "ros/MsgFifo.h"

callbackFuncAudioStreamFromRos::callbackFuncAudioStreamFromRos(int capacity_, bool debug)
    : capacity(capacity_ < 1 ? 1 : capacity_), first_message_flag(1), debug_print(debug) {}

bool callbackFuncAudioStreamFromRos::firstMessageArrived() {
  std::lock_guard<std::mutex> guard(fifo_lock);
  return first_message_flag == 0;
}

void callbackFuncAudioStreamFromRos::cb(const murv_msgs::MurvWave::ConstPtr& msg) {
  if (!msg) return;
  if (debug_print) {
    try {
      ROS_INFO("Received [%d] [thread=%s]", msg->count, murvmsg::threadIdText().c_str());
    } catch (...) {
    }
  }
  murvmsg::receiveCopyInto(
      "MurvWave", *msg, [](const murv_msgs::MurvWave& m) { return murvmsg::frameCopy(m); }, fifo_lock, fifo_murvwave,
      capacity, [this] { first_message_flag = 0; });
  arrivals.notify();
}
