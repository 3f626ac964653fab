#ifndef MURV_ROS_NODE_GENERATOR_H
#define MURV_ROS_NODE_GENERATOR_H

#include <ros/ros.h>

#include <string>

#include "Node.h"

// The process-wide handle on which the toolbox's ROS nodes advertise and
// subscribe; made by RosNodeGenerator, null until then.
extern ros::NodeHandle* __MasterRosNodeHandler__;

// Joins ROS under the name NODE_NAME when constructed and shuts ROS down for
// the whole process when destroyed.
class RosNodeGenerator : public MURV::Node {
public:
  RosNodeGenerator(std::string nodeName, MURV::ParameterSet params);
  ~RosNodeGenerator() override;

  MURV::ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;

private:
  int valueID;
  std::string rosNodeName;
};

#endif
