#ifndef MURV_ROS_RECEIVING_H
#define MURV_ROS_RECEIVING_H

// The ROS side of a node that receives: its subscription on the shared
// handle, its own spinner, and the order in which they end.

#include <ros/ros.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "MurvMsgReader.h"
#include "NodeSupport.h"
#include "RosHandle.h"

namespace murvnode {

// Subscribes holder's callback to topic on the shared handle, through the
// checking message reader, with a queue of queueSize messages (at least one).
template <class M, class Holder>
ros::Subscriber subscribeShared(MURV::Node* node, const char* file, int line, const std::string& topic, int queueSize,
                                void (Holder::*callback)(const boost::shared_ptr<const M>&), Holder* holder) {
  return onSharedRosHandle(node, file, line, [&](ros::NodeHandle& nh) {
    return murvSubscribe<M>(nh, topic, rosQueueSize(queueSize), callback, holder);
  });
}

// Starts the node's spinner (one thread unless told otherwise), once; ROS
// must be up.
inline void startSpinner(MURV::Node* node, const char* file, int line, std::unique_ptr<ros::AsyncSpinner>& spinner,
                         std::uint32_t threads = 1) {
  if (spinner) return;
  onSharedRosHandle(node, file, line, [&](ros::NodeHandle&) {
    spinner.reset(new ros::AsyncSpinner(threads));
    spinner->start();
  });
}

// Ends a node's ROS traffic before its callback holder may go. Other
// spinners and ros::spinOnce() callers serve the same callback queue, so
// stopping our own spinner alone stops nothing: the subscriptions are shut
// down first (roscpp then waits for a callback in flight and delivers no
// more), then the spinner is stopped.
inline void stopReceiving(ros::Subscriber* subscribers, std::size_t n, std::unique_ptr<ros::AsyncSpinner>& spinner) {
  for (std::size_t i = 0; i < n; ++i) subscribers[i].shutdown();
  if (spinner) spinner->stop();
  spinner.reset();
}
template <std::size_t N>
void stopReceiving(ros::Subscriber (&subscribers)[N], std::unique_ptr<ros::AsyncSpinner>& spinner) {
  stopReceiving(subscribers, N, spinner);
}
inline void stopReceiving(ros::Subscriber& subscriber, std::unique_ptr<ros::AsyncSpinner>& spinner) {
  stopReceiving(&subscriber, 1, spinner);
}

}  // namespace murvnode

#endif
