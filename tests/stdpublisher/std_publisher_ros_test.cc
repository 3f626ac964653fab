// Both standard-message publishers in networks that join a private rosmaster:
// rostopic echo decodes what goes out, and subscribers in this process, which
// has no spinner, are served by the nodes' own ros::spinOnce().
#include <gtest/gtest.h>
#include <ros/ros.h>
#include <std_msgs/Int32.h>

#include <chrono>
#include <set>
#include <thread>

#include "BufferedNode.h"
#include "RosMaster.h"
#include "StdPubTestSupport.h"

using namespace stdpubtest;
using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

typedef std::chrono::steady_clock Clock;
double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A private master and the network's ROS connection.
struct RosNetwork {
  murvtest::RosMaster master;
  NodeRef generator;
  explicit RosNetwork(const std::string& rosName) {
    master.start();
    MURV::ParameterSet p;
    p.add("NODE_NAME", ObjectRef(new MURV::String(rosName)));
    generator.node = makeNode("RosNodeGenerator", "ros", p);
  }
};

// The values of a std_msgs/Int32 topic in arrival order, and the threads
// that ran the callbacks.
struct IntTopic {
  std::vector<int> values;
  std::set<std::thread::id> threads;
  ros::Subscriber sub;
  IntTopic(ros::NodeHandle& nh, const std::string& topic)
      : sub(nh.subscribe<std_msgs::Int32>(topic, 100, [this](const std_msgs::Int32::ConstPtr& m) {
          values.push_back(m->data);
          threads.insert(std::this_thread::get_id());
        })) {}
};

ObjectRef boxedCount(int c) { return ObjectRef(new MURV::NetCType<int>(c)); }

// Calls a node's calculate directly: the host reads nothing back from an
// output that was never written.
void calculate(MURV::Node* n, int count, MURV::Buffer& out) {
  dynamic_cast<MURV::BufferedNode*>(n)->calculate(0, count, out);
}

}  // namespace

TEST(RosStdMsgsPublisherRos, PublishesRowsPassesInputsOnAndPacesOnlyWhatPasses) {
  RosNetwork net("std_pub");
  const char* const types[] = {"Int8", "UInt64", "Float32MultiArray"};
  const ObjectRef values[] = {boxedCount(300), boxedCount(-1),
                              complexMatrixOf({{{1, -1}, {2, 0.5f}, {3, -3}}, {{4, -4}, {5, -5}, {6, -6}}})};
  const std::string echoed[] = {
      "data: 44\n---\n", "data: 18446744073709551615\n---\n",
      "layout: \n  dim: \n    - \n      label: \"rows\"\n      size: 2\n      stride: 6\n"
      "    - \n      label: \"cols\"\n      size: 3\n      stride: 3\n"
      "    - \n      label: \"complex\"\n      size: 2\n      stride: 2\n  data_offset: 0\n"
      "data: [1.0, -1.0, 2.0, 0.5, 3.0, -3.0, 4.0, -4.0, 5.0, -5.0, 6.0, -6.0]\n---\n"};
  std::vector<std::unique_ptr<NodeRef> > feeds, rows;
  std::vector<std::unique_ptr<BackgroundCommand> > echoes;
  std::string initLine;
  for (int i = 0; i < 3; ++i) {
    const ObjectRef value = values[i];
    feeds.emplace_back(new NodeRef(new Feed("f", [value](int) { return value; })));
    rows.emplace_back(new NodeRef(node("RosStdMsgsPublisher", "row" + std::to_string(i),
                                       stdParams(types[i], "/std_" + std::to_string(i)), feeds.back()->node, nullptr,
                                       &initLine)));
    echoes.emplace_back(new BackgroundCommand("exec /usr/bin/python3 /usr/bin/rostopic echo -n 1 /std_" +
                                              std::to_string(i)));
  }
  EXPECT_EQ(initLine, "row2 initialized\n");

  // Every row reaches rostopic echo; OUTPUT is the input object itself.
  int count = 0;
  std::string debug = stdoutOf([&] {
    waitFor([&] {
      for (int i = 0; i < 3; ++i) EXPECT_EQ((*rows[i])->getOutput(0, count).get(), values[i].get());
      ++count;
      return !echoes[0]->running() && !echoes[1]->running() && !echoes[2]->running();
    }, std::chrono::seconds(60), std::chrono::milliseconds(0));
  });
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(echoes[i]->waitExit(std::chrono::seconds(5)), 0) << echoes[i]->output();
    EXPECT_EQ(echoes[i]->output(), echoed[i]) << types[i];
  }
  EXPECT_EQ(debug.rfind("row0 Published Int8\nrow1 Published UInt64\nrow2 Published Float32MultiArray\n", 0), 0u);

  // A name outside the table is refused once INPUT is connected; without
  // INPUT nothing is advertised and iterations return at once, unpaced.
  NodeRef bad(makeNode("RosStdMsgsPublisher", "bad", stdParams("int32", "/bad")));
  bad->connectToNode("INPUT", feeds[0]->node, "OUTPUT");
  auto e = hostExceptionOf([&] { bad->initialize(); });
  EXPECT_NE(textOf(e).find("Node bad: int32 is not supported.\n"), std::string::npos) << textOf(e);
  NodeRef free(node("RosStdMsgsPublisher", "free", stdParams("int32", "/free", 0.25f), nullptr, nullptr, &initLine));
  EXPECT_EQ(initLine, "free initialized\n");
  MURV::Buffer out(4);
  auto start = Clock::now();
  for (int c = 0; c < 3; ++c) calculate(free.node, c, out);
  EXPECT_LT(secondsSince(start), 4.0);
  EXPECT_FALSE(out.isValid(0));

  // A request that skips counts publishes each in order. This thread's
  // iterations run the subscriber's callbacks.
  NodeRef counts(new Feed("counts", boxedCount));
  NodeRef seq(node("RosStdMsgsPublisher", "seq", stdParams("Int32", "/std_seq"), counts.node));
  ros::NodeHandle nh;
  IntTopic seqTopic(nh, "/std_seq");
  stdoutOf([&] {
    seq->getOutput(0, 5);
    seq->getOutput(0, 5);
    EXPECT_EQ(dynamic_cast<Feed*>(counts.node)->asked, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (count = 6; seqTopic.values.size() < 6 && count < 100000; ++count) seq->getOutput(0, count);
  });
  ASSERT_GE(seqTopic.values.size(), 6u);
  EXPECT_EQ(std::vector<int>(seqTopic.values.begin(), seqTopic.values.begin() + 6), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(seqTopic.threads, std::set<std::thread::id>{std::this_thread::get_id()});

  // A mismatch, a nil and a null input are passed on and publish nothing;
  // the host hands out no null object and says so.
  NodeRef mixed(new Feed("mixed", [](int c) { return c == 0 ? boxedCount(1) : c == 1 ? MURV::nilObject : ObjectRef(); }));
  NodeRef mis(node("RosStdMsgsPublisher", "mis", stdParams("Float32", "/std_mis"), mixed.node));
  EXPECT_EQ(stdoutOf([&] {
              EXPECT_EQ(mis->getOutput(0, 1).get(), MURV::nilObject.get());
              e = hostExceptionOf([&] { mis->getOutput(0, 2); });
            }),
            "mis node : Input is not matched to Float32.\n");
  EXPECT_EQ(textOf(e), "Buffer, line 0: No object buffered for count 2\n"
                       "src/RosStdMsgsPublisher, line 812: Node mis: Exception caught in BufferedNode::getOutput\n");

  // Each publishing iteration lasts its 50 ms cycle. At most one publication
  // per 0.2 s: the iterations in between do not sleep.
  NodeRef paced(node("RosStdMsgsPublisher", "paced", stdParams("Int32", "/std_paced", 20.0f), counts.node));
  start = Clock::now();
  stdoutOf([&] { paced->getOutput(0, 3); });
  EXPECT_GE(secondsSince(start), 0.2);
  start = Clock::now();
  NodeRef gated(node("RosStdMsgsPublisher", "gated", stdParams("Int32", "/std_gated", 10.0f, 5.0f), counts.node));
  count = 0;
  debug = stdoutOf([&] {
    while (secondsSince(start) < 0.7) gated->getOutput(0, count++);
  });
  const double elapsed = secondsSince(start);
  int published = 0;
  for (size_t at = debug.find("Published"); at != std::string::npos; at = debug.find("Published", at + 1)) ++published;
  EXPECT_GE(published, 1);
  EXPECT_LE(published, static_cast<int>(elapsed / 0.2));
  EXPECT_LT(elapsed, 0.1 * count);

  // Once ROS has shut down nothing is sent, and no line says otherwise.
  stdoutOf([&] { net.generator.reset(); });
  EXPECT_EQ(stdoutOf([&] { EXPECT_NE(paced->getOutput(0, 4).get(), nullptr); }), "");
}

TEST(IfRosStdMsgsPublisherRos, PublishesOnlyWhenCondIsTrue) {
  RosNetwork net("if_std_pub");
  NodeRef counts(new Feed("counts", boxedCount));
  NodeRef third(new Feed("third", [](int c) { return c % 3 == 0 ? MURV::TrueObject : MURV::FalseObject; }));
  NodeRef always(new Feed("always", [](int) { return MURV::TrueObject; }));
  NodeRef never(new Feed("never", [](int) { return MURV::FalseObject; }));
  NodeRef notBool(new Feed("notBool", [](int) { return boxedCount(1); }));
  const std::string If = "IfRosStdMsgsPublisher";
  NodeRef byThird(node(If, "byThird", stdParams("Int32", "/if_third"), counts.node, third.node));
  NodeRef twin(node(If, "twin", stdParams("Int32", "/if_twin"), counts.node, always.node));
  NodeRef plain(node("RosStdMsgsPublisher", "plain", stdParams("Int32", "/if_plain"), counts.node));
  NodeRef held(node(If, "held", stdParams("Int32", "/if_held", 1000.0f, 0.001f), counts.node, third.node));
  NodeRef quiet(node(If, "quiet", stdParams("Int32", "/if_quiet", 0.25f), counts.node, never.node));
  NodeRef noInput(node(If, "noInput", stdParams("Int32", "/if_none"), nullptr, never.node));
  NodeRef bad(node(If, "bad", stdParams("Int32", "/if_bad"), counts.node, notBool.node));
  ros::NodeHandle nh;
  IntTopic thirdTopic(nh, "/if_third"), twinTopic(nh, "/if_twin"), plainTopic(nh, "/if_plain"),
      heldTopic(nh, "/if_held");

  // OUTPUT passes INPUT whatever COND says; COND false does not pace.
  const auto start = Clock::now();
  const std::string debug = stdoutOf([&] {
    for (MURV::Node* n : {byThird.node, twin.node, plain.node, held.node, quiet.node})
      for (int c = 0; c <= 6; ++c) EXPECT_EQ(dynamic_cast<MURV::NetCType<int>&>(*n->getOutput(0, c)).value, c);
  });
  EXPECT_LT(secondsSince(start), 4.0) << "quiet's iterations must not sleep";
  EXPECT_EQ(debug.find("held Published"), std::string::npos);
  EXPECT_EQ(debug.find("quiet Published"), std::string::npos);
  EXPECT_TRUE(waitFor([&] {
    ros::spinOnce();
    return twinTopic.values.size() == 7 && plainTopic.values.size() == 7 && thirdTopic.values.size() == 3;
  }));
  EXPECT_EQ(thirdTopic.values, (std::vector<int>{0, 3, 6}));
  EXPECT_EQ(twinTopic.values, plainTopic.values);
  EXPECT_TRUE(heldTopic.values.empty());

  // COND is read on every iteration with INPUT, also those the frequency
  // gate then stops, and never without INPUT.
  EXPECT_EQ(dynamic_cast<Feed*>(third.node)->asked, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4, 5, 6}));
  MURV::Buffer out(4);
  calculate(noInput.node, 0, out);
  EXPECT_EQ(dynamic_cast<Feed*>(never.node)->asked.size(), 7u) << "only quiet's iterations read it";

  auto e = hostExceptionOf([&] { bad->getOutput(0, 0); });
  EXPECT_NE(dynamic_cast<MURV::CastException<bool>*>(e.get()), nullptr) << textOf(e);
  EXPECT_NE(textOf(e).find("\nsrc/IfRosStdMsgsPublisher, line 831: Node bad: Exception caught in BufferedNode::getOutput"),
            std::string::npos) << textOf(e);
}
