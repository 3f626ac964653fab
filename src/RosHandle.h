#ifndef MURV_ROS_HANDLE_H
#define MURV_ROS_HANDLE_H

#include <ros/ros.h>

#include <string>
#include <utility>

#include "Node.h"
#include "RosNodeGenerator.h"

// Runs f on the shared ROS handle for node. A network without a
// RosNodeGenerator, a ROS that has been shut down, or a topic name ROS
// refuses is reported as a NodeException of node at file and line.
template <class F>
auto onSharedRosHandle(MURV::Node* node, const char* file, int line, F&& f)
    -> decltype(f(std::declval<ros::NodeHandle&>())) {
  // A generator that has gone takes its handle along: ROS has then been
  // shut down, which says more than that there is no connection.
  if (!ros::ok() && (__MasterRosNodeHandler__ || ros::isInitialized()))
    throw new MURV::NodeException(node, "ROS has been shut down", file, line);
  if (!__MasterRosNodeHandler__)
    throw new MURV::NodeException(node, "No ROS connection: the network needs a RosNodeGenerator before this node",
                                  file, line);
  try {
    return f(*__MasterRosNodeHandler__);
  } catch (ros::InvalidNameException& e) {
    throw new MURV::NodeException(node, std::string("Invalid ROS name: ") + e.what(), file, line);
  }
}

#endif
