// The shared ROS handle as the toolbox's nodes reach it.
#include <gtest/gtest.h>

#include "ros/RosHandle.h"
#include "ros/RosReceiving.h"
#include "RosMaster.h"
#include "String.h"
#include "std_msgs/Int32.h"
#include "std_msgs/String.h"

using namespace MURV;

namespace {

class Plain : public Node {
public:
  Plain() : Node("plain", ParameterSet()) {}
  ObjectRef getOutput(int, int) override { return ObjectRef(); }
};

// What make throws, as "FILE:LINE: TEXT".
template <class Make>
std::string failureOf(Make&& make) {
  try {
    make();
  } catch (BaseException* e) {
    NodeException* ne = dynamic_cast<NodeException*>(e);
    std::string text = ne ? ne->file + ":" + std::to_string(ne->line) + ": " + ne->message : "other exception";
    delete e;
    return text;
  }
  return "no exception";
}

std::string failure(Plain& node, const std::string& topic) {
  return failureOf([&] {
    onSharedRosHandle(&node, "Plain", 12, [&](ros::NodeHandle& nh) { return nh.advertise<std_msgs::Int32>(topic, 1); });
  });
}

struct Strings {
  void cb(const boost::shared_ptr<const std_msgs::String>&) {}
};

Node* generator(const std::string& name) {
  ParameterSet p;
  p.add("NODE_NAME", ObjectRef(new String(name)));
  return Node::getFactoryNamed("RosNodeGenerator")->Create("gen", p);
}

// A private master and a RosNodeGenerator on it, whose console lines stay
// off the test's output, until shut down or destroyed.
struct RosUp {
  RosUp() {
    master.start();
    testing::internal::CaptureStdout();
    gen = generator("murv_handle_test");
  }
  ~RosUp() { shutDown(); }
  void shutDown() {
    if (!gen) return;
    gen->unref();
    gen = nullptr;
    testing::internal::GetCapturedStdout();
  }
  murvtest::RosMaster master;
  Node* gen = nullptr;
};

}  // namespace

TEST(SharedRosHandle, WithoutARosNodeGeneratorIsANodeException) {
  Plain node;
  ASSERT_EQ(__MasterRosNodeHandler__, nullptr);
  EXPECT_EQ(failure(node, "fine").rfind("Plain:12: No ROS connection", 0), 0u) << failure(node, "fine");
}

TEST(SharedRosHandle, InvalidTopicNamesAndShutDownRosAreNodeExceptions) {
  RosUp ros;
  Plain node;
  EXPECT_EQ(failure(node, "good_topic"), "no exception");
  EXPECT_NE(failure(node, "bad topic!").find("Invalid ROS name"), std::string::npos);
  EXPECT_NE(failure(node, "9starts_with_digit").find("Invalid ROS name"), std::string::npos);
  ros.shutDown();
  EXPECT_EQ(failure(node, "good_topic"), "Plain:12: ROS has been shut down");
}

// A host that makes networks one after another may give a topic another
// type once the nodes of the last have let it go, and not before.
TEST(SharedRosHandle, ATopicTakesAnotherTypeOnceItsLastPublisherOrSubscriberHasGone) {
  RosUp ros;
  Plain node;
  Strings strings;
  auto advertise = [&] {
    return murvnode::advertiseShared<std_msgs::Int32>(&node, "Plain", 12, "TOPIC_NAME", "murv/reused", 1);
  };
  auto subscribe = [&] {
    return murvnode::subscribeShared(&node, "Plain", 13, "TOPIC_NAME", "murv/reused", 1, &Strings::cb, &strings);
  };
  murvnode::TopicPublisher first = advertise(), second = advertise();
  const std::string taken = "TOPIC_NAME murv/reused (/murv/reused) is already advertised in this process with another "
                            "message type";
  EXPECT_EQ(failureOf(subscribe), "Plain:13: " + taken);
  first.shutdown();
  EXPECT_EQ(failureOf(subscribe), "Plain:13: " + taken);
  second = murvnode::TopicPublisher();
  {
    const murvnode::TopicSubscriber subscriber = subscribe();
    EXPECT_TRUE(subscriber);
    EXPECT_EQ(failureOf(advertise),
              "Plain:12: TOPIC_NAME murv/reused (/murv/reused) is already subscribed in this process with another "
              "message type");
  }
  EXPECT_TRUE(advertise());
}
