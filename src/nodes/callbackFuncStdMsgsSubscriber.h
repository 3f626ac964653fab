// The callback holder of RosStdMsgsSubscriber: the twenty-two std_msgs
// callbacks and the six category FIFOs they fill, emptied by the node's
// calculate() on the network's thread, all under fifo_lock.
#ifndef MURV_CALLBACK_FUNC_STD_MSGS_SUBSCRIBER_H
#define MURV_CALLBACK_FUNC_STD_MSGS_SUBSCRIBER_H

#include "StdMsgsHolder.h"

class callbackFuncStdMsgsSubscriber : public murvstd::StdMsgsHolder {
public:
  // The receipt line names the node's file, at the line where the node
  // makes its holder.
  callbackFuncStdMsgsSubscriber(int capacity, bool debug)
      : StdMsgsHolder(capacity, debug, "src/RosStdMsgsSubscriber", 36) {}
};

#endif
