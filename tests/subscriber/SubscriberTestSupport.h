// What the subscriber tests share: message builders with a distinct value in
// every field, the node's parameter set, a capture of ROS log records, and
// reading a node's outputs.
#ifndef MURV_SUBSCRIBER_TEST_SUPPORT_H
#define MURV_SUBSCRIBER_TEST_SUPPORT_H

#include <boost/make_shared.hpp>
#include <ros/console.h>

#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>

#include "Node.h"
#include "ParameterSet.h"
#include "String.h"
#include "net_types.h"

namespace subtest {

// Every record the ROS log writes while it lives, with its level and the
// source location it names.
class LogCapture : public ros::console::LogAppender {
public:
  struct Record {
    ros::console::Level level;
    std::string text;
    std::string file;
    int line;
  };
  LogCapture() { ros::console::register_appender(this); }
  ~LogCapture() override { ros::console::deregister_appender(this); }
  void log(ros::console::Level level, const char* str, const char* file, const char*, int line) override {
    std::lock_guard<std::mutex> g(lock_);
    records_.push_back(Record{level, str, file ? file : "", line});
  }
  std::vector<Record> records() const {
    std::lock_guard<std::mutex> g(lock_);
    return records_;
  }
  // Records at level whose text contains part.
  int count(ros::console::Level level, const std::string& part) const {
    int n = 0;
    for (const Record& r : records())
      if (r.level == level && r.text.find(part) != std::string::npos) ++n;
    return n;
  }

private:
  mutable std::mutex lock_;
  std::vector<Record> records_;
};

// Samples c * 1000 + i + base, so every cell says where it came from.
inline murv_msgs::MurvWave wave(int count, int nch, int length, float base = 0.0f) {
  murv_msgs::MurvWave m;
  m.header.seq = 99;
  m.header.stamp = ros::Time(12, 345678901);
  m.header.frame_id = "mic";
  m.count = count;
  m.nch = nch;
  m.length = length;
  m.data_bytes = 4 * nch * length;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c)
    for (int i = 0; i < length; ++i) m.src[c].wavedata.push_back(base + c * 1000.0f + i);
  return m;
}

inline murv_msgs::MurvFFT fft(int count, int nch, int length) {
  murv_msgs::MurvFFT m;
  m.header.seq = 99;
  m.header.stamp = ros::Time(7, 999999999);
  m.header.frame_id = "bins";
  m.count = count;
  m.nch = nch;
  m.length = length;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c)
    for (int i = 0; i < length; ++i) {
      m.src[c].fftdata_real.push_back(c * 1000.0f + i);
      m.src[c].fftdata_imag.push_back(-(c * 1000.0f + i));
    }
  return m;
}

template <class Val>
void setSourceFields(Val& v, int k) {
  v.id = 10 + k;
  v.power = 0.5f + k;
  v.x = 1.0f + k;
  v.y = 2.0f + k;
  v.z = 3.0f + k;
  v.azimuth = 30.0f + k;
  v.elevation = -10.0f - k;
}

inline std::vector<float> ramp(int n, float base) {
  std::vector<float> v;
  for (int i = 0; i < n; ++i) v.push_back(base + i);
  return v;
}

template <class M>
void setHeader(M& m, int count, int exist) {
  m.header.seq = 99;
  m.header.stamp = ros::Time(100 + count, 1000 * count + 999);
  m.header.frame_id = "src";
  m.count = count;
  m.exist_src_num = exist;
}

// n sources; source k has id 10 + k and a vector of len values from 100 k.
inline murv_msgs::MurvSource source(int count, int n, int exist) {
  murv_msgs::MurvSource m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) setSourceFields(m.src[k], k);
  return m;
}

inline murv_msgs::MurvFeature feature(int count, int n, int exist, int len) {
  murv_msgs::MurvFeature m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    m.src[k].id = 10 + k;
    m.src[k].length = len;
    m.src[k].data_bytes = 4 * len;
    m.src[k].featuredata = ramp(len, 100.0f * k);
  }
  return m;
}

inline murv_msgs::MurvSrcWave srcWave(int count, int n, int exist, int len) {
  murv_msgs::MurvSrcWave m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    setSourceFields(m.src[k], k);
    m.src[k].length = len;
    m.src[k].data_bytes = 4 * len;
    m.src[k].wavedata = ramp(len, 100.0f * k);
  }
  return m;
}

inline murv_msgs::MurvSrcFFT srcFFT(int count, int n, int exist, int len) {
  murv_msgs::MurvSrcFFT m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    setSourceFields(m.src[k], k);
    m.src[k].length = len;
    m.src[k].fftdata_real = ramp(len, 100.0f * k);
    m.src[k].fftdata_imag = ramp(len, -100.0f * k - 50.0f);
  }
  return m;
}

inline murv_msgs::MurvSrcFeature srcFeature(int count, int n, int exist, int len) {
  murv_msgs::MurvSrcFeature m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    setSourceFields(m.src[k], k);
    m.src[k].length = len;
    m.src[k].data_bytes = 4 * len;
    m.src[k].featuredata = ramp(len, 100.0f * k);
  }
  return m;
}

inline murv_msgs::MurvSrcFeatureMFM srcFeatureMFM(int count, int n, int exist, int lenFeature, int lenMFM) {
  murv_msgs::MurvSrcFeatureMFM m;
  setHeader(m, count, exist);
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    setSourceFields(m.src[k], k);
    m.src[k].length_feature = lenFeature;
    m.src[k].data_bytes_feature = 4 * lenFeature;
    m.src[k].featuredata_feature = ramp(lenFeature, 100.0f * k);
    m.src[k].length_mfm = lenMFM;
    m.src[k].data_bytes_mfm = 4 * lenMFM;
    m.src[k].featuredata_mfm = ramp(lenMFM, 0.25f + k);
  }
  return m;
}

// n results; result k has id 3 + k, status -1 - k and k + 1 entries.
inline murv_msgs::MurvSorvex sorvex(int n) {
  murv_msgs::MurvSorvex m;
  m.header.seq = 99;
  m.header.stamp = ros::Time(4294967295u, 999999999u);
  m.header.frame_id = "asr";
  m.src.resize(n);
  for (int k = 0; k < n; ++k) {
    murv_msgs::MurvSorvexSrc& s = m.src[k];
    s.id = 3 + k;
    s.azimuth = 30.5f + k;
    s.elevation = -10.0f;
    s.aux1 = 1 + k;
    s.aux2 = -2 - k;
    s.aux3 = 2147483647;
    s.aux4 = -2147483647 - 1;
    s.status = static_cast<int8_t>(-1 - k);
    for (int e = 0; e <= k; ++e) {
      murv_msgs::MurvSorvexSrcVal v;
      v.entry_text = "word" + std::to_string(e);
      v.entry_index = e;
      v.entry_subtext = std::string("sub\0text", 8);
      v.entry_value = 0.5f * e;
      s.entries.push_back(v);
    }
  }
  return m;
}

template <class M>
boost::shared_ptr<const M> shared(const M& m) {
  return boost::make_shared<const M>(m);
}

// The subscriber's seventeen parameters; topics are /sub_test/<type>.
inline MURV::ParameterSet subscriberParams(const std::string& selection,
                                           const std::map<std::string, MURV::ObjectRef>& overrides = {}) {
  MURV::ParameterSet p;
  const char* names[] = {"MURVWAVE",   "MURVFFT",        "MURVFEATURE",       "MURVSOURCE", "MURVSRCWAVE",
                         "MURVSRCFFT", "MURVSRCFEATURE", "MURVSRCFEATUREMFM", "MURVSORVEX"};
  for (const char* n : names) {
    std::string lower(n);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.add(std::string("TOPIC_NAME_") + n, MURV::ObjectRef(new MURV::String("/sub_test/" + lower)));
  }
  p.add("STREAM_SELECTION", MURV::ObjectRef(new MURV::String(selection)));
  p.add("NB_CHANNELS", MURV::ObjectRef(new MURV::NetCType<int>(2)));
  p.add("FFT_LENGTH", MURV::ObjectRef(new MURV::NetCType<int>(512)));
  p.add("ENABLE_DEBUG", MURV::ObjectRef(new MURV::NetCType<bool>(false)));
  p.add("ROS_LOOP_RATE", MURV::ObjectRef(new MURV::NetCType<float>(1000.0f)));
  p.add("MSG_BUFFER_NUM", MURV::ObjectRef(new MURV::NetCType<int>(100)));
  p.add("DATA_BUFFER_NUM", MURV::ObjectRef(new MURV::NetCType<int>(5)));
  p.add("REMAIN_LATEST", MURV::ObjectRef(new MURV::NetCType<bool>(false)));
  for (const auto& o : overrides) p.add(o.first, o.second);
  return p;
}

inline MURV::ObjectRef intParam(int v) { return MURV::ObjectRef(new MURV::NetCType<int>(v)); }
inline MURV::ObjectRef boolParam(bool v) { return MURV::ObjectRef(new MURV::NetCType<bool>(v)); }
inline MURV::ObjectRef stringParam(const std::string& v) { return MURV::ObjectRef(new MURV::String(v)); }

// A node owned by the test: unref'd when the holder goes.
struct NodeUnref {
  void operator()(MURV::Node* n) const {
    if (n) n->unref();
  }
};
using NodePtr = std::unique_ptr<MURV::Node, NodeUnref>;

inline NodePtr createNode(const std::string& type, const std::string& name, const MURV::ParameterSet& params) {
  MURV::_NodeFactory* f = MURV::Node::getFactoryNamed(type);
  if (!f) throw std::runtime_error(type + " is not registered");
  return NodePtr(f->Create(name, params));
}

inline NodePtr createGenerator(const std::string& rosName) {
  MURV::ParameterSet p;
  p.add("NODE_NAME", stringParam(rosName));
  return createNode("RosNodeGenerator", "gen", p);
}

}  // namespace subtest

#endif
