#include "TopicTypes.h"

#include <map>
#include <mutex>

namespace murvnode {

const char* const advertisedAsAnotherType = "is already advertised in this process with another message type";
const char* const subscribedAsAnotherType = "is already subscribed in this process with another message type";

namespace {

struct Entry {
  MessageType type;
  int advertisers = 0;
  int subscribers = 0;
};

std::mutex lock;
std::map<std::string, Entry>& entries() {
  // Never freed: a node of a host that ends without unloading the toolbox
  // may let its hold go after static destruction has begun.
  static auto* topics = new std::map<std::string, Entry>;
  return *topics;
}

int& usersOf(Entry& entry, TopicRole role) {
  return role == TopicRole::advertises ? entry.advertisers : entry.subscribers;
}

}  // namespace

TopicHold::~TopicHold() {
  const std::lock_guard<std::mutex> guard(lock);
  const auto found = entries().find(topic);
  if (found == entries().end()) return;
  Entry& entry = found->second;
  --usersOf(entry, role);
  if (entry.advertisers + entry.subscribers == 0) entries().erase(found);
}

const char* holdTopic(const std::string& topic, TopicRole role, const MessageType& type,
                      std::shared_ptr<const TopicHold>& hold) {
  hold.reset();
  if (type.md5sum == "*") return nullptr;
  const std::lock_guard<std::mutex> guard(lock);
  Entry& entry = entries()[topic];
  if (entry.advertisers + entry.subscribers == 0) entry.type = type;
  else if (entry.type.md5sum != type.md5sum)
    return entry.advertisers > 0 ? advertisedAsAnotherType : subscribedAsAnotherType;
  ++usersOf(entry, role);
  hold.reset(new TopicHold(topic, role));
  return nullptr;
}

}  // namespace murvnode
