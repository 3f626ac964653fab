#ifndef MURV_ROS_NODE_GENERATOR_H
#define MURV_ROS_NODE_GENERATOR_H

#include <ros/ros.h>

#include <string>

#include "Node.h"
#include "ros/SharedHandle.h"

// Joins ROS under the name NODE_NAME when constructed and shuts ROS down for
// the whole process when destroyed. The constructor waits for a master that
// does not answer (saying so on standard error after a second, and every
// 30 s after that, unless the connection is refused: roscpp then says so
// itself); SIGINT, SIGTERM or SIGHUP ends that wait with a node exception
// (after the handler in place has had the signal). A server at
// ROS_MASTER_URI that answers, but not as a ROS master (a ROS node's own
// address among them), is a node exception too. roscpp keeps one ROS node
// per process: a later generator joins as the first one's node, and says on
// standard error why its own NODE_NAME or ROS_MASTER_URI cannot take
// effect. A construction that does not end, stopped or failed once roscpp
// has begun to start, shuts roscpp down again, leaves the master with
// nothing of its node registered, and ends the watch on that leaving.
class RosNodeGenerator : public MURV::Node {
public:
  RosNodeGenerator(std::string nodeName, MURV::ParameterSet params);
  ~RosNodeGenerator() override;

  MURV::ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;

private:
  int valueID;
  std::string rosNodeName;
  ros::NodeHandle* handle = nullptr;  // the shared handle this generator made
};

#endif
