#include "ReconfServing.h"

#include <dynamic_reconfigure/Config.h>
#include <dynamic_reconfigure/ConfigDescription.h>

#include <mutex>
#include <string>

namespace murvnode {

namespace {

std::mutex claimLock;
bool claimed = false;
std::string claimant;  // the instance name of the node holding the namespace

}  // namespace

void PrivateNamespaceClaim::claim(MURV::Node* node, const char* file, int line) {
  if (held_) return;
  std::lock_guard<std::mutex> guard(claimLock);
  if (claimed)
    throw new MURV::NodeException(
        node,
        "the reconfiguration node " + claimant + " already serves the private namespace of this process's ROS node (" +
            ros::this_node::getName() +
            "); a second reconfiguration node there would share its set_parameters service and parameters, so a "
            "process runs one reconfiguration node at a time",
        file, line);
  claimed = true;
  claimant = node->getName();
  held_ = true;
}

void PrivateNamespaceClaim::release() {
  if (!held_) return;
  std::lock_guard<std::mutex> guard(claimLock);
  claimed = false;
  claimant.clear();
  held_ = false;
}

void holdServerTopics(MURV::Node* node, const char* file, int line, ros::NodeHandle& privateHandle,
                      ServerTopicHolds& holds) {
  const struct {
    const char* name;
    MessageType type;
  } topics[] = {{"parameter_descriptions", messageTypeOf<dynamic_reconfigure::ConfigDescription>()},
                {"parameter_updates", messageTypeOf<dynamic_reconfigure::Config>()}};
  for (int i = 0; i < 2; ++i) {
    const std::string topic = privateHandle.resolveName(topics[i].name);
    const char* why = holdTopicType(topic, TopicRole::advertises, topics[i].type, holds[i]);
    if (!why) continue;
    for (auto& hold : holds) hold.reset();
    throw new MURV::NodeException(
        node, std::string("the reconfiguration topic ~") + topics[i].name + " (" + topic + ") " + why, file, line);
  }
}

ros::CallbackQueue& reconfQueue() {
  static ros::CallbackQueue* queue = new ros::CallbackQueue;
  return *queue;
}

}  // namespace murvnode
