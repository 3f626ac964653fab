// The shared ROS handle as the toolbox's nodes reach it.
#include <gtest/gtest.h>

#include "ros/RosHandle.h"
#include "RosMaster.h"
#include "String.h"
#include "std_msgs/Int32.h"

using namespace MURV;

namespace {

class Plain : public Node {
public:
  Plain() : Node("plain", ParameterSet()) {}
  ObjectRef getOutput(int, int) override { return ObjectRef(); }
};

std::string failure(Plain& node, const std::string& topic) {
  try {
    onSharedRosHandle(&node, "Plain", 12, [&](ros::NodeHandle& nh) { return nh.advertise<std_msgs::Int32>(topic, 1); });
  } catch (BaseException* e) {
    NodeException* ne = dynamic_cast<NodeException*>(e);
    std::string text = ne ? ne->file + ":" + std::to_string(ne->line) + ": " + ne->message : "other exception";
    delete e;
    return text;
  }
  return "no exception";
}

Node* generator(const std::string& name) {
  ParameterSet p;
  p.add("NODE_NAME", ObjectRef(new String(name)));
  return Node::getFactoryNamed("RosNodeGenerator")->Create("gen", p);
}

}  // namespace

TEST(SharedRosHandle, WithoutARosNodeGeneratorIsANodeException) {
  Plain node;
  ASSERT_EQ(__MasterRosNodeHandler__, nullptr);
  EXPECT_EQ(failure(node, "fine").rfind("Plain:12: No ROS connection", 0), 0u) << failure(node, "fine");
}

TEST(SharedRosHandle, InvalidTopicNamesAndShutDownRosAreNodeExceptions) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* gen = generator("murv_handle_test");
  Plain node;
  EXPECT_EQ(failure(node, "good_topic"), "no exception");
  EXPECT_NE(failure(node, "bad topic!").find("Invalid ROS name"), std::string::npos);
  EXPECT_NE(failure(node, "9starts_with_digit").find("Invalid ROS name"), std::string::npos);
  gen->unref();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(failure(node, "good_topic"), "Plain:12: ROS has been shut down");
}
