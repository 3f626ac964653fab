#ifndef MURV_ROS_HANDLE_H
#define MURV_ROS_HANDLE_H

#include <ros/ros.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "stop/LeaveWatch.h"
#include "Node.h"
#include "support/NodeSupport.h"
#include "SharedHandle.h"
#include "TopicTypes.h"

// Runs f on the shared ROS handle for node. A network without a
// RosNodeGenerator, a ROS that has been shut down, or a topic name ROS
// refuses is reported as a NodeException of node at file and line. The
// calls f has roscpp make to the master are a SetUpCall: a stop that comes
// meanwhile waits for them while the master answers.
template <class F>
auto onSharedRosHandle(MURV::Node* node, const char* file, int line, F&& f)
    -> decltype(f(std::declval<ros::NodeHandle&>())) {
  const murvmaster::SetUpCall setUp;
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

namespace murvnode {

// Why roscpp hands back an empty handle of each kind for topic (a resolved
// name) while ROS is up.
inline const char* emptyBecause(const ros::Publisher&, const std::string&) { return advertisedAsAnotherType; }
inline const char* emptyBecause(const ros::Subscriber&, const std::string&) {
  return "could not be registered with the ROS master";
}
inline const char* emptyBecause(const ros::ServiceServer&, const std::string&) {
  return "is already served in this process (by another node, or by the host): a process offers a service once";
}
// A client that is not persistent, as the nodes make it, is never empty.
inline const char* emptyBecause(const ros::ServiceClient&, const std::string&) { return "was refused by roscpp"; }

// Whether this process subscribes the topic that publisher, just
// advertised, publishes, with another message type: roscpp advertises all
// the same, and says nothing, but that subscription never receives what is
// published. The toolbox's own subscriptions never get here (TopicTypes):
// this is a subscription the host made itself, whose type the toolbox
// cannot learn before it advertises.
bool leavesLocalSubscriptionOut(const ros::Publisher& publisher);

// Why a handle roscpp made would not serve, or nullptr when it would.
inline const char* unservedBecause(const ros::Publisher& publisher) {
  return leavesLocalSubscriptionOut(publisher) ? subscribedAsAnotherType : nullptr;
}
template <class Handle>
const char* unservedBecause(const Handle&) {
  return nullptr;
}

// What make may throw to refuse, with why, before it asks roscpp.
struct RefusedBeforeRos {
  const char* why;
};

// Runs make on the shared ROS handle for node, as onSharedRosHandle does,
// to make the publisher, subscriber, service server or client of name, the
// value of parameter. What make refuses (RefusedBeforeRos), what roscpp
// refuses, with an empty handle (which would leave the node running without
// ever sending or receiving) or an exception, and a publisher that a
// subscription of this process would never receive from, is a
// NodeException of node at file and line that begins with parameter, so
// that the runner reports it at that parameter's line.
template <class Make>
auto onSharedRosHandleFor(MURV::Node* node, const char* file, int line, const std::string& parameter,
                          const std::string& name, Make&& make) -> decltype(make(std::declval<ros::NodeHandle&>())) {
  return onSharedRosHandle(node, file, line, [&](ros::NodeHandle& nh) {
    std::string resolved = name;
    try {
      resolved = nh.resolveName(name);
    } catch (ros::Exception&) {
    }
    auto refused = [&](const std::string& why) {
      std::string shown = quotedValue(name);
      if (resolved != name) shown += " (" + resolved + ")";
      return new MURV::NodeException(node, parameter + " " + shown + " " + why, file, line);
    };
    try {
      auto handle = make(nh);
      if (handle) {
        if (const char* why = unservedBecause(handle)) {
          // Withdrawn as the node's own leaving: a master that no longer
          // answers must not hold the refusal.
          murvmaster::shutDownLeaving(handle);
          throw refused(why);
        }
        return handle;
      }
      if (!ros::ok() || ros::isShuttingDown())
        throw new MURV::NodeException(node, "ROS has been shut down", file, line);
      throw refused(emptyBecause(handle, resolved));
    } catch (RefusedBeforeRos& r) {
      throw refused(r.why);
    } catch (ros::ConflictingSubscriptionException&) {
      throw refused(subscribedAsAnotherType);
    } catch (ros::InvalidNameException& e) {
      throw refused(std::string("is refused by ROS: ") + e.what());
    }
  });
}

// Holds topic for a publisher or subscriber as holdTopic does, and refuses
// as well a type other than that of roscpp's publication of topic in this
// process, which may be the host's own.
const char* holdTopicType(const std::string& topic, TopicRole role, const MessageType& type,
                          std::shared_ptr<const TopicHold>& hold);

// Makes, as onSharedRosHandleFor does, the publisher or subscriber (role) of
// the topic name, the value of parameter, whose message type is type. The
// topic's type is held first (TopicTypes), so a topic the process already
// advertises or subscribes with another type is refused before roscpp, the
// master or any peer hears of it.
template <class Make>
auto onSharedTopicFor(MURV::Node* node, const char* file, int line, const std::string& parameter,
                      const std::string& name, TopicRole role, const MessageType& type, Make&& make)
    -> TypedTopic<decltype(make(std::declval<ros::NodeHandle&>()))> {
  std::shared_ptr<const TopicHold> hold;
  auto handle = onSharedRosHandleFor(node, file, line, parameter, name, [&](ros::NodeHandle& nh) {
    if (const char* why = holdTopicType(nh.resolveName(name), role, type, hold)) throw RefusedBeforeRos{why};
    return make(nh);
  });
  return {std::move(hold), handle};
}

// Advertises M on topic, the value of parameter, on the shared handle, not
// latched, as onSharedTopicFor does.
template <class M>
TopicPublisher advertiseShared(MURV::Node* node, const char* file, int line, const std::string& parameter,
                               const std::string& topic, std::uint32_t queueSize) {
  return onSharedTopicFor(node, file, line, parameter, topic, TopicRole::advertises, messageTypeOf<M>(),
                          [&](ros::NodeHandle& nh) { return nh.advertise<M>(topic, queueSize, false); });
}

}  // namespace murvnode

#endif
