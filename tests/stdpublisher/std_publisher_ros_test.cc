// Both standard-message publishers in networks that join a private rosmaster:
// rostopic echo decodes what goes out, and subscribers in this process, which
// has no spinner, are served by the nodes' own ros::spinOnce().
#include <gtest/gtest.h>
#include <ros/ros.h>
#include <std_msgs/Int32.h>

#include <set>
#include <thread>

#include "StdPubTestSupport.h"
#include "StreamTestSupport.h"

using namespace stdpubtest;
using murvtest::BackgroundCommand;
using murvtest::waitFor;
using subtest::NodePtr;

namespace {

using Clock = std::chrono::steady_clock;
using streamtest::secondsSince;

// The values of a std_msgs/Int32 topic in arrival order, and the threads
// that ran the callbacks.
struct IntTopic {
  std::vector<int> values;
  std::set<std::thread::id> threads;
  ros::Subscriber sub;
  explicit IntTopic(const std::string& topic)
      : sub(ros::NodeHandle().subscribe<std_msgs::Int32>(topic, 100, [this](const std_msgs::Int32::ConstPtr& m) {
          values.push_back(m->data);
          threads.insert(std::this_thread::get_id());
        })) {}
};

}  // namespace

TEST(RosStdMsgsPublisherRos, PublishesRowsPassesInputsOnAndPacesOnlyWhatPasses) {
  subtest::RosNetwork net("std_pub");
  // A row reaches rostopic echo; OUTPUT is the input object itself.
  const ObjectRef value = complexMatrixOf({{{1, -1}, {2, 0.5f}, {3, -3}}, {{4, -4}, {5, -5}, {6, -6}}});
  NodePtr feed(constant(value));
  NodePtr row(makeNode("RosStdMsgsPublisher", "row", stdParams("Float32MultiArray", "/std_row")));
  row->connectToNode("INPUT", feed.get(), "OUTPUT");
  EXPECT_EQ(stdoutOf([&] { row->initialize(); }), "row initialized\n");
  BackgroundCommand echo("exec /usr/bin/python3 /usr/bin/rostopic echo -n 1 /std_row");
  int count = 0;
  std::string debug = stdoutOf([&] {
    waitFor([&] {
      EXPECT_EQ(row->getOutput(0, count++).get(), value.get());
      return !echo.running();
    }, std::chrono::seconds(60), std::chrono::milliseconds(0));
  });
  ASSERT_EQ(echo.waitExit(std::chrono::seconds(5)), 0) << echo.output();
  EXPECT_EQ(echo.output(),
            "layout: \n  dim: \n    - \n      label: \"rows\"\n      size: 2\n      stride: 6\n"
            "    - \n      label: \"cols\"\n      size: 3\n      stride: 3\n"
            "    - \n      label: \"complex\"\n      size: 2\n      stride: 2\n  data_offset: 0\n"
            "data: [1.0, -1.0, 2.0, 0.5, 3.0, -3.0, 4.0, -4.0, 5.0, -5.0, 6.0, -6.0]\n---\n");
  EXPECT_EQ(debug.rfind("row Published Float32MultiArray\n", 0), 0u);

  // A name outside the table is refused once INPUT is connected; without
  // INPUT iterations write nothing and return at once, unpaced.
  NodePtr bad(makeNode("RosStdMsgsPublisher", "bad", stdParams("int32", "/bad")));
  bad->connectToNode("INPUT", feed.get(), "OUTPUT");
  EXPECT_NE(textOf(hostExceptionOf([&] { bad->initialize(); })).find("Node bad: ROS_MESSAGE_TYPE int32 is not supported: it takes Bool, "),
            std::string::npos);
  NodePtr free(node("RosStdMsgsPublisher", "free", stdParams("int32", "/free", 0.25f), nullptr));
  auto start = Clock::now();
  EXPECT_NE(textOf(hostExceptionOf([&] { free->getOutput(0, 2); })).find("No object buffered for count 2"),
            std::string::npos);
  EXPECT_LT(secondsSince(start), 4.0);

  // A request that skips counts publishes each in order. This thread's
  // iterations run the subscriber's callbacks.
  NodePtr counts(new Feed("counts", boxed<int>));
  NodePtr seq(node("RosStdMsgsPublisher", "seq", stdParams("Int32", "/std_seq"), counts.get()));
  IntTopic seqTopic("/std_seq");
  stdoutOf([&] {
    seq->getOutput(0, 5);
    seq->getOutput(0, 5);
    EXPECT_EQ(dynamic_cast<Feed&>(*counts).asked, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    ASSERT_TRUE(waitFor([&, c = 5]() mutable {
      seq->getOutput(0, ++c);
      return seqTopic.values.size() >= 6;
    }, std::chrono::seconds(20), std::chrono::milliseconds(0)));
  });
  seqTopic.values.resize(6);
  EXPECT_EQ(seqTopic.values, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(seqTopic.threads, std::set<std::thread::id>{std::this_thread::get_id()});

  // A mismatch, a nil and a null input are passed on and publish nothing;
  // the host hands out no null object and says so.
  NodePtr mixed(new Feed("mixed", [](int c) { return c == 0 ? boxed(1) : c == 1 ? MURV::nilObject : ObjectRef(); }));
  NodePtr mis(node("RosStdMsgsPublisher", "mis", stdParams("Float32", "/std_mis"), mixed.get()));
  std::unique_ptr<MURV::BaseException> e;
  EXPECT_EQ(stdoutOf([&] {
              EXPECT_EQ(mis->getOutput(0, 1).get(), MURV::nilObject.get());
              e = hostExceptionOf([&] { mis->getOutput(0, 2); });
            }),
            "mis node : Input is not matched to Float32.\n");
  EXPECT_EQ(textOf(e), "Buffer, line 0: No object buffered for count 2\n"
                       "src/RosStdMsgsPublisher, line 812: Node mis: Exception caught in BufferedNode::getOutput\n");

  // Each publishing iteration lasts its 50 ms cycle. At most one publication
  // per 0.2 s: the iterations in between do not sleep.
  NodePtr paced(node("RosStdMsgsPublisher", "paced", stdParams("Int32", "/std_paced", 20.0f), counts.get()));
  start = Clock::now();
  stdoutOf([&] { paced->getOutput(0, 3); });
  EXPECT_GE(secondsSince(start), 0.2);
  start = Clock::now();
  NodePtr gated(node("RosStdMsgsPublisher", "gated", stdParams("Int32", "/std_gated", 10.0f, 5.0f), counts.get()));
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

  // Once ROS has shut down nothing is sent, and no line says otherwise: the
  // count gives up as a stream node's wait does.
  stdoutOf([&] { net.generator.reset(); });
  EXPECT_EQ(stdoutOf([&] { e = hostExceptionOf([&] { paced->getOutput(0, 4); }); }), "");
  EXPECT_NE(textOf(e).find(": paced stopped waiting: ROS has been shut down\n"), std::string::npos) << textOf(e);
}

TEST(IfRosStdMsgsPublisherRos, PublishesOnlyWhenCondIsTrue) {
  subtest::RosNetwork net("if_std_pub");
  NodePtr counts(new Feed("counts", boxed<int>)), never(constant(MURV::FalseObject));
  NodePtr third(new Feed("third", [](int c) { return c % 3 == 0 ? MURV::TrueObject : MURV::FalseObject; }));
  NodePtr always(constant(MURV::TrueObject)), notBool(constant(boxed(1)));
  const std::string If = "IfRosStdMsgsPublisher";
  NodePtr byThird(node(If, "byThird", stdParams("Int32", "/if_third"), counts.get(), third.get()));
  NodePtr twin(node(If, "twin", stdParams("Int32", "/if_twin"), counts.get(), always.get()));
  NodePtr plain(node("RosStdMsgsPublisher", "plain", stdParams("Int32", "/if_plain"), counts.get()));
  NodePtr held(node(If, "held", stdParams("Int32", "/if_held", 1000.0f, 0.001f), counts.get(), third.get()));
  NodePtr quiet(node(If, "quiet", stdParams("Int32", "/if_quiet", 0.25f), counts.get(), never.get()));
  NodePtr noInput(node(If, "noInput", stdParams("Int32", "/if_none"), nullptr, never.get()));
  NodePtr bad(node(If, "bad", stdParams("Int32", "/if_bad"), counts.get(), notBool.get()));
  IntTopic thirdTopic("/if_third"), twinTopic("/if_twin"), plainTopic("/if_plain"), heldTopic("/if_held");

  // OUTPUT passes INPUT whatever COND says; COND false does not pace.
  const auto start = Clock::now();
  const std::string debug = stdoutOf([&] {
    for (const NodePtr* n : {&byThird, &twin, &plain, &held, &quiet})
      for (int c = 0; c <= 6; ++c) EXPECT_EQ(MURV::dereference_cast<int>((*n)->getOutput(0, c)), c);
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
  EXPECT_EQ(dynamic_cast<Feed&>(*third).asked, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4, 5, 6}));
  hostExceptionOf([&] { noInput->getOutput(0, 0); });
  EXPECT_EQ(dynamic_cast<Feed&>(*never).asked.size(), 7u) << "only quiet's iterations read it";

  auto e = hostExceptionOf([&] { bad->getOutput(0, 0); });
  EXPECT_NE(dynamic_cast<MURV::CastException<bool>*>(e.get()), nullptr) << textOf(e);
  EXPECT_NE(textOf(e).find("\nsrc/IfRosStdMsgsPublisher, line 831: Node bad: Exception caught in "
                           "BufferedNode::getOutput"), std::string::npos) << textOf(e);
}
