#ifndef MURV_ROS_ADD_MURV_INT_CLIENT_H
#define MURV_ROS_ADD_MURV_INT_CLIENT_H

#include <ros/ros.h>

#include <cstdint>
#include <string>

#include "BufferedNode.h"

// Calls the integer-sum service TOPIC_NAME once per iteration with count and
// PARAM + count, and outputs the last sum received. The call runs on the
// network's thread; a stop signal ends it as a failed call.
class RosAddMurvIntClient : public MURV::BufferedNode {
public:
  RosAddMurvIntClient(std::string nodeName, MURV::ParameterSet params);
  ~RosAddMurvIntClient() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int output1ID;
  std::string topicName;
  int32_t result = 0;
  int param;
  ros::ServiceClient client;
};

#endif
