#ifndef MURV_ROS_MURV_INT_PUBLISHER_H
#define MURV_ROS_MURV_INT_PUBLISHER_H

#include <ros/ros.h>

#include <string>

#include "BufferedNode.h"
#include "ros/TopicTypes.h"

// Publishes PARAM + count as a murv_msgs/MurvInt on every iteration and
// outputs the same value.
class RosMurvIntPublisher : public MURV::BufferedNode {
public:
  RosMurvIntPublisher(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvIntPublisher() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int output1ID;
  std::string topicName;
  int bufferNum;
  int param;
  murvnode::TopicPublisher publisher;
};

#endif
