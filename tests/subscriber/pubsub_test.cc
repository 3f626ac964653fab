// A publishing network and a subscribing network joined by ROS: host objects
// go into RosMurvMsgsPublisher, travel as murv_msgs messages through a
// private master, and come out of RosMurvMsgsSubscriber equal to what went
// in. Also a subscribing network run by the network runner.
#include <gtest/gtest.h>

#include <complex>
#include <fstream>

#include "Map.h"
#include "Matrix.h"
#include "RosTestSupport.h"
#include "Source.h"
#include "Vector.h"

using namespace subtest;
using MURV::Map;
using MURV::Matrix;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::waitFor;
using cfloat = std::complex<float>;

namespace {

// An upstream node whose one output holds the same object at every count.
class Feed : public MURV::Node {
public:
  explicit Feed(ObjectRef value) : MURV::Node("feed", MURV::ParameterSet()), value_(std::move(value)) {
    addOutput("OUTPUT");
  }
  ObjectRef getOutput(int, int) override { return value_; }

private:
  ObjectRef value_;
};

MURV::ParameterSet publisherParams() {
  MURV::ParameterSet p = subscriberParams("unused");
  p.erase("TOPIC_NAME_MURVSORVEX");
  for (const char* k : {"STREAM_SELECTION", "NB_CHANNELS", "FFT_LENGTH", "MSG_BUFFER_NUM", "DATA_BUFFER_NUM",
                        "REMAIN_LATEST"})
    p.erase(k);
  p.add("ADVANCE", intParam(4));
  p.add("BUFFER_NUM", intParam(10));
  p.add("ROS_FRAME_ID", stringParam("pubsub"));
  p.add("TIMESTAMP_TYPE", stringParam("ROS_TIME_NOW"));
  p.add("SAMPLING_RATE", intParam(16000));
  return p;
}

template <class T>
std::vector<T> matrixCells(const ObjectRef& r, int& rows, int& cols) {
  const Matrix<T>& m = MURV::object_cast<Matrix<T>>(r);
  rows = m.rows;
  cols = m.cols;
  return std::vector<T>(m.data, m.data + m.msize());
}

template <class T>
std::map<int, std::vector<T>> mapOf(const ObjectRef& r) {
  std::map<int, std::vector<T>> out;
  for (const auto& e : MURV::object_cast<Map<int, ObjectRef>>(r)) out[e.first] = MURV::object_cast<Vector<T>>(e.second);
  return out;
}

struct SourceFields {
  int id;
  float power, x, y, z;
  bool operator==(const SourceFields& o) const {
    return id == o.id && power == o.power && x == o.x && y == o.y && z == o.z;
  }
};

std::vector<SourceFields> sourcesOf(const ObjectRef& r) {
  std::vector<SourceFields> out;
  for (const ObjectRef& e : MURV::object_cast<Vector<ObjectRef>>(r)) {
    const MURV::Source& s = MURV::object_cast<MURV::Source>(e);
    out.push_back({s.id, s.power, s.x[0], s.x[1], s.x[2]});
  }
  return out;
}

template <class T>
ObjectRef mapObject(const std::map<int, std::vector<T>>& values) {
  Map<int, ObjectRef>* m = new Map<int, ObjectRef>;
  ObjectRef owner(m);
  for (const auto& e : values) {
    Vector<T>* v = new Vector<T>(e.second.size());
    std::copy(e.second.begin(), e.second.end(), v->begin());
    (*m)[e.first] = ObjectRef(v);
  }
  return owner;
}

}  // namespace

TEST(SubscriberPubSub, WhatAPublishingNetworkSendsComesOutAsItWentIn) {
  RosNetwork net("murv_sub_pubsub");

  // What goes in.
  Matrix<float>* wave = new Matrix<float>(2, 3);
  ObjectRef waveRef(wave);
  for (int i = 0; i < 6; ++i) wave->data[i] = 0.25f * i - 1.0f;
  Matrix<cfloat>* spectrum = new Matrix<cfloat>(3, 2);
  ObjectRef spectrumRef(spectrum);
  for (int i = 0; i < 6; ++i) spectrum->data[i] = cfloat(i, -2.0f * i);
  Vector<ObjectRef>* sources = new Vector<ObjectRef>;
  ObjectRef sourcesRef(sources);
  const std::vector<SourceFields> sourceValues = {{3, 0.5f, 1.0f, 1.0f, 0.0f}, {8, 2.0f, -1.0f, 0.0f, 0.5f}};
  for (const SourceFields& f : sourceValues) {
    MURV::Source* s = new MURV::Source;
    s->id = f.id;
    s->power = f.power;
    s->x[0] = f.x;
    s->x[1] = f.y;
    s->x[2] = f.z;
    sources->push_back(ObjectRef(s));
  }
  // Source waves of ADVANCE whole 16-bit values, which the wire keeps exactly.
  const std::map<int, std::vector<float>> waves = {{3, {1, -2, 300, -32768}}, {8, {32767, 0, 5, 6}}};
  const std::map<int, std::vector<cfloat>> spectra = {{3, {{1, 2}, {3, 4}}}, {8, {{-1, 0.5f}}}};
  const std::map<int, std::vector<float>> features = {{3, {0.5f, 0.25f, 0.125f}}, {8, {9.0f}}};
  const std::map<int, std::vector<float>> reliabilities = {{3, {1.0f}}, {8, {0.75f, 0.5f}}};
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  ObjectRef stampRef(stamp);
  stamp->sec = 10;
  stamp->usec = 500000;

  std::vector<NodePtr> feeds;
  auto feed = [&](MURV::Node& to, const char* port, ObjectRef value) {
    feeds.emplace_back(new Feed(std::move(value)));
    to.connectToNode(port, feeds.back().get(), "OUTPUT");
  };

  // Publishing network: channel data and features without sources...
  NodePtr frames = createNode("RosMurvMsgsPublisher", "frames", publisherParams());
  feed(*frames, "MIC_WAVE", waveRef);
  feed(*frames, "MIC_FFT", spectrumRef);
  feed(*frames, "SRC_FEATURE", mapObject(features));
  feed(*frames, "TIMESTAMP", stampRef);
  // ...and the sources with every per-source map.
  NodePtr perSource = createNode("RosMurvMsgsPublisher", "sources", publisherParams());
  feed(*perSource, "SRC_INFO", sourcesRef);
  feed(*perSource, "SRC_WAVE", mapObject(waves));
  feed(*perSource, "SRC_FFT", mapObject(spectra));
  feed(*perSource, "SRC_FEATURE", mapObject(features));
  feed(*perSource, "SRC_RELIABILITY", mapObject(reliabilities));
  feed(*perSource, "TIMESTAMP", stampRef);
  frames->initialize();
  perSource->initialize();

  // Subscribing network: one node per type.
  Subscriber w("w", "MurvWave", {"MATOUT"});
  Subscriber f("f", "MurvFFT", {"MATOUT"});
  Subscriber fe("fe", "MurvFeature", {"MAPOUT"});
  Subscriber so("so", "MurvSource", {"SRCOUT"});
  Subscriber sw("sw", "MurvSrcWave", {"SRCOUT", "MAPOUT"});
  Subscriber sf("sf", "MurvSrcFFT", {"SRCOUT", "MAPOUT"});
  Subscriber sfe("sfe", "MurvSrcFeature", {"SRCOUT", "MAPOUT"});
  Subscriber mfm("mfm", "MurvSrcFeatureMFM", {"SRCOUT", "MAPOUT"});
  std::vector<Subscriber*> subs = {&w, &f, &fe, &so, &sw, &sf, &sfe, &mfm};
  std::vector<int> got(subs.size(), -1), next(subs.size(), 0);

  int published = 0;
  ASSERT_TRUE(waitFor(
      [&] {
        frames->getOutput(0, published);
        perSource->getOutput(0, published);
        ++published;
        bool all = true;
        for (size_t i = 0; i < subs.size(); ++i) {
          if (got[i] < 0 && subs[i]->stamp(next[i]).first != 0) got[i] = next[i];
          if (got[i] < 0) ++next[i];
          all = all && got[i] >= 0;
        }
        return all;
      },
      std::chrono::seconds(60), std::chrono::milliseconds(10)));

  for (size_t i = 0; i < subs.size(); ++i)
    EXPECT_EQ(subs[i]->stamp(got[i]), std::make_pair(10L, 500000L)) << i;
  int rows, cols;
  EXPECT_EQ(matrixCells<float>(w.get(w.matout, got[0]), rows, cols), std::vector<float>(wave->data, wave->data + 6));
  EXPECT_EQ(std::make_pair(rows, cols), std::make_pair(2, 3));
  EXPECT_EQ(matrixCells<cfloat>(f.get(f.matout, got[1]), rows, cols), std::vector<cfloat>(spectrum->data, spectrum->data + 6));
  EXPECT_EQ(std::make_pair(rows, cols), std::make_pair(3, 2));
  EXPECT_EQ(mapOf<float>(fe.get(fe.mapout, got[2])), features);
  EXPECT_EQ(sourcesOf(so.get(so.srcout, got[3])), sourceValues);
  EXPECT_EQ(sourcesOf(sw.get(sw.srcout, got[4])), sourceValues);
  EXPECT_EQ(mapOf<float>(sw.get(sw.mapout, got[4])), waves);
  EXPECT_EQ(sourcesOf(sf.get(sf.srcout, got[5])), sourceValues);
  EXPECT_EQ(mapOf<cfloat>(sf.get(sf.mapout, got[5])), spectra);
  EXPECT_EQ(sourcesOf(sfe.get(sfe.srcout, got[6])), sourceValues);
  EXPECT_EQ(mapOf<float>(sfe.get(sfe.mapout, got[6])), features);
  EXPECT_EQ(sourcesOf(mfm.get(mfm.srcout, got[7])), sourceValues);
  EXPECT_EQ(mapOf<float>(mfm.get(mfm.mapout, got[7])), reliabilities);
}

TEST(SubscriberPubSub, TheNetworkRunnerRunsASubscriberNetwork) {
  murvtest::RosMaster master;
  master.start();
  murvtest::BackgroundCommand outside(
      "exec /usr/bin/python3 /usr/bin/rostopic pub -r 20 /runner/asr murv_msgs/MurvSorvex "
      "'{header: {stamp: {secs: 77, nsecs: 123456789}}, src: [{id: 4, azimuth: 30.5, elevation: -10, status: -1}]}'");
  ASSERT_TRUE(waitFor([&] {
    return murvtest::runCommand("/usr/bin/python3 /usr/bin/rostopic list").output.find("/runner/asr") !=
           std::string::npos;
  }, std::chrono::seconds(60), std::chrono::milliseconds(200))) << outside.output();

  const std::string netFile = std::string(MURV_BINARY_DIR) + "/subscriber-run.net";
  std::ofstream net(netFile);
  net << "node ros RosNodeGenerator\n"
         "param ros NODE_NAME string murv_sub_runner\n"
         "node sub RosMurvMsgsSubscriber\n";
  for (const char* t : {"MURVWAVE", "MURVFFT", "MURVFEATURE", "MURVSOURCE", "MURVSRCWAVE", "MURVSRCFFT",
                        "MURVSRCFEATURE", "MURVSRCFEATUREMFM"})
    net << "param sub TOPIC_NAME_" << t << " string /runner/unused\n";
  net << "param sub TOPIC_NAME_MURVSORVEX string /runner/asr\n"
         "param sub STREAM_SELECTION string MurvSorvex\n"
         "param sub NB_CHANNELS int 2\n"
         "param sub FFT_LENGTH int 512\n"
         "param sub ENABLE_DEBUG bool false\n"
         "param sub ROS_LOOP_RATE float 50\n"
         "param sub MSG_BUFFER_NUM int 10\n"
         "param sub DATA_BUFFER_NUM int 3\n"
         "param sub REMAIN_LATEST bool true\n"
         "output sub MAPOUT\n"
         "output sub TIMESTAMP\n"
         "iterations 150\n";
  net.close();
  const murvtest::CommandResult r =
      murvtest::runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + netFile + " 2>&1",
                           std::chrono::seconds(120));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.rfind("ROS node : murv_sub_runner generated...\nsub constructor end...\nROS initialized...\n"
                           "sub initialized...\n",
                           0),
            0u)
      << r.output;
  // Kept by REMAIN_LATEST, the last iteration shows the result.
  EXPECT_NE(r.output.find("[149] sub.MAPOUT = Map begins from 4\nNumber of channels is 1\n"
                          "Map's ObjectRef's channel 4 is:\n<Source \n<id 4 >\n<azimuth 30.5 >\n<elevation -10 >\n"
                          "<status -1 >\n>\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("[149] sub.TIMESTAMP = <TimeStamp <sec 77> <usec 123456> >\n"), std::string::npos);
  EXPECT_EQ(r.output.substr(r.output.size() - std::string("ROS destructed...\n").size()), "ROS destructed...\n");
}
