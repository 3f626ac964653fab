// MurvMsgsStreamFromRos and AudioStreamFromRos as a network drives them,
// against a private master, with messages handed to their holders directly:
// traces, ports and the port rule, conversion and stamps, the waits with
// their time-outs, pacing, parameters, and teardown.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <complex>
#include <thread>

#include "Map.h"
#include "ros/MsgFifo.h"
#include "Source.h"
#include "StreamTestSupport.h"
#include "Vector.h"

using namespace streamtest;
using MURV::Map;
using MURV::Matrix;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::waitFor;
using subtest::RosNetwork;
using subtest::shared;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<int> sourceIds(const ObjectRef& r) {
  std::vector<int> ids;
  for (const ObjectRef& e : MURV::object_cast<Vector<ObjectRef>>(r))
    ids.push_back(MURV::object_cast<MURV::Source>(e).id);
  return ids;
}

std::vector<int> mapKeys(const ObjectRef& r) {
  std::vector<int> keys;
  for (const auto& e : MURV::object_cast<Map<int, ObjectRef>>(r)) keys.push_back(e.first);
  return keys;
}

}  // namespace

TEST(StreamNode, TracesAndTheConversionOfAQueuedFrame) {
  RosNetwork net("murv_stream_frame");
  testing::internal::CaptureStdout();
  Stream s("ms", "MurvWave", {"MATOUT"}, {{"ROS_LOOP_RATE", floatParam(20.0f)}});
  Audio a("as", {{"ROS_LOOP_RATE", floatParam(20.0f)}});
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms constructor end...\nms initialized...\nas constructor end...\nas initialized...\n");

  s.holder().cb_murvwave(shared(subtest::wave(7, 2, 4)));  // stamped 12 s 345678901 ns
  murv_msgs::MurvWave frame = subtest::wave(8, 2, 3);
  frame.header.stamp = ros::Time(5, 250000000);
  a.holder().cb(shared(frame));

  testing::internal::CaptureStdout();
  auto begin = Clock::now();
  EXPECT_TRUE(s.next(0));
  // An iteration lasts at least one period of ROS_LOOP_RATE.
  EXPECT_GE(secondsSince(begin), 0.05);
  EXPECT_EQ(rowsOf(s.get(s.matout, 0)), (std::vector<std::vector<float>>{{0, 1, 2, 3}, {1000, 1001, 1002, 1003}}));
  EXPECT_EQ(s.stamp(0), (Stamp{12, 345678}));
  EXPECT_TRUE(s.holder().fifo_murvwave.empty());

  begin = Clock::now();
  EXPECT_TRUE(a.next(0));
  EXPECT_GE(secondsSince(begin), 0.05);
  EXPECT_EQ(rowsOf(a.get(a.output, 0)), (std::vector<std::vector<float>>{{0, 1, 2}, {1000, 1001, 1002}}));
  EXPECT_EQ(a.stamp(0), (Stamp{5, 250000}));
  EXPECT_TRUE(a.holder().fifo_murvwave.empty());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no debug line without the debug parameter";

  // A queued frame that cannot be converted (beyond the host's cap, past the
  // callback's check) is dropped with an Error line; the stream goes on.
  subtest::LogCapture log;
  murv_msgs::MurvWave huge = subtest::wave(9, 0, 0);
  huge.nch = (1 << 24) + 1;
  huge.length = 1;
  s.holder().fifo_murvwave.push_back(huge);  // no callback runs here
  a.holder().fifo_murvwave.push_back(huge);
  EXPECT_TRUE(s.next(1) && a.next(1));
  EXPECT_TRUE(rowsOf(s.get(s.matout, 1)).empty() && rowsOf(a.get(a.output, 1)).empty());
  EXPECT_TRUE(s.stamp(1) == (Stamp{0, 0}) && a.stamp(1) == (Stamp{0, 0}));
  EXPECT_EQ(log.count(ros::console::levels::Error, "MurvWave message dropped: MsgToHost, line"), 2);
  s.holder().cb_murvwave(shared(subtest::wave(10, 1, 1)));
  a.holder().cb(shared(subtest::wave(10, 1, 1)));
  EXPECT_TRUE(s.next(2) && a.next(2));
  EXPECT_EQ(rowsOf(s.get(s.matout, 2)), rowsOf(a.get(a.output, 2)));
  EXPECT_EQ(rowsOf(a.get(a.output, 2)), (std::vector<std::vector<float>>{{0}}));
}

TEST(StreamNode, EveryTypeComesOutOnItsPorts) {
  RosNetwork net("murv_stream_types");
  Stream wave("wave", "MurvWave", {"MATOUT"});
  Stream fft("fft", "MurvFFT", {"MATOUT"});
  Stream feature("feature", "MurvFeature", {"MAPOUT"});
  Stream source("source", "MurvSource", {"SRCOUT"});
  Stream srcWave("srcwave", "MurvSrcWave", {"SRCOUT", "MAPOUT"});
  Stream srcFFT("srcfft", "MurvSrcFFT", {"SRCOUT", "MAPOUT"});
  Stream srcFeature("srcfeature", "MurvSrcFeature", {"SRCOUT", "MAPOUT"});
  Stream mfm("mfm", "MurvSrcFeatureMFM", {"SRCOUT", "MAPOUT"});
  wave.holder().cb_murvwave(shared(subtest::wave(1, 3, 2)));
  fft.holder().cb_murvfft(shared(subtest::fft(2, 2, 5)));
  feature.holder().cb_murvfeature(shared(subtest::feature(3, 3, 3, 4)));
  source.holder().cb_murvsource(shared(subtest::source(4, 2, 2)));
  srcWave.holder().cb_murvsrcwave(shared(subtest::srcWave(5, 2, 2, 3)));
  srcFFT.holder().cb_murvsrcfft(shared(subtest::srcFFT(6, 2, 2, 3)));
  srcFeature.holder().cb_murvsrcfeature(shared(subtest::srcFeature(7, 2, 2, 3)));
  mfm.holder().cb_murvsrcfeaturemfm(shared(subtest::srcFeatureMFM(8, 2, 2, 1, 6)));
  for (Stream* s : {&wave, &fft, &feature, &source, &srcWave, &srcFFT, &srcFeature, &mfm}) EXPECT_TRUE(s->next(0));

  EXPECT_EQ(MURV::object_cast<Matrix<float>>(wave.get(wave.matout, 0)).rows, 3);
  const Matrix<std::complex<float>>& spectrum = MURV::object_cast<Matrix<std::complex<float>>>(fft.get(fft.matout, 0));
  EXPECT_EQ(std::make_pair(spectrum.rows, spectrum.cols), std::make_pair(2, 5));
  EXPECT_EQ(spectrum.data[6], std::complex<float>(1001, -1001));
  EXPECT_EQ(mapKeys(feature.get(feature.mapout, 0)), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(sourceIds(source.get(source.srcout, 0)), (std::vector<int>{10, 11}));
  for (Stream* s : {&srcWave, &srcFFT, &srcFeature, &mfm}) {
    EXPECT_EQ(sourceIds(s->get(s->srcout, 0)), (std::vector<int>{10, 11}));
    EXPECT_EQ(mapKeys(s->get(s->mapout, 0)), (std::vector<int>{10, 11}));
  }
  EXPECT_EQ(static_cast<std::vector<float>>(MURV::object_cast<Vector<float>>(
                MURV::object_cast<Map<int, ObjectRef>>(mfm.get(mfm.mapout, 0)).at(11))),
            (std::vector<float>{1.25f, 2.25f, 3.25f, 4.25f, 5.25f, 6.25f}));
  EXPECT_EQ(srcFeature.stamp(0), (Stamp{107, 7}));
}

TEST(StreamNode, QueuedFramesComeOutInOrderWithTheirDebugLines) {
  RosNetwork net("murv_stream_debug");
  Stream s("ms", "MurvWave", {"MATOUT"}, {{"DATA_BUFFER_NUM", intParam(20)}, {"ENABLE_DEBUG", boolParam(true)}});
  Audio a("as", {{"DATA_BUFFER_NUM", intParam(20)}, {"DEBUG_PRINT", boolParam(true)}});
  subtest::LogCapture log;
  testing::internal::CaptureStdout();
  for (int c = 34; c <= 43; ++c) s.holder().cb_murvwave(shared(subtest::wave(c, 8, 2)));
  for (int c = 87; c <= 99; ++c) a.holder().cb(shared(subtest::wave(c, 2, 2)));
  // Receipt traces go to the ROS log, which also writes them to the console.
  EXPECT_EQ(ownLines(testing::internal::GetCapturedStdout()), "");
  EXPECT_EQ(log.count(ros::console::levels::Info, "MurvWave received [34] [thread="), 1);
  EXPECT_EQ(log.count(ros::console::levels::Info, "Received [99] [thread="), 1);

  testing::internal::CaptureStdout();
  EXPECT_TRUE(s.next(9));
  const std::string lines = testing::internal::GetCapturedStdout();
  std::string expected;
  for (int i = 0; i <= 9; ++i)
    expected += std::to_string(i) + " : " + std::to_string(10 - i) + " : " + std::to_string(34 + i) + " : 8\n";
  EXPECT_EQ(lines, expected);
  EXPECT_NE(lines.find("7 : 3 : 41 : 8\n"), std::string::npos);

  testing::internal::CaptureStdout();
  EXPECT_TRUE(a.next(12));
  const std::string audioLines = testing::internal::GetCapturedStdout();
  EXPECT_NE(audioLines.find("\n12 : 1 : 99 : 2\n"), std::string::npos) << audioLines;
  EXPECT_EQ(audioLines.rfind("0 : 13 : 87 : 2\n", 0), 0u) << audioLines;
  EXPECT_EQ(rowsOf(a.get(a.output, 12)), (std::vector<std::vector<float>>{{0, 1}, {1000, 1001}}));
}

TEST(StreamNode, TheFifoKeepsItsConfiguredCapacityAndTheNewest) {
  RosNetwork net("murv_stream_capacity");
  Stream two("two", "MurvSource", {"SRCOUT"}, {{"DATA_BUFFER_NUM", intParam(2)}});
  Stream none("none", "MurvSource", {"SRCOUT"}, {{"DATA_BUFFER_NUM", intParam(0)}});
  Audio audio("audio", {{"DATA_BUFFER_NUM", intParam(2)}});
  for (int c = 1; c <= 4; ++c) {
    two.holder().cb_murvsource(shared(subtest::source(c, 1, 1)));
    none.holder().cb_murvsource(shared(subtest::source(c, 1, 1)));
    murv_msgs::MurvWave w = subtest::wave(c, 1, 1);
    w.header.stamp = ros::Time(100 + c, 0);
    audio.holder().cb(shared(w));
  }
  EXPECT_TRUE(two.next(1));
  EXPECT_EQ(two.stamp(0), (Stamp{103, 3}));
  EXPECT_EQ(two.stamp(1), (Stamp{104, 4}));
  EXPECT_TRUE(none.next(0));
  EXPECT_EQ(none.stamp(0), (Stamp{104, 4}));
  EXPECT_TRUE(audio.next(1));
  EXPECT_EQ(audio.stamp(0), (Stamp{103, 0}));
  EXPECT_EQ(audio.stamp(1), (Stamp{104, 0}));
}

TEST(StreamNode, SilenceLongerThanTheKillTimeEndsTheStream) {
  RosNetwork net("murv_stream_silence");
  Stream s("ms", "MurvSource", {"SRCOUT"}, {{"KILL_TIME_LEN", intParam(200000)}, {"ROS_LOOP_RATE", floatParam(2.0f)}});
  Stream w("mw", "MurvWave", {"MATOUT"}, {{"KILL_TIME_LEN", intParam(-1)}});
  Audio a("as", {{"KILL_TIME_LEN", intParam(200000)}, {"ROS_LOOP_RATE", floatParam(1.0f)}});
  s.holder().cb_murvsource(shared(subtest::source(1, 2, 2)));
  for (int c = 1; c <= 2; ++c) w.holder().cb_murvwave(shared(subtest::wave(c, 1, 3)));
  a.holder().cb(shared(subtest::wave(1, 1, 3)));

  EXPECT_TRUE(s.next(0));
  auto begin = Clock::now();
  EXPECT_FALSE(s.next(1));
  // The wait outlasts KILL_TIME_LEN; the iteration still sleeps on the rate.
  EXPECT_GE(secondsSince(begin), 0.5);
  EXPECT_TRUE(MURV::object_cast<Vector<ObjectRef>>(s.get(s.srcout, 1)).empty());
  EXPECT_EQ(s.stamp(1), (Stamp{0, 0}));
  // The node keeps no end-of-stream state: a message makes it go on.
  s.holder().cb_murvsource(shared(subtest::source(2, 1, 1)));
  EXPECT_TRUE(s.next(2));
  EXPECT_EQ(sourceIds(s.get(s.srcout, 2)), std::vector<int>{10});

  // A negative KILL_TIME_LEN ends every iteration that finds nothing.
  EXPECT_TRUE(w.next(1));
  begin = Clock::now();
  EXPECT_FALSE(w.next(2));
  const Matrix<float>& empty = MURV::object_cast<Matrix<float>>(w.get(w.matout, 2));
  EXPECT_EQ(std::make_pair(empty.rows, empty.cols), std::make_pair(0, 0));
  EXPECT_EQ(w.stamp(2), (Stamp{0, 0}));

  EXPECT_TRUE(a.next(0));  // sleeps one period of its 1 Hz rate
  begin = Clock::now();
  EXPECT_FALSE(a.next(1));
  const double waited = secondsSince(begin);
  EXPECT_GE(waited, 0.2);
  EXPECT_LT(waited, 1.0) << "a time-out is not followed by the rate sleep";
  const Matrix<float>& none = MURV::object_cast<Matrix<float>>(a.get(a.output, 1));
  EXPECT_EQ(std::make_pair(none.rows, none.cols), std::make_pair(0, 0));
  EXPECT_EQ(a.stamp(1), (Stamp{0, 0}));
}

TEST(StreamNode, WithoutKillNetworkTheWaitLastsUntilAFrameArrives) {
  RosNetwork net("murv_stream_nokill");
  Stream s("ms", "MurvFFT", {"MATOUT"}, {{"KILL_TIME_LEN", intParam(1)}, {"KILL_NETWORK", boolParam(false)}});
  Audio a("as", {{"KILL_TIME_LEN", intParam(1)}, {"KILL_NETWORK", boolParam(false)}});
  s.holder().cb_murvfft(shared(subtest::fft(1, 1, 1)));
  a.holder().cb(shared(subtest::wave(1, 1, 1)));
  EXPECT_TRUE(s.next(0));
  EXPECT_TRUE(a.next(0));

  // The next frames come only after a deliberate silence of 0.3 s.
  const auto silence = std::chrono::milliseconds(300);
  auto begin = Clock::now();
  std::thread late([&] {
    std::this_thread::sleep_for(silence);
    s.holder().cb_murvfft(shared(subtest::fft(2, 2, 1)));
    a.holder().cb(shared(subtest::wave(2, 3, 1)));
  });
  EXPECT_TRUE(s.next(1));
  EXPECT_GE(Clock::now() - begin, silence);
  EXPECT_EQ(MURV::object_cast<Matrix<std::complex<float>>>(s.get(s.matout, 1)).rows, 2);
  EXPECT_TRUE(a.next(1));
  EXPECT_EQ(rowsOf(a.get(a.output, 1)).size(), 3u);
  late.join();
}

namespace {
// Reads the output records, which only a node class can see.
class DepthProbe : public MurvMsgsStreamFromRos {
public:
  using MurvMsgsStreamFromRos::MurvMsgsStreamFromRos;
  std::pair<int, int> depths(int id) { return {outputRecords[id].firstDepth, outputRecords[id].secondDepth}; }
};
}  // namespace

TEST(StreamNode, APortTheTypeDoesNotWriteIsRefusedWhenInitialized) {
  RosNetwork net("murv_stream_ports");
  const HostFailure bad = hostFailure([] { Stream s("bad", "MurvSource", {"SRCOUT", "MAPOUT"}); });
  EXPECT_TRUE(bad.isNodeException && bad.hasNode) << bad.text;
  EXPECT_EQ(bad.message, "MAPOUT is not supported. STREAM_SELECTION MurvSource writes SRCOUT, TIMESTAMP and NOT_EOF.");
  EXPECT_EQ(bad.file, "MurvMsgsStreamFromRos");

  // A port of the type left unconnected is not written; the others are.
  DepthProbe* p = new DepthProbe("half", streamParams("MurvSrcWave"));
  NodePtr owner(p);
  const int src = p->translateOutput("SRCOUT");
  EXPECT_EQ(p->translateOutput("SRCOUT"), src) << "declared once";
  const int timestamp = p->translateOutput("TIMESTAMP");
  const int notEof = p->translateOutput("NOT_EOF");
  p->initialize();
  EXPECT_EQ(p->depths(timestamp), std::make_pair(1, 1));
  EXPECT_EQ(p->depths(notEof), std::make_pair(1, 1));
  EXPECT_EQ(p->depths(src), std::make_pair(1, 1));
  p->callbackHolder().cb_murvsrcwave(shared(subtest::srcWave(1, 2, 2, 3)));
  EXPECT_TRUE(MURV::dereference_cast<bool>(p->getOutput(notEof, 0)));
  EXPECT_EQ(sourceIds(p->getOutput(src, 0)), (std::vector<int>{10, 11}));
  EXPECT_EQ(p->getOutputNames(), (std::vector<std::string>{"TIMESTAMP", "NOT_EOF", "SRCOUT"}));
}

TEST(StreamNode, ASelectionThatNamesNoTypeIsRefusedWhenInitialized) {
  RosNetwork net("murv_stream_selection");
  for (const char* selection : {"murvwave", "MurvSorvex", "", "MurvWave "}) {
    NodePtr n = subtest::createNode("MurvMsgsStreamFromRos", "sel", streamParams(selection));
    testing::internal::CaptureStdout();
    const HostFailure f = hostFailure([&] { n->initialize(); });
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(f.isNodeException) << selection;
    EXPECT_EQ(f.message.rfind("STREAM_SELECTION ", 0), 0u) << f.message;
    EXPECT_NE(f.message.find(" is not supported: it takes MurvWave, MurvFFT, "), std::string::npos) << f.message;
    EXPECT_EQ(f.file, "MurvMsgsStreamFromRos");
    EXPECT_TRUE(f.hasNode);
    EXPECT_TRUE(subtest::subscribersOf("/stream_test/murvwave").empty()) << "nothing subscribed";
  }
}

TEST(StreamNode, ParametersAreCheckedWhenConstructedBeforeAnyHandlerIsInstalled) {
  // Signal dispositions belong to the process: look at them in a child.
  Child child([] {
    auto handlerOf = [](int sig) {
      struct sigaction now;
      sigaction(sig, nullptr, &now);
      return reinterpret_cast<void*>(now.sa_handler);
    };
    auto refusal = [](const char* type, const MURV::ParameterSet& p) {
      return hostFailure([&] { subtest::createNode(type, "bad", p); }).text;
    };
    const std::string castToFloat = "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into f\n";
    const std::string castToString = "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6StringE\n";
    // Whatever ran before in this process, start from the default.
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    int failures = 0;
    auto expect = [&](bool ok, const std::string& what) {
      if (!ok) {
        std::cerr << "failed: " << what << std::endl;
        ++failures;
      }
    };
    expect(refusal("MurvMsgsStreamFromRos", streamParams("MurvWave", {{"ROS_LOOP_RATE", intParam(10)}})) == castToFloat,
           "rate cast");
    expect(refusal("MurvMsgsStreamFromRos", streamParams("MurvWave", {{"TOPIC_NAME_MURVFFT", intParam(1)}})) ==
               castToString,
           "topic cast");
    expect(refusal("AudioStreamFromRos", audioParams({{"TOPIC_NAME", intParam(1)}})) == castToString, "audio topic");
    expect(
        refusal("AudioStreamFromRos", audioParams({{"KILL_NETWORK", intParam(1)}})).find("into b") != std::string::npos,
        "audio bool");
    for (float rate : {0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
      expect(refusal("MurvMsgsStreamFromRos", streamParams("MurvWave", {{"ROS_LOOP_RATE", floatParam(rate)}}))
                     .find("ROS_LOOP_RATE must be a positive, finite rate") != std::string::npos,
             "stream rate");
      expect(refusal("AudioStreamFromRos", audioParams({{"ROS_LOOP_RATE", floatParam(rate)}}))
                     .find("ROS_LOOP_RATE must be a positive, finite rate") != std::string::npos,
             "audio rate");
    }
    const void* none = reinterpret_cast<void*>(SIG_DFL);
    expect(handlerOf(SIGINT) == none && handlerOf(SIGHUP) == none, "no handler after refusals");
    NodePtr good = subtest::createNode("AudioStreamFromRos", "good", audioParams());
    const void* ours = reinterpret_cast<void*>(&murvstream::stopSignalHandler);
    expect(handlerOf(SIGINT) == ours && handlerOf(SIGHUP) == ours,
           "the stop handler once constructed");
    return failures;
  });
  EXPECT_EQ(child.wait(), 0);
}

TEST(StreamNode, WithoutARosNodeGeneratorInitializeIsANodeException) {
  NodePtr s = subtest::createNode("MurvMsgsStreamFromRos", "alone", streamParams("MurvWave"));
  NodePtr a = subtest::createNode("AudioStreamFromRos", "alone", audioParams());
  EXPECT_NE(hostFailure([&] { s->initialize(); }).text.find("No ROS connection"), std::string::npos);
  EXPECT_NE(hostFailure([&] { a->initialize(); }).text.find("No ROS connection"), std::string::npos);
}

// Other threads serve the same callback queue, so stopping the node's own
// spinner stops nothing: the subscription must end before the holder goes.
// Run under AddressSanitizer, a callback reaching a freed holder is fatal.
TEST(StreamNode, DestroyedWhileOtherThreadsDeliverNoCallbackReachesIt) {
  RosNetwork net("murv_stream_teardown");
  ros::AsyncSpinner others(3);
  others.start();
  ros::NodeHandle nh;
  ros::Publisher wavePub = nh.advertise<murv_msgs::MurvWave>("/stream_test/murvwave", 50);
  ros::Publisher audioPub = nh.advertise<murv_msgs::MurvWave>("/stream_test/audio", 50);
  std::atomic<bool> stop{false};
  const murv_msgs::MurvWave frame = subtest::wave(1, 16, 1024);
  std::thread publisher([&] {
    while (!stop) {
      wavePub.publish(frame);
      audioPub.publish(frame);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  for (int round = 0; round < 10; ++round) {
    Stream s("tear", "MurvWave", {"MATOUT"}, {{"DATA_BUFFER_NUM", intParam(50)}});
    Audio a("tear_audio", {{"DATA_BUFFER_NUM", intParam(50)}});
    ASSERT_TRUE(waitFor([&] {
      return murvmsg::entriesIn(s.holder().fifo_lock, s.holder().fifo_murvwave) >= 3 &&
             murvmsg::entriesIn(a.holder().fifo_lock, a.holder().fifo_murvwave) >= 3;
    })) << round;
    EXPECT_TRUE(s.next(0));
    EXPECT_TRUE(a.next(0));
  }
  EXPECT_TRUE(waitFor([&] {
    return subtest::subscribersOf("/stream_test/murvwave").empty() &&
           subtest::subscribersOf("/stream_test/audio").empty();
  }));
  stop = true;
  publisher.join();
}

TEST(StreamNode, DestroyedAfterRosHasShutDown) {
  NodePtr stream, audio;
  {
    RosNetwork net("murv_stream_late");
    Stream s("late", "MurvSource", {"SRCOUT"});
    Audio a("late_audio");
    s.holder().cb_murvsource(shared(subtest::source(1, 1, 1)));
    a.holder().cb(shared(subtest::wave(1, 1, 1)));
    stream = std::move(s.node);
    audio = std::move(a.node);
    net.generator.reset();  // ROS shuts down first, as when a network is destroyed out of order
    EXPECT_FALSE(ros::ok());
  }
  stream.reset();
  audio.reset();
}

TEST(StreamNode, AWaitGivesUpWhenRosShutsDown) {
  RosNetwork net("murv_stream_shutdown");
  Stream s("ms", "MurvWave", {"MATOUT"}, {{"KILL_NETWORK", boolParam(false)}});
  Audio a("as", {{"KILL_NETWORK", boolParam(false)}});
  a.holder().cb(shared(subtest::wave(1, 1, 1)));
  EXPECT_TRUE(a.next(0));
  std::thread shutdown([] { ros::shutdown(); });
  const HostFailure first = hostFailure([&] { s.next(0); });
  const HostFailure data = hostFailure([&] { a.next(1); });
  shutdown.join();
  EXPECT_EQ(first.message, "ms stopped waiting: ROS has been shut down");
  EXPECT_EQ(first.file, "MurvMsgsStreamFromRos");
  EXPECT_EQ(first.line, 737);
  EXPECT_EQ(data.message, "as stopped waiting: ROS has been shut down");
  EXPECT_EQ(data.file, "AudioStreamFromRos");
  EXPECT_EQ(data.line, 285);
}
