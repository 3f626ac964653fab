#ifndef MURV_IF_ROS_STD_MSGS_PUBLISHER_H
#define MURV_IF_ROS_STD_MSGS_PUBLISHER_H

#include "RosStdMsgsPublisher.h"

// RosStdMsgsPublisher that publishes only on iterations whose COND input is
// true; OUTPUT still passes INPUT on every iteration. Every input name other
// than INPUT stands for COND.
class IfRosStdMsgsPublisher : public RosStdMsgsPublisher {
public:
  IfRosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params);
};

#endif
