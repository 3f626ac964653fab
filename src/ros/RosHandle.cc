#include "RosHandle.h"

#include <ros/publication.h>
#include <ros/topic_manager.h>

#include <algorithm>
#include <vector>

ros::NodeHandle* __MasterRosNodeHandler__ = nullptr;

namespace murvnode {

const char* holdTopicType(const std::string& topic, TopicRole role, const MessageType& type,
                          std::shared_ptr<const TopicHold>& hold) {
  if (const char* why = holdTopic(topic, role, type, hold)) return why;
  const ros::PublicationPtr publication = ros::TopicManager::instance()->lookupPublication(topic);
  if (!publication || type.md5sum == "*" || publication->getMD5Sum() == type.md5sum) return nullptr;
  hold.reset();
  return advertisedAsAnotherType;
}

// roscpp connects a subscription of this process to a publication of its
// own as it advertises, when their message types agree (or the
// subscription takes any type); one of another type it leaves unconnected,
// and says nothing. So a subscription of the topic with no connection
// inside the process to the publication is one of another type.
bool leavesLocalSubscriptionOut(const ros::Publisher& publisher) {
  const std::string topic = publisher.getTopic();
  std::vector<std::string> subscribed;
  ros::TopicManager::instance()->getSubscribedTopics(subscribed);
  if (std::find(subscribed.begin(), subscribed.end(), topic) == subscribed.end()) return false;
  const ros::PublicationPtr publication = ros::TopicManager::instance()->lookupPublication(topic);
  if (!publication) return false;
  XmlRpc::XmlRpcValue links;
  links.setSize(0);
  publication->getInfo(links);
  for (int i = 0; i < links.size(); ++i)
    if (links[i].getType() == XmlRpc::XmlRpcValue::TypeArray && links[i].size() > 3 &&
        links[i][3].getType() == XmlRpc::XmlRpcValue::TypeString && std::string(links[i][3]) == "INTRAPROCESS")
      return false;
  return true;
}

}  // namespace murvnode
