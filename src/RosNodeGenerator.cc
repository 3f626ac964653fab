#include "RosNodeGenerator.h"

#include <iostream>
#include <utility>
#include <vector>

#include "String.h"
#include "net_types.h"

ros::NodeHandle* __MasterRosNodeHandler__ = nullptr;

RosNodeGenerator::RosNodeGenerator(std::string nodeName, MURV::ParameterSet params)
    : MURV::Node(std::move(nodeName), params) {
  valueID = addOutput("VALUE");
  rosNodeName = MURV::object_cast<MURV::String>(parameters.get("NODE_NAME"));
  // ROS leaves SIGINT to the process: the stream nodes handle it.
  std::vector<std::pair<std::string, std::string> > remappings;
  try {
    ros::init(remappings, rosNodeName, ros::init_options::NoSigintHandler);
  } catch (ros::Exception& e) {
    // A name ROS refuses (empty, with a slash, starting with a digit) is a
    // configuration error of this node, reported as such.
    throw new MURV::NodeException(this, std::string("Invalid NODE_NAME \"") + rosNodeName + "\": " + e.what(),
                                  "RosNodeGenerator", __LINE__);
  }
  __MasterRosNodeHandler__ = new ros::NodeHandle("", ros::M_string());
  std::cout << "ROS node : " << rosNodeName << " generated..." << std::endl;
}

RosNodeGenerator::~RosNodeGenerator() {
  ros::shutdown();
  std::cout << "ROS destructed..." << std::endl;
}

MURV::ObjectRef RosNodeGenerator::getOutput(int output_id, int) {
  if (output_id == valueID) return MURV::ObjectRef(new MURV::NetCType<int>(0));
  throw new MURV::NodeException(this, "Unknown output id", "RosNodeGenerator", 103);
}

void RosNodeGenerator::initialize() {
  std::cout << "ROS initialized..." << std::endl;
  MURV::Node::initialize();
}
