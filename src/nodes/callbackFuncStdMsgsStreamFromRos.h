// The callback holder of StdMsgsStreamFromRos: the twenty-two std_msgs
// callbacks and the six category FIFOs they fill, and the first-message
// flag on which the waiting node waits; every access is made under
// fifo_lock.
#ifndef MURV_CALLBACK_FUNC_STD_MSGS_STREAM_FROM_ROS_H
#define MURV_CALLBACK_FUNC_STD_MSGS_STREAM_FROM_ROS_H

#include "StdMsgsHolder.h"

class callbackFuncStdMsgsStreamFromRos : public murvstd::StdMsgsHolder {
public:
  // The receipt line names the node's file, at the line where the node
  // makes its holder.
  callbackFuncStdMsgsStreamFromRos(int capacity, bool debug)
      : StdMsgsHolder(capacity, debug, "src/StdMsgsStreamFromRos", 50) {}

  // Whether a message of any type has been queued since construction; takes
  // fifo_lock.
  bool firstMessageArrived() {
    std::lock_guard<std::mutex> guard(fifo_lock);
    return first_message_flag == 0;
  }
};

#endif
