#include "RosNodeGenerator.h"

#include <ros/network.h>
#include <ros/param.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include "String.h"
#include "net_types.h"
#include "stop/LeaveWatch.h"
#include "stop/MasterCheck.h"
#include "stop/MasterCleanup.h"
#include "stop/MasterWait.h"
#include "support/NodeSupport.h"

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
    return "ROS_MASTER_URI \"" + murvnode::shown(uri) +
           "\" is not a master address: it needs the form http://HOST:PORT (the final slash is optional), for "
           "instance http://localhost:11311/";
  return "";
}

// roscpp keeps one ROS node per process: once ros::init has run, it does
// nothing, and every later generator joins under the name and with the
// master of the first. Which of nodeName and ROS_MASTER_URI cannot take
// effect for such a generator, and why, in one line; "" when both can.
std::string keptFromFirst(const std::string& nodeName, const std::string& nameInEffect) {
  std::vector<std::string> ignored;
  if (nodeName != nameInEffect) ignored.push_back("NODE_NAME \"" + murvnode::shown(nodeName) + "\"");
  const char* env = std::getenv("ROS_MASTER_URI");
  std::string host;
  uint32_t port = 0;
  if (env && (!masterUriProblem().empty() || !ros::network::splitURI(env, host, port) ||
              host != ros::master::getHost() || port != ros::master::getPort()))
    ignored.push_back("ROS_MASTER_URI " + murvnode::shown(env));
  if (ignored.empty()) return "";
  return murvnode::listed(ignored, "and") +
         " cannot take effect: roscpp keeps one ROS node per process, and this process joined ROS as " +
         ros::this_node::getName() + " with the master at " + murvnode::shown(ros::master::getURI());
}

}  // namespace

RosNodeGenerator::RosNodeGenerator(std::string nodeName, MURV::ParameterSet params)
    : MURV::Node(std::move(nodeName), params) {
  valueID = addOutput("VALUE");
  rosNodeName = MURV::object_cast<MURV::String>(parameters.get("NODE_NAME"));
  const bool joinedBefore = ros::isInitialized();
  // ROS_MASTER_URI is read by the first ros::init of the process only.
  const std::string uriProblem = joinedBefore ? "" : masterUriProblem();
  if (!uriProblem.empty()) throw new MURV::NodeException(this, uriProblem, "RosNodeGenerator", __LINE__);
  // ROS leaves SIGINT to the process: the stream nodes handle it.
  std::vector<std::pair<std::string, std::string> > remappings;
  try {
    ros::init(remappings, rosNodeName, ros::init_options::NoSigintHandler);
  } catch (ros::Exception& e) {
    // A name ROS refuses (empty, with a slash, starting with a digit) is a
    // configuration error of this node, reported as such.
    throw new MURV::NodeException(
        this, "Invalid NODE_NAME \"" + murvnode::shown(rosNodeName) + "\": " + murvnode::shown(e.what()),
        "RosNodeGenerator", __LINE__);
  }
  const std::string uri = ros::master::getURI();
  std::vector<murvmaster::MasterAddress> addresses;
  // Once the watch runs, what the construction has joined is left again if
  // it does not end (a stop, or anything that throws): no destructor runs
  // for a node that was not made. roscpp is shut down once its start-up
  // has ended, and what the master took after that shutdown is
  // unregistered: nothing of ours may stay registered.
  bool watching = false, starting = false;
  try {
    {
      murvmaster::MasterWait wait(murvnode::shownName(*this), murvnode::shown(uri));
      // Asked first over a connection of our own: roscpp's own wait says
      // nothing while a server accepts and never answers, or a host cannot
      // be reached, and retries for ever against a server that is not a
      // master. A refused connection is left to roscpp, which says so
      // itself.
      const murvmaster::MasterAnswer answer =
          murvmaster::askMaster(ros::master::getHost(), static_cast<int>(ros::master::getPort()),
                                ros::this_node::getName(), wait.wakeFd(), [&] { return wait.goOn(); }, &addresses);
      if (answer.kind == murvmaster::MasterAnswer::notMaster)
        throw new MURV::NodeException(this,
                                      "ROS_MASTER_URI " + murvnode::shown(uri) + " does not answer as a ROS master: " +
                                          answer.text,
                                      "RosNodeGenerator", __LINE__);
      // From here on the network's nodes register with the master, and
      // unregister when they go; a stop may come while roscpp registers.
      murvmaster::watchLeave(getName(), ros::this_node::getName(), uri, addresses);
      watching = true;
      wait.startRos([&] {
        starting = true;
        handle = new ros::NodeHandle("", ros::M_string());
        // roscpp's ROS log subscribes this parameter at its first line.
        // Made then from a node that another of the same name has just
        // replaced (its first line is often "Shutdown request received."),
        // the subscription would register the old node's address again,
        // and the master would shut the new node down in turn. Made now, it
        // carries this node's own address, and later lines use the cached
        // value.
        bool topicsOmitted = false;
        if (!wait.stopped()) ros::param::getCached("/rosout_disable_topics_generation", topicsOmitted);
      });
      if (wait.stopped())
        throw new MURV::NodeException(this, "stopped while waiting for the ROS master at " + murvnode::shown(uri),
                                      "RosNodeGenerator", __LINE__);
    }
    __MasterRosNodeHandler__ = handle;
    // The name the process's ROS node has, as NODE_NAME gave it.
    const std::string name = ros::this_node::getName(), nameInEffect = name.substr(name.rfind('/') + 1);
    const std::string kept = joinedBefore ? keptFromFirst(rosNodeName, nameInEffect) : "";
    if (!kept.empty()) std::cerr << murvnode::shownName(*this) << ": " << kept << std::endl;
    std::cout << "ROS node : " << (joinedBefore ? nameInEffect : rosNodeName) << " generated..." << std::endl;
  } catch (...) {
    if (__MasterRosNodeHandler__ == handle) __MasterRosNodeHandler__ = nullptr;
    if (starting) {
      const murvmaster::LeaveCall leaving;
      delete handle;
      handle = nullptr;
      ros::shutdown();
      murvmaster::leaveForGood();
    }
    if (watching) murvmaster::endWatchingLeave();
    throw;
  }
}

RosNodeGenerator::~RosNodeGenerator() {
  // The handle goes with the generator that made it: roscpp starts again
  // for a later generator (a host that makes networks one after another)
  // only once no handle is left, and a node made after this one is told
  // that the network has no ROS connection.
  if (__MasterRosNodeHandler__ == handle) __MasterRosNodeHandler__ = nullptr;
  {
    // The last handle shuts roscpp down as it goes.
    const murvmaster::LeaveCall leaving;
    delete handle;
    ros::shutdown();
  }
  murvmaster::endWatchingLeave();
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
