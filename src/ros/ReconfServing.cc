#include "ReconfServing.h"

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

ros::CallbackQueue& reconfQueue() {
  static ros::CallbackQueue* queue = new ros::CallbackQueue;
  return *queue;
}

}  // namespace murvnode
