// A publishing network in another process (a test source feeding
// RosMurvMsgsPublisher) and the stream nodes of this one, joined through a
// private master over TCP: every frame comes out, in order, with its data
// and stamp, and the stream ends KILL_TIME_LEN after the last one.
#include <gtest/gtest.h>

#include "Map.h"
#include "PublisherTestSupport.h"
#include "Source.h"
#include "StreamTestSupport.h"
#include "Vector.h"

using namespace streamtest;
using MURV::Map;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

const int frames = 200;
const int killTimeLen = 500000;
const char* const prefix = "/pubsub";

// Frame c: 4 channels of 32 samples, cell (ch, i) = c x 1000 + ch x 100 + i.
std::vector<std::vector<float>> frameRows(int c) {
  std::vector<std::vector<float>> rows(4);
  for (int ch = 0; ch < 4; ++ch)
    for (int i = 0; i < 32; ++i) rows[ch].push_back(static_cast<float>(c * 1000 + ch * 100 + i));
  return rows;
}

Stamp stampOfFrame(int c) { return {1000 + c, 1000L * c + 7}; }

// Per-source waves of ADVANCE (4) whole 16-bit values, which the wire keeps.
std::vector<float> sourceWave(int id, int c) { return {float(c), float(-c), float(100 * id + c), -32768.0f}; }

// The sending process: it joins ROS once the receiver is ready, waits until
// the receiver's subscriptions have connected, publishes the frames, and
// stays until the receiver has gone, so that nothing sent is lost on exit.
int sendFrames(Gate& go) {
  using namespace pubtest;
  if (!go.wait()) return 10;
  NodePtr gen = subtest::createGenerator("murv_stream_sender");
  gen->initialize();
  MURV::ParameterSet params = publisherParams(prefix);
  params.add("ADVANCE", ObjectRef(new MURV::NetCType<int>(4)));
  NodeRef pub(makePublisher("pub", params));
  NodeRef wave(new pubtest::Feed("wave", [](int c) { return matrixOf(frameRows(c)); }));
  NodeRef info(new pubtest::Feed("info", [](int) {
    return listOf({source(3, 1.0f, 0.5f, 0.0f, 2.0f), source(8, -1.0f, 0.0f, 0.25f, 0.5f)});
  }));
  NodeRef srcWave(new pubtest::Feed("srcwave", [](int c) {
    MURV::Vector<float>* a = new MURV::Vector<float>;
    MURV::Vector<float>* b = new MURV::Vector<float>;
    ObjectRef ra(a), rb(b);
    const std::vector<float> wa = sourceWave(3, c), wb = sourceWave(8, c);
    a->assign(wa.begin(), wa.end());
    b->assign(wb.begin(), wb.end());
    return mapOf({{3, ra}, {8, rb}});
  }));
  NodeRef stamps(new pubtest::Feed("ts", [](int c) { return timeStamp(stampOfFrame(c).sec, stampOfFrame(c).usec); }));
  pub->connectToNode("MIC_WAVE", wave.node, "OUTPUT");
  pub->connectToNode("SRC_INFO", info.node, "OUTPUT");
  pub->connectToNode("SRC_WAVE", srcWave.node, "OUTPUT");
  pub->connectToNode("TIMESTAMP", stamps.node, "OUTPUT");
  pub->initialize();

  // Advertised again in this process, a topic shares the publication of
  // the node's own publisher, and with it its count of connections.
  ros::NodeHandle nh;
  ros::Publisher waves = nh.advertise<murv_msgs::MurvWave>(std::string(prefix) + "_wave", 1);
  ros::Publisher sources = nh.advertise<murv_msgs::MurvSrcWave>(std::string(prefix) + "_srcwave", 1);
  auto connections = [&] { return waves.getNumSubscribers() + sources.getNumSubscribers(); };
  if (!waitFor([&] { return waves.getNumSubscribers() > 0 && sources.getNumSubscribers() > 0; },
               std::chrono::seconds(60)))
    return 11;
  for (int c = 0; c < frames; ++c) pub->getOutput(0, c);
  if (!waitFor([&] { return connections() == 0; }, std::chrono::seconds(60))) return 12;
  return 0;
}

struct SourceFields {
  int id;
  float x, y, z, power;
  bool operator==(const SourceFields& o) const {
    return id == o.id && x == o.x && y == o.y && z == o.z && power == o.power;
  }
};

std::vector<SourceFields> sourcesOf(const ObjectRef& r) {
  std::vector<SourceFields> out;
  for (const ObjectRef& e : MURV::object_cast<Vector<ObjectRef>>(r)) {
    const MURV::Source& s = MURV::object_cast<MURV::Source>(e);
    out.push_back({s.id, s.x[0], s.x[1], s.x[2], s.power});
  }
  return out;
}

std::map<int, std::vector<float>> wavesOf(const ObjectRef& r) {
  std::map<int, std::vector<float>> out;
  for (const auto& e : MURV::object_cast<Map<int, ObjectRef>>(r))
    out[e.first] = MURV::object_cast<Vector<float>>(e.second);
  return out;
}

// Reads frames iterations from node, checking each with check(count), then
// the iteration after them, which must end the stream no earlier than
// KILL_TIME_LEN after the last frame was output.
template <class N, class Check>
void readStream(N& node, const char* what, Check check) {
  for (int c = 0; c < frames; ++c) {
    ASSERT_TRUE(node.next(c)) << what << " ended early at count " << c;
    ASSERT_EQ(node.stamp(c), stampOfFrame(c)) << what << ": count " << c << " did not carry frame " << c;
    check(c);
  }
  const auto lastFrame = Clock::now();
  EXPECT_FALSE(node.next(frames)) << what;
  EXPECT_GE(Clock::now() - lastFrame, std::chrono::microseconds(killTimeLen)) << what;
}

}  // namespace

TEST(StreamPubSub, APublishingNetworkStreamsEveryFrameInOrderThroughTheMaster) {
  murvtest::RosMaster master;
  master.start();
  Gate go;
  Child sender([&] { return sendFrames(go); });

  NodePtr gen = subtest::createGenerator("murv_stream_receiver");
  gen->initialize();
  const Overrides common = {{"TOPIC_NAME_MURVWAVE", stringParam(std::string(prefix) + "_wave")},
                            {"TOPIC_NAME_MURVSRCWAVE", stringParam(std::string(prefix) + "_srcwave")},
                            {"DATA_BUFFER_NUM", intParam(frames + 10)},
                            {"MSG_BUFFER_NUM", intParam(frames + 10)},
                            {"KILL_TIME_LEN", intParam(killTimeLen)},
                            {"ROS_LOOP_RATE", floatParam(100000.0f)}};
  Stream waves("waves", "MurvWave", {"MATOUT"}, common);
  Stream sources("sources", "MurvSrcWave", {"SRCOUT", "MAPOUT"}, common);
  Overrides audioOverrides = common;
  audioOverrides["TOPIC_NAME"] = stringParam(std::string(prefix) + "_wave");
  audioOverrides.erase("TOPIC_NAME_MURVWAVE");
  audioOverrides.erase("TOPIC_NAME_MURVSRCWAVE");
  Audio audio("audio", audioOverrides);
  // The streams are waiting: now the sender may start.
  go.open();

  readStream(waves, "MurvMsgsStreamFromRos (MurvWave)",
             [&](int c) { ASSERT_EQ(rowsOf(waves.get(waves.matout, c)), frameRows(c)) << c; });
  readStream(audio, "AudioStreamFromRos",
             [&](int c) { ASSERT_EQ(rowsOf(audio.get(audio.output, c)), frameRows(c)) << c; });
  const std::vector<SourceFields> expectedSources = {{3, 1.0f, 0.5f, 0.0f, 2.0f}, {8, -1.0f, 0.0f, 0.25f, 0.5f}};
  readStream(sources, "MurvMsgsStreamFromRos (MurvSrcWave)", [&](int c) {
    ASSERT_EQ(sourcesOf(sources.get(sources.srcout, c)), expectedSources) << c;
    const std::map<int, std::vector<float>> expectedWaves = {{3, sourceWave(3, c)}, {8, sourceWave(8, c)}};
    ASSERT_EQ(wavesOf(sources.get(sources.mapout, c)), expectedWaves) << c;
  });

  // Gone from ROS, the receivers let the sender finish.
  waves.node.reset();
  sources.node.reset();
  audio.node.reset();
  EXPECT_EQ(sender.wait(), 0);
}
