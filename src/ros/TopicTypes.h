#ifndef MURV_TOPIC_TYPES_H
#define MURV_TOPIC_TYPES_H

// The message type of every topic the toolbox advertises or subscribes in
// this process. roscpp keeps one type per topic in a process, but finds a
// second one out only once it has told the master, and for a publisher
// every remote subscriber of the topic, about it; a subscriber it then
// refuses stays registered at the master. So a node holds its topic's type
// here before it asks roscpp, and a second type is refused before roscpp
// hears of it.

#include <ros/message_traits.h>
#include <ros/publisher.h>
#include <ros/subscriber.h>

#include <memory>
#include <string>
#include <utility>

namespace murvnode {

// A message type as roscpp tells types apart.
struct MessageType {
  std::string datatype;
  std::string md5sum;  // "*" for a subscriber that takes any type
};

template <class M>
MessageType messageTypeOf() {
  return {ros::message_traits::datatype<M>(), ros::message_traits::md5sum<M>()};
}

enum class TopicRole { advertises, subscribes };

// Why a topic takes no publisher or subscriber of another type.
extern const char* const advertisedAsAnotherType;  // "is already advertised in this process with another message type"
extern const char* const subscribedAsAnotherType;  // "is already subscribed in this process with another message type"

// One publisher's or subscriber's hold on the type of its topic. The
// topic's entry goes with its last hold, so that a later network may use
// the topic with another type.
class TopicHold {
public:
  ~TopicHold();
  TopicHold(const TopicHold&) = delete;
  TopicHold& operator=(const TopicHold&) = delete;

private:
  friend const char* holdTopic(const std::string&, TopicRole, const MessageType&, std::shared_ptr<const TopicHold>&);
  TopicHold(std::string topic, TopicRole role) : topic(std::move(topic)), role(role) {}

  const std::string topic;
  const TopicRole role;
};

// Holds topic (a resolved name) for one publisher or subscriber (role) of
// type, in hold, and answers nullptr; or, when the process advertises or
// subscribes topic with another type, holds nothing and answers why. A
// subscriber of any type fits every topic and holds none.
const char* holdTopic(const std::string& topic, TopicRole role, const MessageType& type,
                      std::shared_ptr<const TopicHold>& hold);

// A publisher or a subscriber of the toolbox: roscpp's handle with its
// hold on the topic's message type in this process, which it lets go once
// the handle is shut down or has gone.
template <class Handle>
class TypedTopic {
public:
  TypedTopic() = default;
  TypedTopic(std::shared_ptr<const TopicHold> hold, Handle handle) : hold(std::move(hold)), handle(handle) {}
  TypedTopic(const TypedTopic&) = default;
  TypedTopic(TypedTopic&&) = default;
  // The handle replaced goes before its hold, as in the destructor.
  TypedTopic& operator=(TypedTopic other) {
    std::swap(hold, other.hold);
    std::swap(handle, other.handle);
    return *this;
  }

  explicit operator bool() const { return static_cast<bool>(handle); }
  template <class M>
  void publish(const M& message) const {
    handle.publish(message);
  }
  // Withdraws the topic from roscpp, then from the process's types.
  void shutdown() {
    handle.shutdown();
    hold.reset();
  }

private:
  std::shared_ptr<const TopicHold> hold;  // declared first, so that it goes after the handle
  Handle handle;
};
using TopicPublisher = TypedTopic<ros::Publisher>;
using TopicSubscriber = TypedTopic<ros::Subscriber>;

}  // namespace murvnode

#endif
