// Real ROS traffic into RosMurvMsgsSubscriber: roscpp publishers in this
// process send every type through a private master; what each node outputs
// is compared with values worked out by hand from what was sent.
#include <gtest/gtest.h>

#include <complex>
#include <functional>

#include "Map.h"
#include "Matrix.h"
#include "ros/MsgFifo.h"
#include "objects/RecogSource.h"
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

// Publishes msg every few milliseconds until s converts a message, and
// returns the count of that iteration (-1 when none came in time).
template <class M>
int receive(Subscriber& s, ros::Publisher& pub, const M& msg, int& count) {
  int got = -1;
  waitFor(
      [&] {
        pub.publish(msg);
        for (int i = 0; i < 5; ++i, ++count)
          if (s.stamp(count).first != 0) {
            got = count++;
            return true;
          }
        return false;
      },
      std::chrono::seconds(30), std::chrono::milliseconds(20));
  return got;
}

std::vector<int> ids(const ObjectRef& r) {
  std::vector<int> out;
  for (const ObjectRef& s : MURV::object_cast<Vector<ObjectRef>>(r)) out.push_back(MURV::object_cast<MURV::Source>(s).id);
  return out;
}

std::map<int, std::vector<float>> floats(const ObjectRef& r) {
  std::map<int, std::vector<float>> out;
  for (const auto& e : MURV::object_cast<Map<int, ObjectRef>>(r)) out[e.first] = MURV::object_cast<Vector<float>>(e.second);
  return out;
}

using FM = std::map<int, std::vector<float>>;

}  // namespace

TEST(SubscriberTraffic, EveryTypeArrivesAndBecomesTheHostObjectsItCarries) {
  RosNetwork net("murv_sub_traffic");
  ros::NodeHandle nh;
  auto advertise = [&](auto tag, const char* topic) {
    using M = decltype(tag);
    return nh.advertise<M>(std::string("/sub_test/") + topic, 10);
  };
  const std::string mainThread = murvmsg::threadIdText();
  testing::internal::CaptureStdout();
  int count = 0;

  {
    Subscriber s("wav", "MurvWave", {"MATOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvWave(), "murvwave");
    const int c = receive(s, pub, wave(5, 2, 3), count);
    ASSERT_GE(c, 0);
    const Matrix<float>& m = MURV::object_cast<Matrix<float>>(s.get(s.matout, c));
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 3);
    EXPECT_EQ(std::vector<float>(m.data, m.data + 6), (std::vector<float>{0, 1, 2, 1000, 1001, 1002}));
    EXPECT_EQ(s.stamp(c), std::make_pair(12L, 345678L));
  }
  {
    Subscriber s("fft", "MurvFFT", {"MATOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvFFT(), "murvfft");
    const int c = receive(s, pub, fft(6, 2, 2), count);
    ASSERT_GE(c, 0);
    const Matrix<cfloat>& m = MURV::object_cast<Matrix<cfloat>>(s.get(s.matout, c));
    EXPECT_EQ(std::vector<cfloat>(m.data, m.data + m.msize()),
              (std::vector<cfloat>{{0, 0}, {1, -1}, {1000, -1000}, {1001, -1001}}));
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(s.stamp(c), std::make_pair(7L, 999999L));
  }
  {
    Subscriber s("fea", "MurvFeature", {"MAPOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvFeature(), "murvfeature");
    const int c = receive(s, pub, feature(7, 3, 2, 2), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(floats(s.get(s.mapout, c)), (FM{{10, {0, 1}}, {11, {100, 101}}}));
    EXPECT_EQ(s.stamp(c), std::make_pair(107L, 7L));
  }
  {
    Subscriber s("src", "MurvSource", {"SRCOUT"}, {{"ENABLE_DEBUG", boolParam(true)}});
    ros::Publisher pub = advertise(murv_msgs::MurvSource(), "murvsource");
    const int c = receive(s, pub, source(8, 3, 2), count);
    ASSERT_GE(c, 0);
    const Vector<ObjectRef>& v = MURV::object_cast<Vector<ObjectRef>>(s.get(s.srcout, c));
    ASSERT_EQ(v.size(), 2u);
    const MURV::Source& second = MURV::object_cast<MURV::Source>(v[1]);
    EXPECT_EQ(second.id, 11);
    EXPECT_EQ(second.power, 1.5f);
    EXPECT_EQ(second.x[0], 2.0f);
    EXPECT_EQ(second.x[1], 3.0f);
    EXPECT_EQ(second.x[2], 4.0f);
  }
  {
    Subscriber s("sw", "MurvSrcWave", {"SRCOUT", "MAPOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvSrcWave(), "murvsrcwave");
    const int c = receive(s, pub, srcWave(9, 2, 2, 3), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(ids(s.get(s.srcout, c)), (std::vector<int>{10, 11}));
    EXPECT_EQ(floats(s.get(s.mapout, c)), (FM{{10, {0, 1, 2}}, {11, {100, 101, 102}}}));
  }
  {
    Subscriber s("sf", "MurvSrcFFT", {"SRCOUT", "MAPOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvSrcFFT(), "murvsrcfft");
    const int c = receive(s, pub, srcFFT(10, 1, 1, 2), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(ids(s.get(s.srcout, c)), std::vector<int>{10});
    Map<int, ObjectRef>& map = MURV::object_cast<Map<int, ObjectRef>>(s.get(s.mapout, c));
    EXPECT_EQ(static_cast<std::vector<cfloat>&>(MURV::object_cast<Vector<cfloat>>(map[10])),
              (std::vector<cfloat>{{0, -50}, {1, -49}}));
  }
  {
    Subscriber s("sfe", "MurvSrcFeature", {"MAPOUT", "SRCOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvSrcFeature(), "murvsrcfeature");
    const int c = receive(s, pub, srcFeature(11, 2, 2, 1), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(ids(s.get(s.srcout, c)), (std::vector<int>{10, 11}));
    EXPECT_EQ(floats(s.get(s.mapout, c)), (FM{{10, {0}}, {11, {100}}}));
  }
  {
    Subscriber s("mfm", "MurvSrcFeatureMFM", {"MAPOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvSrcFeatureMFM(), "murvsrcfeaturemfm");
    const int c = receive(s, pub, srcFeatureMFM(12, 2, 2, 3, 2), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(floats(s.get(s.mapout, c)), (FM{{10, {0.25f, 1.25f}}, {11, {1.25f, 2.25f}}}));
  }
  {
    Subscriber s("asr", "MurvSorvex", {"MAPOUT"});
    ros::Publisher pub = advertise(murv_msgs::MurvSorvex(), "murvsorvex");
    const int c = receive(s, pub, sorvex(2), count);
    ASSERT_GE(c, 0);
    EXPECT_EQ(s.stamp(c), std::make_pair(4294967295L, 999999L));
    Map<int, ObjectRef>& map = MURV::object_cast<Map<int, ObjectRef>>(s.get(s.mapout, c));
    ASSERT_EQ(map.size(), 2u);
    const RecogSource& r = MURV::object_cast<RecogSource>(map[4]);
    EXPECT_EQ(r.status, -2);
    EXPECT_EQ(r.aux4, -2147483647 - 1);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_EQ(r.entries[1].entry_subtext, std::string("sub\0text", 8));
    std::ostringstream text;
    map[3]->printOn(text);
    EXPECT_EQ(text.str(), "<Source \n<id 3 >\n<azimuth 30.5 >\n<elevation -10 >\n<status -1 >\n>\n");
  }

  // The receipt traces came from the node's spinner thread, not this one.
  const std::string out = testing::internal::GetCapturedStdout();
  const size_t at = out.find("MurvSource received [8] [thread=");
  ASSERT_NE(at, std::string::npos) << out;
  const size_t idStart = at + std::string("MurvSource received [8] [thread=").size();
  const std::string id = out.substr(idStart, out.find(']', idStart) - idStart);
  EXPECT_FALSE(id.empty());
  EXPECT_NE(id, mainThread);
  EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
}

TEST(SubscriberTraffic, ABurstKeepsTheNewestFiveInArrivalOrder) {
  RosNetwork net("murv_sub_burst");
  ros::NodeHandle nh;
  ros::Publisher pub = nh.advertise<murv_msgs::MurvSource>("/sub_test/murvsource", 100);
  Subscriber s("burst", "MurvSource", {"SRCOUT"});
  ASSERT_TRUE(waitFor([&] { return pub.getNumSubscribers() == 1; }));
  for (int c = 1; c <= 20; ++c) pub.publish(source(c, 1, 1));
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard<std::mutex> g(s.holder().fifo_lock);
    return !s.holder().fifo_murvsource.empty() && s.holder().fifo_murvsource.back().count == 20;
  }));
  std::vector<long> seconds;
  for (int count = 0; count < 6; ++count) seconds.push_back(s.stamp(count).first);
  EXPECT_EQ(seconds, (std::vector<long>{116, 117, 118, 119, 120, 0}));
}

TEST(SubscriberTraffic, AFrameTooLargeForTheHostIsDroppedAndTheNextOneTaken) {
  RosNetwork net("murv_sub_large");
  LogCapture log;
  ros::NodeHandle nh;
  ros::Publisher pub = nh.advertise<murv_msgs::MurvWave>("/sub_test/murvwave", 10);
  Subscriber s("large", "MurvWave", {"MATOUT"});
  ASSERT_TRUE(waitFor([&] { return pub.getNumSubscribers() == 1; }));
  // 65536 channels and one row of 65536 samples: a 2^32-cell matrix from
  // half a megabyte on the wire.
  murv_msgs::MurvWave big;
  big.header.stamp = ros::Time(1, 0);
  big.nch = 65536;
  big.length = 65536;
  big.src.resize(65536);
  big.src[0].wavedata.assign(65536, 0.5f);
  pub.publish(big);
  ASSERT_TRUE(waitFor([&] { return log.count(ros::console::levels::Error, "MurvWave message dropped") == 1; }));
  pub.publish(wave(2, 2, 2));
  int count = 0;
  ASSERT_TRUE(waitFor([&] { return s.stamp(count++).first != 0; }));
  const Matrix<float>& m = MURV::object_cast<Matrix<float>>(s.get(s.matout, count - 1));
  EXPECT_EQ(m.rows * m.cols, 4);
  EXPECT_EQ(s.stamp(count - 1).first, 12) << "the small frame, not the large one";
}
