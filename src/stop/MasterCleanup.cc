#include "MasterCleanup.h"

#include <ros/master.h>
#include <ros/param.h>
#include <ros/this_node.h>
#include <ros/xmlrpc_manager.h>

#include <string>

namespace murvmaster {

namespace {

// A call to the master that gives up at once when it does not answer;
// answers its payload when it succeeds.
bool callMaster(const char* method, const XmlRpc::XmlRpcValue& args, XmlRpc::XmlRpcValue& payload) {
  XmlRpc::XmlRpcValue result;
  return ros::master::execute(method, args, result, payload, false);
}

XmlRpc::XmlRpcValue callArgs(const std::string& a, const std::string& b, const std::string& c = "") {
  XmlRpc::XmlRpcValue args;
  args[0] = a;
  args[1] = b;
  if (!c.empty()) args[2] = c;
  return args;
}

}  // namespace

void leaveForGood() {
  const std::string name = ros::this_node::getName(), api = ros::XMLRPCManager::instance()->getServerURI();
  XmlRpc::XmlRpcValue found;
  // Unknown to the master (-1), or known at another address: a node of the
  // same name in another process, none of ours.
  if (api.empty() || !callMaster("lookupNode", callArgs(name, name), found) ||
      found.getType() != XmlRpc::XmlRpcValue::TypeString || std::string(found) != api)
    return;
  try {
    // The one parameter the process subscribes (roscpp's ROS log asks it);
    // the master lists no parameter subscriptions.
    ros::param::unsubscribeCachedParam("/rosout_disable_topics_generation");
    XmlRpc::XmlRpcValue state;
    XmlRpc::XmlRpcValue onlyName;
    onlyName[0] = name;
    if (!callMaster("getSystemState", onlyName, state) || state.getType() != XmlRpc::XmlRpcValue::TypeArray ||
        state.size() < 3)
      return;
    const char* const unregister[] = {"unregisterPublisher", "unregisterSubscriber", "unregisterService"};
    for (int kind = 0; kind < 3; ++kind) {
      XmlRpc::XmlRpcValue& entries = state[kind];
      for (int i = 0; entries.getType() == XmlRpc::XmlRpcValue::TypeArray && i < entries.size(); ++i) {
        XmlRpc::XmlRpcValue& nodes = entries[i][1];
        bool ours = false;
        for (int n = 0; nodes.getType() == XmlRpc::XmlRpcValue::TypeArray && n < nodes.size(); ++n)
          ours = ours || (nodes[n].getType() == XmlRpc::XmlRpcValue::TypeString && std::string(nodes[n]) == name);
        if (!ours) continue;
        const std::string topic = entries[i][0];
        // A service is unregistered under its own address.
        XmlRpc::XmlRpcValue serviceApi;
        if (kind == 2 && (!callMaster("lookupService", callArgs(name, topic), serviceApi) ||
                          serviceApi.getType() != XmlRpc::XmlRpcValue::TypeString))
          continue;
        XmlRpc::XmlRpcValue ignored;
        callMaster(unregister[kind], callArgs(name, topic, kind == 2 ? std::string(serviceApi) : api), ignored);
      }
    }
  } catch (XmlRpc::XmlRpcException&) {
    // An answer of another shape than a master's: nothing more to do.
  }
}

}  // namespace murvmaster
