// RosStdMsgsSubscriber and StdMsgsStreamFromRos against a private master:
// roscpp publishers writing the standard-message publishers' layouts,
// rostopic as an outside client, and stream networks run by the network
// runner, ended by silence or by SIGINT.
#include <gtest/gtest.h>

#include <thread>

#include "StdMsgsTestSupport.h"

using namespace stdtest;
using H = murvstd::StdMsgsHolder;
using namespace std_msgs;
using murvstd::Category;
using murvtest::BackgroundCommand;
using murvtest::waitFor;
using subtest::RosNetwork;

namespace {

// Publishes msg once on the topic of r's type when r has connected, and
// waits until r has queued it.
template <class M>
void deliver(Receiver& r, const std::string& type, const M& msg, Category c) {
  ros::NodeHandle nh;
  ros::Publisher p = nh.advertise<M>("/std_test/" + type, 10);
  ASSERT_TRUE(waitFor([&] { return p.getNumSubscribers() > 0; })) << type;
  const std::size_t before = r.holder().entries(c);
  p.publish(msg);
  ASSERT_TRUE(waitFor([&] { return r.holder().entries(c) > before; })) << type;
}

}  // namespace

TEST(StdSubscriber, EveryFamilyRoundTripsAndDefaultsFillTheGaps) {
  RosNetwork net("murv_std_sub");
  testing::internal::CaptureStdout();
  Receiver b(false, "b", "Bool", "", {{"BOOL_DEFAULT", boolParam(true)}});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "b constructor end...\nb initialized...\n");
  Receiver s(false, "s", "String", ""), u(false, "u", "UInt32", ""), f(false, "f", "Float64", "");
  Receiver v(false, "v", "Int16MultiArray", "Vector<>"), m(false, "m", "Float32MultiArray", "Matrix<>");
  Receiver c(false, "c", "Float64MultiArray", "Matrix<complex<>>");
  Receiver r(false, "r", "Int16", "", {{"REMAIN_LATEST", boolParam(true)}, {"DATA_BUFFER_NUM", intParam(-3)}});
  EXPECT_EQ(r.holder().capacity, 5);
  EXPECT_EQ(v.holder().capacity, 20);
  const std::map<Receiver*, std::string> defaults = {
      {&b, "true"}, {&s, "String "}, {&u, "Int -7"}, {&f, "Float 2.5"}, {&v, "Vector<int>"},
      {&m, "Matrix<float> 0x0"}, {&c, "Matrix<complex> 0x0"}, {&r, "Int -7"}};
  for (const auto& d : defaults) EXPECT_EQ(d.first->next(), d.second);

  deliver(b, "Bool", *shared<Bool>(false), Category::Bool);
  deliver(s, "String", *shared<String>("hello world"), Category::String);
  deliver(u, "UInt32", *shared<UInt32>(4294967295u), Category::Int32);
  deliver(f, "Float64", *shared<Float64>(0.1), Category::Float32);
  deliver(v, "Int16MultiArray", arrayMsg<Int16MultiArray>(std::vector<int>{-3, 300, 32767}),
          Category::Int32MultiArray);
  deliver(m, "Float32MultiArray", arrayMsg<Float32MultiArray>(std::vector<float>{1, 2, 3, 4, 5, 6}, {2, 3}),
          Category::Float32MultiArray);
  deliver(c, "Float64MultiArray", arrayMsg<Float64MultiArray>(std::vector<double>{1, -1, 2, -2, 3, -3, 4, -4.5},
                                                              {2, 2}, true),
          Category::Float32MultiArray);
  const std::vector<std::pair<Receiver*, std::string>> values = {
      {&b, "false"},          {&s, "String hello world"},      {&u, "Int -1"},
      {&f, "Float 0.1"},      {&v, "Vector<int> -3 300 32767"}, {&m, "Matrix<float> 2x3 1 2 3 4 5 6"},
      {&c, "Matrix<complex> 2x2 (1,-1) (2,-2) (3,-3) (4,-4.5)"}};
  for (const auto& e : values) {
    EXPECT_EQ(e.first->next(), e.second);
    EXPECT_EQ(e.first->next(), defaults.at(e.first)) << "then the default again";
  }

  // REMAIN_LATEST repeats the last value until a newer one has come.
  auto nexts = [&r](int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += r.next() + ";";
    return out;
  };
  deliver(r, "Int16", *shared<Int16>(-3), Category::Int32);
  EXPECT_EQ(nexts(2), "Int -3;Int -3;");
  deliver(r, "Int16", *shared<Int16>(8), Category::Int32);
  EXPECT_EQ(nexts(3), "Int -3;Int 8;Int 8;");
}

TEST(StdSubscriber, AMalformedLayoutFromRostopicIsDroppedAndTheNextOneArrives) {
  RosNetwork net("murv_std_rostopic");
  subtest::LogCapture log;
  Receiver v(false, "v", "Float32MultiArray", "Vector<>");
  for (const char* yaml : {"{layout: {dim: []}, data: [1.5, 2.5]}",
                           "{layout: {dim: [{label: v, size: 2, stride: 2}]}, data: [1.5, 2.5]}"}) {
    const murvtest::CommandResult pub = murvtest::runCommand(
        "exec /usr/bin/python3 /usr/bin/rostopic pub -1 /std_test/Float32MultiArray std_msgs/Float32MultiArray '" +
        std::string(yaml) + "'");
    ASSERT_EQ(pub.status, 0) << pub.output;
    ASSERT_TRUE(waitFor([&] { return v.holder().entries(Category::Float32MultiArray) > 0; }));
  }
  // The malformed one is dropped, the good one behind it output.
  EXPECT_EQ(v.next(), "Vector<float> 1.5 2.5");
  EXPECT_EQ(log.count(ros::console::levels::Error,
                      "Float32MultiArray message dropped: \"Vector<>\" reads 1 layout dimension(s), the message has 0"),
            1);
  EXPECT_EQ(v.next(), "Vector<float>");
}

TEST(StdReceivers, ConfigurationsThatCouldOnlyHangOrDoNothingAreRefused) {
  RosNetwork net("murv_std_refusals");
  const std::vector<std::vector<std::string>> rows = {{"int32", "Vector<>", "int32 is not supported."},
                                                      {"Int32 ", "Vector<>", "Int32  is not supported."},
                                                      {"UInt8MultiArray", "vector<>", "vector<> is not supported."}};
  for (bool stream : {false, true}) {
    const std::string file = stream ? "src/StdMsgsStreamFromRos" : "src/RosStdMsgsSubscriber";
    for (const auto& row : rows) {
      subtest::NodePtr n = subtest::createNode(stream ? "StdMsgsStreamFromRos" : "RosStdMsgsSubscriber", "bad",
                                               nodeParams(stream, row[0], row[1]));
      testing::internal::CaptureStdout();
      const HostFailure f = hostFailure([&] { n->initialize(); });
      testing::internal::GetCapturedStdout();
      EXPECT_TRUE(f.message == row[2] && f.file == file && f.hasNode) << f.text;
      EXPECT_TRUE(subtest::subscribersOf("/std_test/" + row[0]).empty());
    }
    const HostFailure rate = hostFailure([&] {
      subtest::createNode(stream ? "StdMsgsStreamFromRos" : "RosStdMsgsSubscriber", "rate",
                          nodeParams(stream, "Bool", "", {{"ROS_LOOP_RATE", floatParam(0.0f)}}));
    });
    EXPECT_NE(rate.message.find("ROS_LOOP_RATE must be a positive, finite rate"), std::string::npos) << file;
  }
  Receiver scalar(false, "ok", "Bool", "nonsense");  // a scalar type reads no array shape
  EXPECT_EQ(scalar.next(), "false");
}

TEST(StdStream, ANetworkCountsEveryMessageToTheEndOfTheStreamAndStopsOnSigint) {
  RosNetwork net("murv_std_stream");
  ros::NodeHandle nh;
  auto run = [](const std::string& name, const std::string& type, bool killNetwork) {
    const std::string topic = "/std_test/" + name;
    const std::string description =
        "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_" + name +
        "\nnode stream StdMsgsStreamFromRos\nparam stream ROS_MESSAGE_TYPE string " + type +
        "\nparam stream OUT_ARRAY_FORMAT string Vector<>\nparam stream TOPIC_NAME string " + topic +
        "\nparam stream ENABLE_DEBUG bool false\nparam stream ROS_LOOP_RATE float 1000\n"
        "param stream MSG_BUFFER_NUM int 100\nparam stream DATA_BUFFER_NUM int 100\n"
        "param stream KILL_TIME_LEN int 500000\nparam stream KILL_NETWORK bool " +
        (killNetwork ? "true" : "false") + "\neof stream NOT_EOF\noutput stream OUTPUT\n";
    auto runner = std::make_unique<BackgroundCommand>(runnerCommand(name, description));
    EXPECT_TRUE(waitFor([&] { return !subtest::subscribersOf(topic).empty() || !runner->running(); }));
    return runner;
  };
  {
    auto runner = run("count", "Int64", true);
    ros::Publisher p = nh.advertise<Int64>("/std_test/count", 100);
    ASSERT_TRUE(waitFor([&] { return p.getNumSubscribers() > 0; })) << runner->output();
    std::string expected;
    for (int i = 0; i < 40; ++i) {
      p.publish(*shared<Int64>(4294967296LL * i + i));  // folds to i
      expected += "[" + std::to_string(i) + "] stream.OUTPUT = <Int " + std::to_string(i) + " >\n";
    }
    EXPECT_EQ(runner->waitExit(std::chrono::seconds(60)), 0) << runner->output();
    // Forty counts, then the silence ends the network.
    EXPECT_NE(ownLines(runner->output()).find(expected + "ROS destructed...\n"), std::string::npos)
        << runner->output();
  }
  auto runner = run("sigint", "Float32MultiArray", false);
  ros::Publisher p = nh.advertise<Float32MultiArray>("/std_test/sigint", 10);
  ASSERT_TRUE(waitFor([&] { return p.getNumSubscribers() > 0; })) << runner->output();
  p.publish(arrayMsg<Float32MultiArray>(std::vector<float>{0.5f}));
  ASSERT_TRUE(waitFor([&] { return runner->output().find("[0] stream.OUTPUT = ") != std::string::npos; }));
  runner->signal(SIGINT);
  EXPECT_EQ(runner->waitExit(std::chrono::seconds(30)), 1) << runner->output();
  EXPECT_NE(runner->output().find("src/StdMsgsStreamFromRos, line 1015: stream Force-quit...\n"), std::string::npos)
      << runner->output();
}

// The stop flag belongs to the process, so this runs in a child, which
// joins ROS itself; messages are handed to the holders directly.
TEST(StdStream, TimeOutsDebugLinesAndTheLineOfEveryWait) {
  murvtest::RosMaster master;
  master.start();
  Child child([] {
    subtest::NodePtr gen = subtest::createGenerator("murv_std_lines");
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
    for (const auto& l : std::vector<std::pair<std::string, int>>{{"Bool", 798},    {"String", 828},
                                                                  {"UInt64", 858},  {"Float64", 888},
                                                                  {"Int8MultiArray", 918}, {"Float64MultiArray", 1015}}) {
      Receiver w(true, "w", l.first, "Matrix<>", {{"KILL_NETWORK", boolParam(false)}});
      const HostFailure first = hostFailure([&] { w.notEof(0); });
      expect(first.message == "w Force-quit..." && first.line == 769 && first.file == "src/StdMsgsStreamFromRos" &&
                 !first.hasNode,
             l.first + " first wait: " + first.text);
      H& h = w.holder();
      h.cb_stdbool(shared<Bool>(1));
      h.cb_stdstring(shared<String>(""));
      h.cb_stduint64(shared<UInt64>(1));
      h.cb_stdfloat64(shared<Float64>(1));
      h.cb_stdint8multiarray(boost::make_shared<const Int8MultiArray>(arrayMsg<Int8MultiArray>(std::vector<int>{1}, {1, 1})));
      h.cb_stdfloat64multiarray(
          boost::make_shared<const Float64MultiArray>(arrayMsg<Float64MultiArray>(std::vector<double>{1}, {1, 1})));
      expect(w.notEof(0), l.first + " goes on while it finds data");
      const HostFailure data = hostFailure([&] { w.notEof(1); });
      expect(data.message == "w Force-quit..." && data.line == l.second, l.first + " data wait: " + data.text);
    }
    Receiver quick(true, "quick", "Bool", "", {{"KILL_TIME_LEN", intParam(-1)}});
    quick.holder().cb_stdbool(shared<Bool>(1));
    expect(quick.notEof(0) && !quick.notEof(1), "a time-out in the same round as the stop wins");
    return failures;
  });
  EXPECT_EQ(child.wait(), 0);
}

TEST(StdStream, AWaitGivesUpWhenRosShutsDown) {
  RosNetwork net("murv_std_shutdown");
  Receiver s(true, "s", "String", "", {{"KILL_NETWORK", boolParam(false)}});
  std::thread shutdown([] { ros::shutdown(); });
  const HostFailure f = hostFailure([&] { s.notEof(0); });
  shutdown.join();
  EXPECT_EQ(f.message, "s stopped waiting: ROS has been shut down");
  EXPECT_EQ(f.line, 769);
}
