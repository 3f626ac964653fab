// RosMurvMsgsPublisher in networks that join a private rosmaster. What goes
// out is read back by ROS's own command-line tools where the wire matters,
// and by a subscriber in this process where only values and timing do. Each
// test is a process of its own: roscpp initialises once per process.
#include <gtest/gtest.h>
#include <murv_msgs/MurvWave.h>
#include <ros/ros.h>

#include <chrono>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "PublisherTestSupport.h"
#include "RosMaster.h"
#include "nodes/RosNodeGenerator.h"

using namespace pubtest;
using murvtest::BackgroundCommand;
using murvtest::runCommand;
using murvtest::waitFor;

namespace {

MURV::Node* generator(const std::string& name) {
  MURV::ParameterSet p;
  p.add("NODE_NAME", ObjectRef(new MURV::String(name)));
  return MURV::Node::getFactoryNamed("RosNodeGenerator")->Create("gen", p);
}

std::string rostopic(const std::string& args) { return "exec /usr/bin/python3 /usr/bin/rostopic " + args; }

MURV::Node* publisher(const std::string& name, MURV::ParameterSet params) {
  MURV::Node* node = nullptr;
  stdoutOf([&] { node = makePublisher(name, params); });
  return node;
}

void set(MURV::ParameterSet& p, const std::string& key, int v) { p.add(key, ObjectRef(new MURV::NetCType<int>(v))); }
void set(MURV::ParameterSet& p, const std::string& key, float v) {
  p.add(key, ObjectRef(new MURV::NetCType<float>(v)));
}
void set(MURV::ParameterSet& p, const std::string& key, const char* v) {
  p.add(key, ObjectRef(new MURV::String(v)));
}

void initialize(MURV::Node* node) {
  stdoutOf([&] { node->initialize(); });
}

// The topics that have a publisher, each with its type, as "/topic [type]".
std::set<std::string> publishedTopics() {
  std::set<std::string> topics;
  std::istringstream lines(runCommand(rostopic("list -p -v")).output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(" * ", 0) != 0) continue;
    size_t close = line.find(']');
    if (close != std::string::npos) topics.insert(line.substr(3, close - 2));
  }
  return topics;
}

int countIn(const std::string& echoed) {
  size_t at = echoed.find("\ncount: ");
  return at == std::string::npos ? -1 : std::atoi(echoed.c_str() + at + 8);
}

// rostopic's text of the header and count that every message of the full
// network carries: roscpp numbers the messages of each topic from 0, and
// every count publishes once, so seq is the count.
std::string head(int count) {
  return "header: \n  seq: " + std::to_string(count) + "\n  stamp: \n    secs: " + std::to_string(1000 + count) +
         "\n    nsecs: 250000000\n  frame_id: \"mic_array\"\ncount: " + std::to_string(count) + "\n";
}

const char* const kSource9 =
    "  - \n    id: 9\n    power: 2.5\n    x: 1.0\n    y: 1.0\n    z: 0.0\n    azimuth: 45.0\n    elevation: 0.0\n";
const char* const kSource3 =
    "  - \n    id: 3\n    power: 0.5\n    x: 0.0\n    y: -1.0\n    z: 0.0\n    azimuth: -90.0\n    elevation: 0.0\n";

std::string expectedEcho(const std::string& topic, int c) {
  const std::string s9 = kSource9, s3 = kSource3;
  const std::string sources = "exist_src_num: 2\nsrc: \n";
  if (topic == "wave")
    return head(c) +
           "nch: 2\nlength: 3\ndata_bytes: 24\nsrc: \n  - \n    wavedata: [1.0, 2.0, 3.0]\n"
           "  - \n    wavedata: [-4.5, 0.25, 6.0]\n---\n";
  if (topic == "fft")
    return head(c) + "nch: 1\nlength: 2\nsrc: \n  - \n    fftdata_real: [1.0, 2.5]\n    fftdata_imag: [-1.0, 0.0]\n---\n";
  if (topic == "source") return head(c) + sources + s9 + s3 + "---\n";
  if (topic == "srcwave")
    return head(c) + sources + s9 + "    length: 2\n    data_bytes: 4\n    wavedata: [-25536.0, -2.0]\n" + s3 +
           "    length: 2\n    data_bytes: 4\n    wavedata: [100.0, 0.0]\n---\n";
  if (topic == "srcfft")
    return head(c) + sources + s9 + "    length: 1\n    fftdata_real: [1.0]\n    fftdata_imag: [2.0]\n" + s3 +
           "    length: 0\n    fftdata_real: []\n    fftdata_imag: []\n---\n";
  if (topic == "srcfeature")
    return head(c) + sources + s9 + "    length: 1\n    data_bytes: 4\n    featuredata: [9.0]\n" + s3 +
           "    length: 2\n    data_bytes: 8\n    featuredata: [3.0, 3.5]\n---\n";
  if (topic == "srcfeaturemfm")
    return head(c) + sources + s9 +
           "    length_feature: 1\n    data_bytes_feature: 4\n    featuredata_feature: [9.0]\n"
           "    length_mfm: 1\n    data_bytes_mfm: 4\n    featuredata_mfm: [0.25]\n" +
           s3 +
           "    length_feature: 2\n    data_bytes_feature: 8\n    featuredata_feature: [3.0, 3.5]\n"
           "    length_mfm: 0\n    data_bytes_mfm: 0\n    featuredata_mfm: []\n---\n";
  return "no such topic";
}

// What one iteration of the full network writes with ENABLE_DEBUG set.
const char* const kDebugBlock =
    "MIC_WAVE: 2 3\n"
    "MIC_FFT: 1 2\n"
    "SRC_NUM: 2\n"
    "\tSRC_INFO[0]: id 9, x 1.000000 1.000000 0.000000, power 2.500000\n"
    "\t\tSWAVE: 2 4; 3\n"
    "\t\tSFFT: 1\n"
    "\tSRC_INFO[1]: id 3, x 0.000000 -1.000000 0.000000, power 0.500000\n"
    "\t\tSWAVE: 2 4; 2\n"
    "\t\tSFFT: 0\n";

double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Collects the MurvWave messages of a topic in this process, by count.
class WaveCollector {
public:
  WaveCollector(ros::NodeHandle& nh, const std::string& topic)
      : sub_(nh.subscribe(topic, 1000, &WaveCollector::take, this)) {}
  bool connected() const { return sub_.getNumPublishers() > 0; }
  size_t size() {
    std::lock_guard<std::mutex> g(lock_);
    return received_.size();
  }
  std::multimap<int, murv_msgs::MurvWave> messages() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }

private:
  void take(const murv_msgs::MurvWave::ConstPtr& m) {
    std::lock_guard<std::mutex> g(lock_);
    received_.emplace(m->count, *m);
  }
  std::mutex lock_;
  std::multimap<int, murv_msgs::MurvWave> received_;
  ros::Subscriber sub_;
};

}  // namespace

TEST(RosMurvMsgsPublisherRos, EveryFieldAndStampReachesRostopicEcho) {
  murvtest::RosMaster master;
  master.start();
  NodeRef gen(nullptr);
  stdoutOf([&] { gen.node = generator("murv_pub_fields"); });
  MURV::ParameterSet params = publisherParams("all");
  set(params, "ROS_LOOP_RATE", 50.0f);
  set(params, "ADVANCE", 2);
  params.add("ENABLE_DEBUG", MURV::TrueObject);
  NodeRef pub(publisher("pub", params));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  NodeRef feeds[] = {
      NodeRef(new Feed("wave", [](int) { return matrixOf({{1.0f, 2.0f, 3.0f}, {-4.5f, 0.25f, 6.0f}}); })),
      NodeRef(new Feed("fft", [](int) { return complexMatrixOf({{{1.0f, -1.0f}, {2.5f, 0.0f}}}); })),
      NodeRef(new Feed("info", [](int) { return listOf({source(9, 1, 1, 0, 2.5f), source(3, 0, -1, 0, 0.5f)}); })),
      NodeRef(new Feed("swave",
                       [&](int) {
                         return mapOf({{3, floats({100.0f, nan})}, {9, floats({1.0f, 40000.0f, -2.7f})}});
                       })),
      NodeRef(new Feed("sfft", [](int) { return mapOf({{9, complexes({{1.0f, 2.0f}})}, {3, complexes({})}}); })),
      NodeRef(new Feed("sfeat", [](int) { return mapOf({{9, floats({9.0f})}, {3, floats({3.0f, 3.5f})}}); })),
      NodeRef(new Feed("srel", [](int) { return mapOf({{9, floats({0.25f})}, {3, floats({})}}); })),
      NodeRef(new Feed("ts", [](int c) { return timeStamp(1000 + c, 250000); })),
  };
  const char* ports[] = {"MIC_WAVE", "MIC_FFT", "SRC_INFO", "SRC_WAVE",
                         "SRC_FFT", "SRC_FEATURE", "SRC_RELIABILITY", "TIMESTAMP"};
  for (int i = 0; i < 8; ++i) pub->connectToNode(ports[i], feeds[i].node, "OUTPUT");
  initialize(gen.node);
  initialize(pub.node);

  // One reader per advertised topic, each taking the first message it gets.
  const std::vector<std::string> topics = {"wave", "fft", "source", "srcwave", "srcfft", "srcfeature", "srcfeaturemfm"};
  std::vector<std::unique_ptr<BackgroundCommand> > echo;
  for (const std::string& t : topics) echo.emplace_back(new BackgroundCommand(rostopic("echo -n 1 /all_" + t)));
  int count = 0;
  std::string debug = stdoutOf([&] {
    waitFor(
        [&] {
          pub->getOutput(0, count++);
          for (auto& e : echo)
            if (e->running()) return false;
          return true;
        },
        std::chrono::seconds(60), std::chrono::milliseconds(0));
  });
  for (size_t i = 0; i < topics.size(); ++i) {
    ASSERT_EQ(echo[i]->waitExit(std::chrono::seconds(5)), 0) << topics[i] << ": " << echo[i]->output();
    const std::string out = echo[i]->output();
    const int c = countIn(out);
    EXPECT_GE(c, 0) << out;
    EXPECT_LT(c, count) << out;
    EXPECT_EQ(out, expectedEcho(topics[i], c)) << topics[i];
  }

  std::string blocks;
  for (int i = 0; i < count; ++i) blocks += kDebugBlock;
  EXPECT_EQ(debug, blocks);
  // OUTPUT carries the last connected data input, SRC_RELIABILITY.
  const SourceMap& out = MURV::object_cast<SourceMap>(pub->getOutput(0, count - 1));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(MURV::object_cast<MURV::Vector<float> >(out.at(9)), std::vector<float>{0.25f});
}

TEST(RosMurvMsgsPublisherRos, OnlyTheTopicsOfConnectedPortsAreAdvertised) {
  murvtest::RosMaster master;
  master.start();
  NodeRef gen(nullptr);
  stdoutOf([&] { gen.node = generator("murv_pub_topics"); });
  ObjectRef reliability = mapOf({{1, floats({0.5f})}});
  ObjectRef features = mapOf({{7, floats({7.0f})}, {2, floats({2.0f, 2.5f})}, {5, floats({})}});
  NodeRef wave(new Feed("wave", [](int) { return matrixOf({{0.5f}}); }));
  NodeRef rel(new Feed("rel", [&](int) { return reliability; }));
  NodeRef feat(new Feed("feat", [&](int) { return features; }));
  NodeRef spectrum(new Feed("spectrum", [](int) { return complexMatrixOf({{{0.5f, 1.0f}}}); }));
  NodeRef info(new Feed("info", [](int) { return listOf({}); }));
  NodeRef ts(new Feed("ts", [](int c) { return timeStamp(c, 0); }));

  std::map<std::string, std::vector<std::pair<std::string, MURV::Node*> > > networks = {
      {"a", {{"MIC_WAVE", wave.node}, {"SRC_RELIABILITY", rel.node}}},
      {"b", {{"SRC_FEATURE", feat.node}}},
      {"c", {{"SRC_INFO", info.node}, {"SRC_FEATURE", feat.node}, {"SRC_WAVE", rel.node}}},
      {"d", {{"TIMESTAMP", ts.node}}},
      {"e", {{"SRC_WAVE", rel.node}, {"SRC_FFT", rel.node}, {"SRC_RELIABILITY", rel.node}}},
      {"f", {{"SRC_INFO", info.node}, {"SRC_FFT", rel.node}, {"SRC_RELIABILITY", rel.node}, {"MIC_FFT", spectrum.node}}},
  };
  std::map<std::string, std::unique_ptr<NodeRef> > pubs;
  for (const auto& n : networks) {
    pubs[n.first].reset(new NodeRef(publisher(n.first, publisherParams(n.first))));
    for (const auto& port : n.second) (*pubs[n.first])->connectToNode(port.first, port.second, "OUTPUT");
  }
  initialize(gen.node);
  for (auto& p : pubs) EXPECT_EQ(stdoutOf([&] { (*p.second)->initialize(); }), p.first + " initialized...\n");

  const std::set<std::string> expected = {
      "/a_wave [murv_msgs/MurvWave]",
      "/b_feature [murv_msgs/MurvFeature]",
      "/c_source [murv_msgs/MurvSource]",
      "/c_srcwave [murv_msgs/MurvSrcWave]",
      "/c_srcfeature [murv_msgs/MurvSrcFeature]",
      "/f_fft [murv_msgs/MurvFFT]",
      "/f_source [murv_msgs/MurvSource]",
      "/f_srcfft [murv_msgs/MurvSrcFFT]",
      "/f_srcfeaturemfm [murv_msgs/MurvSrcFeatureMFM]",
      "/rosout [rosgraph_msgs/Log]",
  };
  std::set<std::string> listed;
  EXPECT_TRUE(waitFor([&] { return (listed = publishedTopics()) == expected; })) << testing::PrintToString(listed);
  std::string nodeInfo = runCommand("exec /usr/bin/python3 /usr/bin/rosnode info /murv_pub_topics").output;
  EXPECT_NE(nodeInfo.find(" * /a_wave [murv_msgs/MurvWave]"), std::string::npos) << nodeInfo;
  EXPECT_EQ(nodeInfo.find("/a_srcfeaturemfm"), std::string::npos) << nodeInfo;

  // MurvFeature of a map without SRC_INFO: entries by ascending id.
  BackgroundCommand echo(rostopic("echo -n 1 /b_feature"));
  int count = 0;
  waitFor([&] {
    (*pubs["b"])->getOutput(0, count++);
    return !echo.running();
  }, std::chrono::seconds(60), std::chrono::milliseconds(0));
  const std::string out = echo.output();
  const int c = countIn(out);
  EXPECT_EQ(out.substr(out.find("\ncount: ")),
            "\ncount: " + std::to_string(c) +
                "\nexist_src_num: 3\nsrc: \n"
                "  - \n    id: 2\n    length: 2\n    data_bytes: 8\n    featuredata: [2.0, 2.5]\n"
                "  - \n    id: 5\n    length: 0\n    data_bytes: 0\n    featuredata: []\n"
                "  - \n    id: 7\n    length: 1\n    data_bytes: 4\n    featuredata: [7.0]\n---\n");

  // OUTPUT is the last connected data input, whatever was published.
  EXPECT_EQ((*pubs["a"])->getOutput(0, 0).get(), reliability.get());
  EXPECT_EQ((*pubs["e"])->getOutput(0, 0).get(), reliability.get());
  EXPECT_EQ((*pubs["f"])->getOutput(0, 0).get(), reliability.get());
  EXPECT_EQ((*pubs["c"])->getOutput(0, 0).get(), features.get()) << "SRC_FEATURE comes after SRC_WAVE";

  // Releasing the nodes ends their advertisements.
  pubs.clear();
  EXPECT_TRUE(waitFor([&] { return (listed = publishedTopics()) == std::set<std::string>{"/rosout [rosgraph_msgs/Log]"}; }))
      << testing::PrintToString(listed);
}

TEST(RosMurvMsgsPublisherRos, CountsAreCalculatedOnceInOrderAndPaced) {
  murvtest::RosMaster master;
  master.start();
  NodeRef gen(nullptr);
  stdoutOf([&] { gen.node = generator("murv_pub_counts"); });

  // SRC_WAVE alone is read every count but never published.
  std::map<int, ObjectRef> given;
  bool failAtSeven = true;
  Feed* waves = new Feed("waves", [&](int c) {
    if (c == 7 && failAtSeven) {
      failAtSeven = false;
      return floats({1.0f});
    }
    return given[c] = mapOf({});
  });
  NodeRef wavesRef(waves);
  MURV::ParameterSet params = publisherParams("counts");
  set(params, "ROS_LOOP_RATE", 20.0f);
  NodeRef pub(publisher("pub", params));
  pub->connectToNode("SRC_WAVE", waves, "OUTPUT");
  initialize(gen.node);
  initialize(pub.node);

  // OUTPUT for a count is the map the feed gave for it.
  auto outputIsGiven = [&](int c) {
    MURV::Object* out = pub->getOutput(0, c).get();
    return out && out == given[c].get();
  };

  // Each count sleeps out its 50 ms cycle.
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(outputIsGiven(2));
  EXPECT_GE(secondsSince(start), 0.145);
  EXPECT_EQ(waves->asked, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(outputIsGiven(5));
  EXPECT_EQ(waves->asked, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // Counts already calculated are only looked up.
  EXPECT_TRUE(outputIsGiven(4));
  EXPECT_TRUE(outputIsGiven(5));
  EXPECT_EQ(waves->asked.size(), 6u);

  // A failing count: the host exception comes back with this node's
  // exception chained; the counts before it stay done.
  auto e = hostExceptionOf([&] { pub->getOutput(0, 8); });
  ASSERT_NE(e, nullptr);
  EXPECT_NE(textOf(e).find("Something is wrong in RCPtr::operator="), std::string::npos) << textOf(e);
  ASSERT_EQ(e->chained().size(), 1u);
  auto* ne = dynamic_cast<MURV::NodeException*>(e->chained()[0]);
  ASSERT_NE(ne, nullptr);
  EXPECT_EQ(ne->message, "Exception caught in BufferedNode::getOutput");
  EXPECT_EQ(ne->file, "RosMurvMsgsPublisher");
  EXPECT_EQ(ne->line, 730);
  EXPECT_EQ(ne->node, pub.node);
  EXPECT_EQ(waves->asked, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(outputIsGiven(8));
  EXPECT_EQ(waves->asked, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 7, 8})) << "6 is not calculated again";

  // TIMESTAMP alone: nothing to pass on, yet the count is done and paced.
  Feed* stamps = new Feed("stamps", [](int c) { return timeStamp(c, 0); });
  NodeRef stampsRef(stamps);
  NodeRef only(publisher("only", params));
  only->connectToNode("TIMESTAMP", stamps, "OUTPUT");
  initialize(only.node);
  start = std::chrono::steady_clock::now();
  e = hostExceptionOf([&] { only->getOutput(0, 0); });
  EXPECT_GE(secondsSince(start), 0.045);
  EXPECT_EQ(textOf(e),
            "Buffer, line 0: No object buffered for count 0\n"
            "RosMurvMsgsPublisher, line 730: Node only: Exception caught in BufferedNode::getOutput\n");
  e = hostExceptionOf([&] { only->getOutput(0, 0); });
  EXPECT_EQ(stamps->asked, std::vector<int>{0});

  // A TIMESTAMP of another type is a cast error; a null one is not a host
  // exception at all.
  NodeRef wave(new Feed("wave", [](int) { return matrixOf({{1.0f}}); }));
  int badAsked = 0;
  NodeRef badStamps(new Feed("bad", [&](int) { return badAsked++ == 0 ? floats({}) : ObjectRef(); }));
  NodeRef bad(publisher("bad", params));
  bad->connectToNode("MIC_WAVE", wave.node, "OUTPUT");
  bad->connectToNode("TIMESTAMP", badStamps.node, "OUTPUT");
  initialize(bad.node);
  e = hostExceptionOf([&] { bad->getOutput(0, 0); });
  EXPECT_NE(dynamic_cast<MURV::CastException<MURV::TimeStamp>*>(e.get()), nullptr) << textOf(e);
  EXPECT_EQ(e->chained().size(), 1u);
  EXPECT_THROW(bad->getOutput(0, 1), std::bad_typeid);

  // Once ROS is shut down nothing the node does reaches ROS any more: its
  // count gives up as a stream node's wait does.
  NodeRef late(publisher("late", params));
  late->connectToNode("MIC_WAVE", wave.node, "OUTPUT");
  initialize(late.node);
  EXPECT_NE(late->getOutput(0, 0).get(), nullptr);
  stdoutOf([&] { gen.reset(); });
  ASSERT_FALSE(ros::ok());
  e = hostExceptionOf([&] { late->getOutput(0, 1); });
  EXPECT_NE(textOf(e).find(": late stopped waiting: ROS has been shut down\n"), std::string::npos) << textOf(e);
}

TEST(RosMurvMsgsPublisherRos, StampsFollowTheTimestampInputOrTheirType) {
  murvtest::RosMaster master;
  master.start();
  NodeRef gen(nullptr);
  stdoutOf([&] { gen.node = generator("murv_pub_stamps"); });
  NodeRef wave(new Feed("wave", [](int) { return matrixOf({{1.0f}}); }));
  NodeRef ts(new Feed("ts", [](int) { return timeStamp(10, 500000); }));

  auto make = [&](const char* name, const char* type, bool withTimestamp) {
    MURV::ParameterSet p = publisherParams(name);
    set(p, "TIMESTAMP_TYPE", type);
    set(p, "ADVANCE", 160);
    set(p, "SAMPLING_RATE", 16000);
    set(p, "ROS_LOOP_RATE", 10000.0f);
    MURV::Node* n = publisher(name, p);
    n->connectToNode("MIC_WAVE", wave.node, "OUTPUT");
    if (withTimestamp) n->connectToNode("TIMESTAMP", ts.node, "OUTPUT");
    return n;
  };
  NodeRef now(make("now", "ROS_TIME_NOW", false));
  NodeRef inc(make("inc", "CONSTANT_INCREMENT", false));
  NodeRef lower(make("lower", "ros_time_now", false));
  NodeRef given(make("given", "CONSTANT_INCREMENT", true));
  initialize(gen.node);
  for (MURV::Node* n : {now.node, inc.node, lower.node, given.node}) initialize(n);

  ros::NodeHandle nh;
  ros::AsyncSpinner spinner(1);
  spinner.start();
  WaveCollector nowMsgs(nh, "now_wave"), incMsgs(nh, "inc_wave"), lowerMsgs(nh, "lower_wave"),
      givenMsgs(nh, "given_wave");
  ASSERT_TRUE(waitFor([&] {
    return nowMsgs.connected() && incMsgs.connected() && lowerMsgs.connected() && givenMsgs.connected();
  }));

  const ros::Time before = ros::Time::now();
  now->getOutput(0, 0);
  inc->getOutput(0, 0);
  const ros::Time after = ros::Time::now();
  now->getOutput(0, 1);
  inc->getOutput(0, 100);
  lower->getOutput(0, 1);
  given->getOutput(0, 1);
  ASSERT_TRUE(waitFor([&] {
    return nowMsgs.size() == 2 && incMsgs.size() == 101 && lowerMsgs.size() == 2 && givenMsgs.size() == 2;
  })) << nowMsgs.size() << " " << incMsgs.size() << " " << lowerMsgs.size() << " " << givenMsgs.size();

  auto stamps = [](WaveCollector& c) {
    std::map<int, ros::Time> byCount;
    for (const auto& m : c.messages()) {
      EXPECT_TRUE(byCount.emplace(m.first, m.second.header.stamp).second) << "count " << m.first << " published twice";
      EXPECT_LT(m.second.header.stamp.nsec, 1000000000u);
      EXPECT_EQ(m.second.header.frame_id, "mic_array");
    }
    return byCount;
  };

  std::map<int, ros::Time> s = stamps(nowMsgs);
  EXPECT_GE(s[0], before);
  EXPECT_LE(s[0], after);
  EXPECT_GE(s[1], s[0]);

  // Count 0 takes the base time; each count adds count x 0.01f seconds.
  s = stamps(incMsgs);
  EXPECT_GE(s[0], before);
  EXPECT_LE(s[0], after);
  auto nsAfterBase = [&](int c) { return static_cast<int64_t>(s[c].toNSec() - s[0].toNSec()); };
  EXPECT_EQ(nsAfterBase(1), 10000000);   // 0.009999999776 s
  EXPECT_EQ(nsAfterBase(3), 29999999);   // 0.029999999329 s
  EXPECT_EQ(nsAfterBase(7), 70000000);   // 0.070000000298 s
  EXPECT_EQ(nsAfterBase(100), 1000000000);

  s = stamps(lowerMsgs);
  EXPECT_EQ(s[0], ros::Time(0, 0)) << "the type names are case-sensitive";
  EXPECT_EQ(s[1], ros::Time(0, 0));

  s = stamps(givenMsgs);
  EXPECT_EQ(s[0], ros::Time(10, 500000000));
  EXPECT_EQ(s[1], ros::Time(10, 500000000));
  spinner.stop();
}
