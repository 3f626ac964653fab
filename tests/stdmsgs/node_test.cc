// RosStdMsgsSubscriber and StdMsgsStreamFromRos against a private master:
// host values through RosStdMsgsPublisher, roscpp publishers, rostopic as an
// outside client, and stream networks run by the network runner, ended by
// silence or by SIGINT.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <thread>

#include "StdMsgsTestSupport.h"
#include "StdPubTestSupport.h"

using namespace stdtest;
using namespace std_msgs;
using H = callbackFuncStdMsgsSubscriber;
using MURV::ObjectRef;
using murvtest::BackgroundCommand;
using subtest::NodePtr;
using subtest::RosNetwork;

namespace {

// Publishes m once on r's topic when r has connected, and waits until r has
// queued it.
template <class M>
void deliver(Receiver& r, const M& m) {
  ros::NodeHandle nh;
  ros::Publisher p = nh.advertise<M>("/std_test/" + r.type, 10);
  ASSERT_TRUE(waitFor([&] { return p.getNumSubscribers() > 0; })) << r.type;
  const std::size_t before = r.holder().entries(r.category);
  p.publish(m);
  ASSERT_TRUE(waitFor([&] { return r.holder().entries(r.category) > before; })) << r.type;
}

}  // namespace

TEST(StdSubscriber, DefaultsRoundTripsAndMalformedLayouts) {
  RosNetwork net("murv_std_sub");
  // A scalar type reads no array shape, whatever the format says.
  testing::internal::CaptureStdout();
  Receiver b(false, "b", "Bool", "nonsense");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "b constructor end...\nb initialized...\n");
  Receiver r(false, "r", "Int16", "", {{"REMAIN_LATEST", boolParam(true)}, {"DATA_BUFFER_NUM", intParam(-3)}});
  EXPECT_EQ(b.holder().capacity + r.holder().capacity, 20 + 5);
  // The default, then the value, then the default again; REMAIN_LATEST
  // repeats the last value until a newer one has come.
  deliver(b, msg<Bool>(false));
  EXPECT_EQ(b.next(2), "false;true");
  deliver(r, msg<Int16>(-3));
  EXPECT_EQ(r.next(2), "Int -3;Int -3");
  deliver(r, msg<Int16>(8));
  EXPECT_EQ(r.next(3), "Int -3;Int 8;Int 8");

  // Host values through RosStdMsgsPublisher come back as the objects that
  // went in, or as what the narrower message type keeps; before a message
  // each family outputs its default.
  const float inf = std::numeric_limits<float>::infinity();
  using namespace stdpubtest;
  const struct {
    std::string type, format;
    ObjectRef in;
    std::string folded, fallback;  // folded "": the input itself
  } rows[] = {
      {"String", "", ObjectRef(new MURV::String(std::string("caf\xc3\xa9\0 end", 10))), "", "String "},
      {"Int8", "", boxed(300), "Int 44", "Int -7"},
      {"UInt64", "", boxed(std::numeric_limits<int>::min()), "", "Int -7"},  // 2^64 - 2^31 on the wire
      {"Float64", "", boxed(0.1f), "", "Float 2.5"},
      {"Int8MultiArray", "Vector<>", ints({-128, 127, 300, -129}), "Vector<int> -128 127 44 127", "Vector<int>"},
      {"UInt16MultiArray", "Matrix<>", intMatrixOf({{1, -1, 7}, {65535, 65536, 0}}),
       "Matrix<int> 2x3 1 65535 7 65535 0 0", "Matrix<int> 0x0"},
      {"Float32MultiArray", "Vector<>", floats({0.5f, -1e-3f, inf}), "", "Vector<float>"},
      {"Float64MultiArray", "Matrix<>", matrixOf({{1, 2, 3}, {4, 5, 6.25f}}), "", "Matrix<float> 0x0"},
      {"Float32MultiArray", "Matrix<complex<>>", complexMatrixOf({{{1e-7f, -1}, {2, 0.5f}}, {{0.1f, 3}, {4, -4}}}),
       "", "Matrix<complex> 0x0"},
      // A complex column is the publisher's only way to a complex vector.
      {"Float64MultiArray", "Vector<complex<>>", complexMatrixOf({{{1, 2}}, {{-3, 0.25f}}}),
       "Vector<complex> (1,2) (-3,0.25)", "Vector<complex>"},
  };
  std::vector<NodePtr> feeds, publishers;
  std::vector<std::unique_ptr<Receiver>> receivers;
  for (const auto& row : rows) {
    const std::string i = std::to_string(publishers.size()), topic = "/std_roundtrip/" + i;
    feeds.emplace_back(constant(row.in));
    publishers.emplace_back(node("RosStdMsgsPublisher", "pub" + i, stdParams(row.type, topic), feeds.back().get()));
    receivers.emplace_back(new Receiver(false, "sub" + i, row.type, row.format, {{"TOPIC_NAME", stringParam(topic)}}));
    EXPECT_EQ(receivers.back()->next(), row.fallback) << row.type << " as " << row.format;
  }
  // The publishers run iterations until every subscriber has a message: the
  // first ones may go out before the connection is made.
  bool arrived = false;
  stdoutOf([&] {
    arrived = waitFor([&, count = 0]() mutable {
      for (NodePtr& p : publishers) p->getOutput(0, count);
      ++count;
      return std::all_of(receivers.begin(), receivers.end(), [](auto& r) { return r->holder().entries(r->category); });
    });
  });
  ASSERT_TRUE(arrived);
  for (std::size_t i = 0; i < receivers.size(); ++i)
    EXPECT_EQ(receivers[i]->next(1, std::numeric_limits<float>::max_digits10),
              rows[i].folded.empty() ? describe(rows[i].in, std::numeric_limits<float>::max_digits10) : rows[i].folded)
        << rows[i].type << " as " << rows[i].format;

  // A malformed layout from an outside client is dropped with an Error line,
  // and the good message behind it is output.
  subtest::LogCapture log;
  Receiver v(false, "v", "Float32MultiArray", "Vector<>");
  const murvtest::CommandResult pub = murvtest::runCommand(
      "exec /usr/bin/python3 /usr/bin/rostopic pub -1 /std_test/Float32MultiArray std_msgs/Float32MultiArray "
      "'{layout: {dim: []}, data: [1.5, 2.5]}'");
  ASSERT_EQ(pub.status, 0) << pub.output;
  ASSERT_TRUE(waitFor([&] { return v.holder().entries(v.category) > 0; }));
  deliver(v, arrayMsg<Float32MultiArray>(std::vector<float>{1.5f, 2.5f}));
  EXPECT_EQ(v.next(), "Vector<float> 1.5 2.5");
  EXPECT_EQ(log.count(ros::console::levels::Error,
                      "Float32MultiArray message dropped: \"Vector<>\" reads 1 layout dimension(s), the message has 0"),
            1);
}

TEST(StdStream, NetworksCountToTheEndStopOnSigintAndGiveUpWhenRosShutsDown) {
  RosNetwork net("murv_std_stream");
  ros::NodeHandle nh;
  // A network of one stream node on /std_test/<name>, running once p reaches it.
  auto run = [](const std::string& name, bool killNetwork, const ros::Publisher& p) {
    const std::string param = "\nparam stream ";
    const std::string description =
        "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_" + name + "\nnode stream StdMsgsStreamFromRos" +
        param + "ROS_MESSAGE_TYPE string Int64" + param + "OUT_ARRAY_FORMAT string Vector<>" + param +
        "TOPIC_NAME string /std_test/" + name + param + "ENABLE_DEBUG bool false" + param + "ROS_LOOP_RATE float 1000" +
        param + "MSG_BUFFER_NUM int 100" + param + "DATA_BUFFER_NUM int 100" + param + "KILL_TIME_LEN int 500000" +
        param + "KILL_NETWORK bool " + (killNetwork ? "true" : "false") +
        "\neof stream NOT_EOF\noutput stream OUTPUT\n";
    auto runner = std::make_unique<BackgroundCommand>(runnerCommand(name, description));
    EXPECT_TRUE(waitFor([&] { return p.getNumSubscribers() > 0 || !runner->running(); })) << runner->output();
    return runner;
  };
  ros::Publisher toCount = nh.advertise<Int64>("/std_test/count", 100);
  ros::Publisher toStop = nh.advertise<Int64>("/std_test/sigint", 10);
  {
    auto runner = run("count", true, toCount);
    std::string expected;
    for (int i = 0; i < 40; ++i) {
      toCount.publish(msg<Int64>(4294967296LL * i + i));  // folds to i
      expected += "[" + std::to_string(i) + "] stream.OUTPUT = <Int " + std::to_string(i) + " >\n";
    }
    EXPECT_EQ(runner->waitExit(std::chrono::seconds(60)), 0) << runner->output();
    // Forty counts, then the silence ends the network.
    EXPECT_NE(ownLines(runner->output()).find(expected + "ROS destructed...\n"), std::string::npos)
        << runner->output();
  }
  auto runner = run("sigint", false, toStop);
  toStop.publish(msg<Int64>(1));
  ASSERT_TRUE(waitFor([&] { return runner->output().find("[0] stream.OUTPUT = ") != std::string::npos; }));
  runner->signal(SIGINT);
  EXPECT_EQ(runner->waitExit(std::chrono::seconds(30)), 130) << runner->output();
  EXPECT_NE(runner->output().find("src/StdMsgsStreamFromRos, line 858: stream Force-quit...\n"), std::string::npos)
      << runner->output();

  // Last, as it ends ROS for this process: a wait gives up when ROS shuts down.
  Receiver s(true, "s", "String", "", {{"KILL_NETWORK", boolParam(false)}});
  std::thread shutdown([] { ros::shutdown(); });
  const HostFailure f = hostFailure([&] { s.notEof(0); });
  shutdown.join();
  EXPECT_EQ(f.message + " at " + std::to_string(f.line), "s stopped waiting: ROS has been shut down at 769");
}

// The stop flag belongs to the process, so this runs in a child, which
// joins ROS itself; messages are handed to the holders directly.
TEST(StdStream, TimeOutsDebugLinesAndTheLineOfEveryWait) {
  murvtest::RosMaster master;
  master.start();
  Child child([] {
    NodePtr gen = subtest::createGenerator("murv_std_lines");
    gen->initialize();
    int failures = 0;
    auto expect = [&](bool ok, const std::string& what) {
      if (!ok) ++failures, std::cerr << "failed: " << what << std::endl;
    };
    Receiver t(true, "t", "Int8", "", {{"KILL_TIME_LEN", intParam(100000)}, {"ENABLE_DEBUG", boolParam(true)}});
    for (int i = 1; i <= 2; ++i) t.holder().cb_stdint8(shared<Int8>(-i));
    testing::internal::CaptureStdout();
    expect(t.notEof(0) && t.notEof(1) && t.get(1) == "Int -2", "two queued messages");
    expect(ownLines(testing::internal::GetCapturedStdout()) == "0 : 2\n1 : 1\n", "debug lines");
    expect(!t.notEof(2), "a silence of KILL_TIME_LEN ends its count");
    t.holder().cb_stdint8(shared<Int8>(5));
    expect(t.notEof(3) && t.get(3) == "Int 5", "the next count starts again");

    raise(SIGINT);  // the nodes installed the handler: the flag is set
    const std::pair<Given, int> waits[] = {
        {given(&H::cb_stdbool, 1), 798},    {given(&H::cb_stdstring, ""), 828},
        {given(&H::cb_stduint64, 1), 858},  {given(&H::cb_stdfloat64, 1), 888},
        {given(&H::cb_stdint8multiarray, std::vector<int>{1}, {1, 1}), 918},
        {given(&H::cb_stdfloat64multiarray, std::vector<double>{1}, {1, 1}), 1015}};
    for (const auto& [in, line] : waits) {
      Receiver w(true, "w", in.type, "Matrix<>", {{"KILL_NETWORK", boolParam(false)}});
      const HostFailure first = hostFailure([&] { w.notEof(0); });
      expect(first.message == "w Force-quit..." && first.line == 769 && first.file == "src/StdMsgsStreamFromRos" &&
                 !first.hasNode,
             in.type + " first wait: " + first.text);
      in.to(w.holder());
      expect(w.notEof(0), in.type + " goes on while it finds data");
      const HostFailure data = hostFailure([&] { w.notEof(1); });
      expect(data.message == "w Force-quit..." && data.line == line, in.type + " data wait: " + data.text);
    }
    Receiver quick(true, "quick", "Bool", "", {{"KILL_TIME_LEN", intParam(-1)}});
    quick.holder().cb_stdbool(shared<Bool>(1));
    expect(quick.notEof(0) && !quick.notEof(1), "a time-out in the same round as the stop wins");
    return failures;
  });
  EXPECT_EQ(child.wait(), 0);
}
