// The integer sample pair through a real master, with ROS's own tools as
// the outside clients.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <chrono>
#include <climits>
#include <vector>

#include "BufferedNode.h"
#include "RosMaster.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;
using murvtest::BackgroundCommand;
using murvtest::runCommand;
using murvtest::waitFor;

namespace {

const std::string rostopic = "/usr/bin/python3 /usr/bin/rostopic ";

Node* create(const std::string& type, const std::string& name, const ParameterSet& p) {
  return Node::getFactoryNamed(type)->Create(name, p);
}

Node* generator(const std::string& rosName) {
  ParameterSet p;
  p.add("NODE_NAME", ObjectRef(new String(rosName)));
  return create("RosNodeGenerator", "ros", p);
}

Node* publisherNode(const std::string& topic, int param, int bufferNum = 10) {
  ParameterSet p;
  p.add("TOPIC_NAME", ObjectRef(new String(topic)));
  p.add("BUFFER_NUM", ObjectRef(new NetCType<int>(bufferNum)));
  p.add("PARAM", ObjectRef(new NetCType<int>(param)));
  return create("RosMurvIntPublisher", "int_pub", p);
}

Node* subscriberNode(const std::string& topic, float duration = 0.0f, int bufferNum = 10) {
  ParameterSet p;
  p.add("TOPIC_NAME", ObjectRef(new String(topic)));
  p.add("BUFFER_NUM", ObjectRef(new NetCType<int>(bufferNum)));
  p.add("ROS_DURATION", ObjectRef(new NetCType<float>(duration)));
  return create("RosMurvIntSubscriber", "int_sub", p);
}

int intOut(Node* n, int count) { return dereference_cast<int>(n->getOutput(n->getOutputID("OUTPUT1"), count)); }

// Whether a rostopic client (not our own node) subscribes to topic.
bool outsideSubscriber(const std::string& topic) {
  std::string info = runCommand(rostopic + "info " + topic).output;
  size_t subs = info.find("Subscribers:");
  return subs != std::string::npos && info.find(" * /rostopic_", subs) != std::string::npos;
}

size_t occurrences(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// Iterates the subscriber until its output reads want (or the deadline).
bool subscriberReaches(Node* sub, int& count, int want) {
  return waitFor([&] { return intOut(sub, count++) == want; });
}

}  // namespace

TEST(RosMurvInt, PublishedValuesRiseByOneAndReachSubscribersInAndOutOfProcess) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("murv_int_test");
  Node* pub = publisherNode("murv_int", 100);
  Node* sub = subscriberNode("murv_int");
  ros->initialize();
  pub->initialize();
  sub->initialize();

  EXPECT_TRUE(waitFor([] {
    return runCommand("/usr/bin/python3 /usr/bin/rosnode list").output.find("/murv_int_test\n") != std::string::npos;
  }));
  BackgroundCommand echo(rostopic + "echo -n 40 /murv_int");
  EXPECT_TRUE(waitFor([] { return outsideSubscriber("/murv_int"); }));

  int subCount = 0;
  EXPECT_EQ(intOut(sub, subCount++), 0) << "nothing has arrived yet";
  // Publish until both the outside echo and our subscriber have seen values.
  int count = 0;
  EXPECT_TRUE(waitFor([&] {
    EXPECT_EQ(intOut(pub, count), 100 + count);
    ++count;
    return occurrences(echo.output(), "data: ") >= 5 && intOut(sub, subCount++) >= 100;
  }));
  int lastSeen = intOut(sub, subCount++);
  EXPECT_GE(lastSeen, 100);
  EXPECT_LT(lastSeen, 100 + count);

  pub->unref();
  sub->unref();
  ros->unref();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("int_pub constructor end...\nint_sub constructor end...\n"), std::string::npos) << out;
  EXPECT_LT(out.find("int_pub initialized...\n"), out.find("int_sub initialized...\n")) << out;
  EXPECT_LT(out.find("int_sub initialized...\n"), out.find("int_pub Published : [100]\n")) << out;
  size_t first = out.find("int_pub Published : [100]\n");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_LT(first, out.find("int_pub Published : [101]\n")) << out;
  EXPECT_NE(out.find("RosMurvIntSubscriber Subscriber Received [" + std::to_string(lastSeen) + "]"),
            std::string::npos);

  // The echo saw consecutive values: each "data:" line one more than the last.
  std::string seen = echo.output();
  long previous = -1;
  int lines = 0;
  for (size_t at = seen.find("data: "); at != std::string::npos; at = seen.find("data: ", at + 1)) {
    long v = std::stol(seen.substr(at + 6));
    if (previous >= 0) {
      EXPECT_EQ(v, previous + 1) << seen;
    }
    previous = v;
    ++lines;
  }
  EXPECT_GT(lines, 0) << seen;

  // ROS's own tools find the toolbox's packages on the ROS_PACKAGE_PATH the
  // fixture sets, as the README says.
  const std::pair<std::string, std::string> shown[] = {
      {"rosmsg show murv_msgs/MurvInt", "int64 data\n"},
      {"rosmsg show murv_msgs/MurvWave", "murv_msgs/MurvWaveVal[] src\n  float32[] wavedata\n"},
      {"rossrv show murv_msgs/MurvIntSrv", "int64 first\nint64 second\n---\nint64 sum\n"},
      {"rosmsg show murv_params/DODA", "float32 lx\nfloat32 time_constant\n"}};
  for (const auto& s : shown) {
    const murvtest::CommandResult r = runCommand("/usr/bin/python3 /usr/bin/" + s.first);
    EXPECT_EQ(r.status, 0) << s.first << "\n" << r.output;
    EXPECT_NE(r.output.find(s.second), std::string::npos) << s.first << "\n" << r.output;
  }
}

TEST(RosMurvInt, SubscriberKeepsTheLow32BitsOfWhatRostopicPublishes) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("murv_int_sub_test");
  Node* sub = subscriberNode("outside_int");
  sub->initialize();
  int count = 0;
  {
    BackgroundCommand pub(rostopic + "pub -r 20 /outside_int murv_msgs/MurvInt 'data: 4294967297'");
    EXPECT_TRUE(subscriberReaches(sub, count, 1)) << pub.output();
  }
  {
    BackgroundCommand pub(rostopic + "pub -r 20 /outside_int murv_msgs/MurvInt 'data: -5'");
    EXPECT_TRUE(subscriberReaches(sub, count, -5)) << pub.output();
  }
  sub->unref();
  ros->unref();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("RosMurvIntSubscriber Subscriber Received [4294967297]\n"), std::string::npos) << out;
  EXPECT_NE(out.find("RosMurvIntSubscriber Subscriber Received [-5]\n"), std::string::npos) << out;
}

TEST(RosMurvInt, TheSumWrapsAroundAndIsPublishedSignExtended) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("murv_int_wrap_test");
  Node* pub = publisherNode("wrap_int", INT_MAX);
  pub->initialize();
  BackgroundCommand echo(rostopic + "echo /wrap_int");
  EXPECT_TRUE(waitFor([] { return outsideSubscriber("/wrap_int"); }));
  // The output of count 1 is read when it is made: a node keeps only its
  // latest counts, and a slow echo lets many go by.
  int count = 0, atOne = 0;
  EXPECT_TRUE(waitFor([&] {
    const int v = intOut(pub, count);
    if (count++ == 1) atOne = v;
    return echo.output().find("data: -2147483648") != std::string::npos;
  })) << echo.output();
  EXPECT_EQ(atOne, INT_MIN);
  pub->unref();
  ros->unref();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("int_pub Published : [-2147483648]"), std::string::npos);
}

TEST(RosMurvInt, APublisherThatWasNeverAdvertisedPublishesNothingButStillOutputs) {
  testing::internal::CaptureStdout();
  Node* pub = publisherNode("never", 7);
  Buffer buffer(2);
  static_cast<BufferedNode*>(pub)->calculate(0, 3, buffer);
  EXPECT_EQ(dereference_cast<int>(buffer.get(3)), 10);
  pub->unref();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "int_pub constructor end...\nint_pub Published : [10]\n");
}

TEST(RosMurvInt, AnUnusableDurationIsRefusedAtConstruction) {
  // A negative duration would never end its sleep.
  for (float bad : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 1e12f, -0.5f}) {
    try {
      Node* n = subscriberNode("t", bad);
      n->unref();
      ADD_FAILURE() << "accepted " << bad;
    } catch (BaseException* e) {
      EXPECT_NE(e->text().find("ROS_DURATION"), std::string::npos) << e->text();
      delete e;
    }
  }
}

TEST(RosMurvInt, ASlowCallbackTakesTwoMessagesASecondAndAnUnboundedQueueKeepsTheRest) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("murv_int_pace_test");
  // Queues of 0 and of -1 messages are both unbounded: a queue of one would
  // keep only the newest of the messages that arrive during a sleep.
  Node* pub = publisherNode("paced_int", 100, 0);
  Node* sub = subscriberNode("paced_int", 0.5f, -1);
  ros->initialize();
  pub->initialize();
  sub->initialize();

  // A message every 0.1 s, five in all, while the subscriber's output is
  // watched for each new value.
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::vector<int> seen;
  double lastAfter = 0;
  int published = 0, subCount = 0;
  EXPECT_TRUE(waitFor(
      [&] {
        if (published < 5 && Clock::now() - start >= published * std::chrono::milliseconds(100))
          intOut(pub, published++);
        const int v = intOut(sub, subCount++);
        if (v != 0 && (seen.empty() || seen.back() != v)) {
          seen.push_back(v);
          lastAfter = std::chrono::duration<double>(Clock::now() - start).count();
        }
        return v == 104;
      },
      std::chrono::seconds(30), std::chrono::milliseconds(5)));
  EXPECT_EQ(seen, (std::vector<int>{100, 101, 102, 103, 104}));
  EXPECT_GE(lastAfter, 2.0) << "each message holds the callback for 0.5 s";

  sub->unref();
  pub->unref();
  ros->unref();
  testing::internal::GetCapturedStdout();
}
