// RosMurvMsgsSubscriber as a network drives it, against a private master:
// its traces, ports and port rule, placeholders, FIFO capacity and
// REMAIN_LATEST (messages handed to its holder directly), its parameters,
// its teardown while other threads serve ROS's callback queue, and its
// spinner's threads, which take no stop signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <complex>
#include <thread>

#include "Map.h"
#include "Matrix.h"
#include "RosTestSupport.h"
#include "SharedObjects.h"
#include "Source.h"
#include "Vector.h"

using namespace subtest;
using MURV::Map;
using MURV::Matrix;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::waitFor;

namespace {

bool allZero(const ObjectRef& r, int rows, int cols) {
  const Matrix<float>& m = MURV::object_cast<Matrix<float>>(r);
  if (m.rows != rows || m.cols != cols) return false;
  for (int64_t i = 0; i < m.msize(); ++i)
    if (m.data[i] != 0.0f) return false;
  return true;
}

// The seconds of the stamps of counts first..last: which message each
// iteration converted (source(c) is stamped 100 + c; 0 is a placeholder).
std::vector<long> secondsOf(Subscriber& s, int first, int last) {
  std::vector<long> out;
  for (int c = first; c <= last; ++c) out.push_back(s.stamp(c).first);
  return out;
}

}  // namespace

TEST(SubscriberNode, TracesAndPlaceholdersWhileNothingHasArrived) {
  RosNetwork net("murv_sub_placeholders");
  testing::internal::CaptureStdout();
  Subscriber w("wav", "MurvWave", {"MATOUT"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "wav constructor end...\nwav initialized...\n");
  Subscriber f("fft", "MurvFFT", {"MATOUT"});
  Subscriber fe("fea", "MurvFeature", {"MAPOUT"});
  Subscriber so("src", "MurvSource", {"SRCOUT"});
  Subscriber sx("asr", "MurvSorvex", {"MAPOUT"});
  std::vector<std::unique_ptr<Subscriber>> perSource;
  for (const char* t : {"MurvSrcWave", "MurvSrcFFT", "MurvSrcFeature", "MurvSrcFeatureMFM"})
    perSource.emplace_back(new Subscriber(std::string("n") + t, t, {"SRCOUT", "MAPOUT"}));

  testing::internal::CaptureStdout();
  for (int count = 0; count < 3; ++count) {
    EXPECT_TRUE(allZero(w.get(w.matout, count), 2, 512));
    EXPECT_EQ(w.stamp(count), std::make_pair(0L, 0L));
    const Matrix<std::complex<float>>& m = MURV::object_cast<Matrix<std::complex<float>>>(f.get(f.matout, count));
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 257);
    EXPECT_EQ(std::count(m.data, m.data + m.msize(), std::complex<float>(0, 0)), 2 * 257);
    EXPECT_TRUE((MURV::object_cast<Map<int, ObjectRef>>(fe.get(fe.mapout, count)).empty()));
    EXPECT_TRUE((MURV::object_cast<Map<int, ObjectRef>>(sx.get(sx.mapout, count)).empty()));
    EXPECT_TRUE(MURV::object_cast<Vector<ObjectRef>>(so.get(so.srcout, count)).empty());
    for (auto& s : perSource) {
      EXPECT_TRUE(MURV::object_cast<Vector<ObjectRef>>(s->get(s->srcout, count)).empty());
      EXPECT_TRUE((MURV::object_cast<Map<int, ObjectRef>>(s->get(s->mapout, count)).empty()));
      EXPECT_EQ(s->stamp(count), std::make_pair(0L, 0L));
    }
  }
  // Every iteration makes new objects.
  EXPECT_NE(w.get(w.matout, 1).get(), w.get(w.matout, 2).get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "calculate() prints nothing";
  // Each node subscribed its own type's topic.
  EXPECT_EQ(subscribersOf("/sub_test/murvwave"), std::vector<std::string>{"/murv_sub_placeholders"});
  EXPECT_EQ(subscribersOf("/sub_test/murvsorvex"), std::vector<std::string>{"/murv_sub_placeholders"});
  // Their spinners take no stop signal: the host's own thread does.
  EXPECT_EQ(murvtest::threadsTaking(getpid(), SIGINT), std::vector<long>{static_cast<long>(syscall(SYS_gettid))});
}

TEST(SubscriberNode, ASelectionInAnotherCaseSubscribesToNothing) {
  RosNetwork net("murv_sub_nothing");
  Subscriber s("low", "murvwave", {"MATOUT", "MAPOUT", "SRCOUT"});
  for (int count = 0; count < 3; ++count) {
    EXPECT_EQ(s.stamp(count), std::make_pair(0L, 0L));
    EXPECT_NE(hostError([&] { s.get(s.matout, count); }).find("No object buffered"), std::string::npos);
    EXPECT_NE(hostError([&] { s.get(s.mapout, count); }).find("No object buffered"), std::string::npos);
  }
  for (const char* t : {"murvwave", "murvfft", "murvfeature", "murvsource", "murvsrcwave", "murvsrcfft",
                        "murvsrcfeature", "murvsrcfeaturemfm", "murvsorvex"})
    EXPECT_TRUE(subscribersOf(std::string("/sub_test/") + t).empty()) << t;
}

TEST(SubscriberNode, AConnectedPortTheTypeDoesNotWriteIsRefusedWhenInitialized) {
  RosNetwork net("murv_sub_ports");
  struct Row {
    const char* type;
    std::vector<std::string> data, forbidden;
  };
  const std::vector<Row> rows = {
      {"MurvWave", {"MATOUT"}, {"SRCOUT", "MAPOUT"}},
      {"MurvFFT", {"MATOUT"}, {"SRCOUT", "MAPOUT"}},
      {"MurvFeature", {"MAPOUT"}, {"MATOUT", "SRCOUT"}},
      {"MurvSource", {"SRCOUT"}, {"MATOUT", "MAPOUT"}},
      {"MurvSrcWave", {"SRCOUT", "MAPOUT"}, {"MATOUT"}},
      {"MurvSrcFFT", {"SRCOUT", "MAPOUT"}, {"MATOUT"}},
      {"MurvSrcFeature", {"SRCOUT", "MAPOUT"}, {"MATOUT"}},
      {"MurvSrcFeatureMFM", {"SRCOUT", "MAPOUT"}, {"MATOUT"}},
      {"MurvSorvex", {"MAPOUT"}, {"MATOUT", "SRCOUT"}},
  };
  for (const Row& row : rows) {
    Subscriber good(std::string("ok") + row.type, row.type, row.data);
    EXPECT_EQ(hostError([&] { good.get(good.timestamp, 0); }), "") << row.type;
    for (const std::string& bad : row.forbidden) {
      std::vector<std::string> ports = row.data;
      ports.push_back(bad);
      try {
        Subscriber s("mismatch", row.type, ports);
        ADD_FAILURE() << row.type << " with " << bad << ": no exception";
      } catch (MURV::BaseException* e) {
        MURV::NodeException* ne = dynamic_cast<MURV::NodeException*>(e);
        ASSERT_NE(ne, nullptr);
        EXPECT_NE(ne->node, nullptr);
        EXPECT_EQ(ne->message.rfind(bad + " is not supported. STREAM_SELECTION " + row.type + " writes ", 0), 0u)
            << ne->message;
        EXPECT_EQ(ne->file, "RosMurvMsgsSubscriber");
        delete e;
      }
    }
  }
}

TEST(SubscriberNode, PortsAreDeclaredOnceAndOnlyWhenAsked) {
  RosNetwork net("murv_sub_translate");
  NodePtr n = createNode("RosMurvMsgsSubscriber", "t", subscriberParams("MurvSrcWave"));
  EXPECT_EQ(n->getOutputNames(), std::vector<std::string>{"TIMESTAMP"});
  const int src = n->translateOutput("SRCOUT");
  EXPECT_EQ(n->translateOutput("SRCOUT"), src);
  EXPECT_EQ(n->translateOutput("TIMESTAMP"), 0);
  // Another name is declared as asked, but refused when the node is
  // initialised, since the node never writes it.
  NodePtr other = createNode("RosMurvMsgsSubscriber", "other", subscriberParams("MurvSrcWave"));
  const int extra = other->translateOutput("EXTRA");
  EXPECT_EQ(other->translateOutput("EXTRA"), extra);
  EXPECT_EQ(other->getOutputNames(), (std::vector<std::string>{"TIMESTAMP", "EXTRA"}));
  EXPECT_NE(hostError([&] { other->initialize(); }).find("Node other: EXTRA is not supported."), std::string::npos);
  EXPECT_EQ(n->getOutputNames(), (std::vector<std::string>{"TIMESTAMP", "SRCOUT"}));
  n->initialize();
  // Only SRCOUT of the row's data ports: the sources come out, MAPOUT
  // is never declared.
  holderOf(n).cb_murvsrcwave(shared(srcWave(1, 2, 2, 3)));
  const Vector<ObjectRef>& v = MURV::object_cast<Vector<ObjectRef>>(n->getOutput(src, 0));
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(MURV::object_cast<MURV::Source>(v[1]).id, 11);
  EXPECT_EQ(n->getOutputNames().size(), 2u);
}

TEST(SubscriberNode, TheFifoKeepsAtLeastFiveAndTheNewest) {
  RosNetwork net("murv_sub_capacity");
  for (auto [configured, kept] : {std::pair{0, 5}, std::pair{3, 5}, std::pair{-2, 5}, std::pair{5, 5},
                                  std::pair{6, 6}, std::pair{-2147483647 - 1, 5}}) {
    Subscriber s("cap", "MurvSource", {"SRCOUT"}, {{"DATA_BUFFER_NUM", intParam(configured)}});
    EXPECT_EQ(s.holder().capacity, kept) << configured;
    for (int c = 1; c <= 8; ++c) s.holder().cb_murvsource(shared(source(c, 1, 1)));
    std::vector<long> expected;
    for (int c = 9 - kept; c <= 8; ++c) expected.push_back(100 + c);
    expected.push_back(0);  // then the placeholder
    EXPECT_EQ(secondsOf(s, 0, kept), expected) << configured;
  }
}

TEST(SubscriberNode, RemainLatestKeepsTheLastMessageUntilANewerOneArrives) {
  RosNetwork net("murv_sub_remain");
  Subscriber keep("keep", "MurvSource", {"SRCOUT"}, {{"REMAIN_LATEST", boolParam(true)}});
  keep.holder().cb_murvsource(shared(source(1, 1, 1)));
  EXPECT_EQ(secondsOf(keep, 0, 2), (std::vector<long>{101, 101, 101}));
  keep.holder().cb_murvsource(shared(source(2, 1, 1)));
  EXPECT_EQ(secondsOf(keep, 3, 5), (std::vector<long>{101, 102, 102}));
  // Each iteration makes its own objects, also of a kept message.
  EXPECT_NE(keep.get(keep.srcout, 4).get(), keep.get(keep.srcout, 5).get());

  Subscriber once("once", "MurvSource", {"SRCOUT"});
  once.holder().cb_murvsource(shared(source(1, 1, 1)));
  once.holder().cb_murvsource(shared(source(2, 1, 1)));
  EXPECT_EQ(secondsOf(once, 0, 2), (std::vector<long>{101, 102, 0}));

  // A queued message that cannot be converted (beyond the host's cap, past
  // the callback's check) is dropped with an Error line, kept last or not:
  // the iteration outputs the placeholder, the next one the next message.
  LogCapture log;
  Subscriber wave("keepwave", "MurvWave", {"MATOUT"}, {{"REMAIN_LATEST", boolParam(true)}});
  murv_msgs::MurvWave huge = subtest::wave(1, 0, 0);
  huge.nch = (1 << 24) + 1;
  huge.length = 1;
  wave.holder().fifo_murvwave.push_back(huge);  // nothing is published: no callback runs
  EXPECT_TRUE(allZero(wave.get(wave.matout, 0), 2, 512));
  EXPECT_EQ(wave.stamp(0), std::make_pair(0L, 0L));
  EXPECT_EQ(log.count(ros::console::levels::Error, "MurvWave message dropped: MsgToHost, line"), 1);
  wave.holder().cb_murvwave(shared(subtest::wave(2, 1, 1)));
  EXPECT_EQ(wave.stamp(1), std::make_pair(12L, 345678L));
}

namespace {
// Reads the output records, which only a node class can see.
class DepthProbe : public RosMurvMsgsSubscriber {
public:
  using RosMurvMsgsSubscriber::RosMurvMsgsSubscriber;
  std::pair<int, int> depths(int id) { return {outputRecords[id].firstDepth, outputRecords[id].secondDepth}; }
};
}  // namespace

TEST(SubscriberNode, TheOutputsFilledTogetherHaveTheirDepthsRaised) {
  RosNetwork net("murv_sub_depths");
  DepthProbe* p = new DepthProbe("depth", subscriberParams("MurvSrcFFT"));
  NodePtr owner(p);
  const int src = p->translateOutput("SRCOUT");
  const int map = p->translateOutput("MAPOUT");
  p->initialize();
  EXPECT_EQ(p->depths(0), std::make_pair(1, 1));
  EXPECT_EQ(p->depths(src), std::make_pair(1, 1));
  EXPECT_EQ(p->depths(map), std::make_pair(1, 1));
}

TEST(SubscriberNode, ParametersOfTheWrongKindAreRefusedWhenConstructed) {
  auto refusal = [](const std::map<std::string, ObjectRef>& o) {
    return hostError([&] { createNode("RosMurvMsgsSubscriber", "bad", subscriberParams("MurvWave", o)); });
  };
  EXPECT_EQ(refusal({{"ROS_LOOP_RATE", intParam(10)}}),
            "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into f\n");
  EXPECT_EQ(refusal({{"STREAM_SELECTION", intParam(1)}}),
            "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6StringE\n");
  EXPECT_EQ(refusal({{"REMAIN_LATEST", intParam(1)}}),
            "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into b\n");
  for (float rate : {0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    EXPECT_NE(refusal({{"ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<float>(rate))}}).find("ROS_LOOP_RATE must be"),
              std::string::npos)
        << rate;
  // A placeholder matrix of no shape, or larger than a received matrix may
  // be (2^24 values), is refused at once.
  const std::string noMatrix = "make no matrix";
  EXPECT_NE(refusal({{"NB_CHANNELS", intParam(-1)}}).find(noMatrix), std::string::npos);
  EXPECT_EQ(refusal({{"NB_CHANNELS", intParam(32)}, {"FFT_LENGTH", intParam(524288)}}), "");
  EXPECT_NE(refusal({{"NB_CHANNELS", intParam(33)}, {"FFT_LENGTH", intParam(524288)}}).find("more than 16777216"),
            std::string::npos);
  auto refusalAs = [](const char* selection, const std::map<std::string, ObjectRef>& o) {
    return hostError([&] { createNode("RosMurvMsgsSubscriber", "bad", subscriberParams(selection, o)); });
  };
  EXPECT_NE(refusalAs("MurvFFT", {{"FFT_LENGTH", intParam(-4)}}).find(noMatrix), std::string::npos);
  EXPECT_NE(refusalAs("MurvFFT", {{"FFT_LENGTH", intParam(-1)}}).find(noMatrix), std::string::npos);
  EXPECT_EQ(refusalAs("MurvFFT", {{"NB_CHANNELS", intParam(2)}, {"FFT_LENGTH", intParam(16777214)}}), "");
  EXPECT_EQ(refusalAs("MurvSource", {{"NB_CHANNELS", intParam(-1)}}), "") << "no matrix to make";
  try {
    createNode("RosMurvMsgsSubscriber", "bad", MURV::ParameterSet());
    FAIL() << "no exception";
  } catch (MURV::BaseException* e) {
    EXPECT_NE(e->text().find("TOPIC_NAME_MURVWAVE"), std::string::npos) << e->text();
    delete e;
  }
}

TEST(SubscriberNode, WithoutARosNodeGeneratorInitializeIsANodeException) {
  for (const char* selection : {"MurvWave", "none"}) {
    NodePtr n = createNode("RosMurvMsgsSubscriber", "alone", subscriberParams(selection));
    EXPECT_NE(hostError([&] { n->initialize(); }).find("No ROS connection"), std::string::npos) << selection;
  }
}

TEST(SubscriberNode, AnInvalidTopicNameIsANodeException) {
  RosNetwork net("murv_sub_badtopic");
  // Refused when the node is made, before ROS sees it.
  const std::string text = hostError([&] {
    createNode("RosMurvMsgsSubscriber", "bad",
               subscriberParams("MurvSource", {{"TOPIC_NAME_MURVSOURCE", stringParam("no spaces!")}}));
  });
  EXPECT_NE(text.find("TOPIC_NAME_MURVSOURCE \"no spaces!\" is not a ROS name"), std::string::npos) << text;
  EXPECT_NE(text.find("RosMurvMsgsSubscriber"), std::string::npos) << text;
}

// Other threads serve the same callback queue, so stopping the node's own
// spinner stops nothing: the subscription must end before the holder goes.
// Run under AddressSanitizer, a callback reaching a freed holder is fatal.
TEST(SubscriberNode, DestroyedWhileOtherThreadsDeliverNoCallbackReachesIt) {
  RosNetwork net("murv_sub_teardown");
  ros::AsyncSpinner others(3);
  others.start();
  ros::NodeHandle nh;
  ros::Publisher pub = nh.advertise<murv_msgs::MurvWave>("/sub_test/murvwave", 50);
  std::atomic<bool> stop{false};
  const murv_msgs::MurvWave frame = wave(1, 16, 1024);
  std::thread publisher([&] {
    while (!stop) {
      pub.publish(frame);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  for (int round = 0; round < 15; ++round) {
    Subscriber s("tear", "MurvWave", {"MATOUT"}, {{"DATA_BUFFER_NUM", intParam(50)}});
    ASSERT_TRUE(waitFor([&] {
      std::lock_guard<std::mutex> g(s.holder().fifo_lock);
      return s.holder().fifo_murvwave.size() >= 3;
    })) << round;
  }
  EXPECT_TRUE(waitFor([&] { return subscribersOf("/sub_test/murvwave").empty(); }));
  stop = true;
  publisher.join();
}

TEST(SubscriberNode, DestroyedAfterRosHasShutDown) {
  NodePtr sub;
  {
    RosNetwork net("murv_sub_late");
    Subscriber s("late", "MurvSorvex", {"MAPOUT"});
    s.holder().cb_murvsorvex(shared(sorvex(2)));
    sub = std::move(s.node);
    net.generator.reset();  // ROS shuts down first, as when a network is destroyed out of order
    EXPECT_FALSE(ros::ok());
  }
  sub.reset();
}
