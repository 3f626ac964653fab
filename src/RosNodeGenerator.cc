#include "RosNodeGenerator.h"

#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include "String.h"
#include "net_types.h"

ros::NodeHandle* __MasterRosNodeHandler__ = nullptr;

namespace {

// roscpp stops the process with a breakpoint trap when it cannot split the
// master's address into host and port; say what it needs instead. Its
// reader wants the scheme, a host, a colon and a port. Unset, the address
// is roscpp's default one.
std::string masterUriProblem() {
  const char* env = std::getenv("ROS_MASTER_URI");
  if (!env) return "";
  const std::string uri = env;
  std::string rest;
  for (const char* scheme : {"http://", "rosrpc://"})
    if (uri.compare(0, std::string(scheme).size(), scheme) == 0) rest = uri.substr(std::string(scheme).size());
  const size_t colon = rest.find(':');
  const std::string port = colon == std::string::npos ? "" : rest.substr(colon + 1, rest.find('/', colon) - colon - 1);
  const bool portOk = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
                      std::atoi(port.c_str()) > 0 && std::atoi(port.c_str()) <= 65535;
  if (colon == 0 || colon == std::string::npos || !portOk)
    return "ROS_MASTER_URI \"" + uri +
           "\" is not a master address: it needs the form http://HOST:PORT/, for instance http://localhost:11311/";
  return "";
}

}  // namespace

RosNodeGenerator::RosNodeGenerator(std::string nodeName, MURV::ParameterSet params)
    : MURV::Node(std::move(nodeName), params) {
  valueID = addOutput("VALUE");
  rosNodeName = MURV::object_cast<MURV::String>(parameters.get("NODE_NAME"));
  const std::string uriProblem = masterUriProblem();
  if (!uriProblem.empty()) throw new MURV::NodeException(this, uriProblem, "RosNodeGenerator", __LINE__);
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
