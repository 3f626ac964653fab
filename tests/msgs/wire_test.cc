// Wire bytes of the toolbox's messages, built by hand, against roscpp's
// serialization and the bounded reader.
#include <vector>

#include <gtest/gtest.h>
#include <ros/service_callback_helper.h>

#include "convert/MurvMsgReader.h"
#include "sample_msgs.h"
#include "wire_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <class M>
M readBack(const Bytes& body) {
  M out;
  murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), out);
  return out;
}

WireBytes headerBytes(const char* frame) {
  WireBytes w;
  w.u32(5).u32(1700000000).u32(123456000).str(frame);
  return w;
}

TEST(MsgWire, WaveOfTwoChannels) {
  const murv_msgs::MurvWave m = sample<murv_msgs::MurvWave>();
  WireBytes body = headerBytes("abc");
  body.i32(7).i32(2).i32(3).i32(24).u32(2).floats({1, 2, 3}).floats({4, 5, 6});
  ASSERT_EQ(body.size(), 71u);

  WireBytes whole;
  whole.u32(71);
  Bytes expected = whole.bytes();
  expected.insert(expected.end(), body.bytes().begin(), body.bytes().end());
  EXPECT_EQ(rosSerialized(m), expected);
  EXPECT_EQ(rosSerialized(m).size(), 75u);

  const auto back = readBack<murv_msgs::MurvWave>(body.bytes());
  EXPECT_EQ(back, m);
}

TEST(MsgWire, SourceOfTwoSources) {
  const murv_msgs::MurvSource m = sample<murv_msgs::MurvSource>();
  WireBytes body = headerBytes("abc");
  body.i32(12).i32(2).u32(2);
  for (int id = 1; id <= 2; ++id) body.i32(id).f32(30.5f + id).f32(0.5f).f32(-0.25f * id).f32(1.0f).f32(45.0f * id).f32(-10.0f);
  ASSERT_EQ(body.size(), 87u);
  EXPECT_EQ(rosBody(m), body.bytes());
  EXPECT_EQ(readBack<murv_msgs::MurvSource>(body.bytes()), m);
}

TEST(MsgWire, FeatureMfmElement) {
  const murv_msgs::MurvSrcFeatureMFMVal v = sample<murv_msgs::MurvSrcFeatureMFMVal>();
  WireBytes w;
  w.i32(4).f32(34.5f).f32(0.5f).f32(-1.0f).f32(1.0f).f32(180.0f).f32(-10.0f);
  w.i32(3).i32(12).floats({1.5f, 2.5f, 3.5f}).i32(2).i32(8).floats({0.25f, 0.75f});
  ASSERT_EQ(w.size(), 72u);
  EXPECT_EQ(rosBytes(v), w.bytes());
  EXPECT_EQ(readBack<murv_msgs::MurvSrcFeatureMFMVal>(w.bytes()), v);
}

TEST(MsgWire, EmptyListsAndEmptyFrame) {
  murv_msgs::MurvSrcWave m;
  m.count = 9;
  WireBytes body;
  body.u32(0).u32(0).u32(0).u32(0).i32(9).i32(0).u32(0);
  EXPECT_EQ(rosBody(m), body.bytes());
  EXPECT_EQ(readBack<murv_msgs::MurvSrcWave>(body.bytes()), m);
}

TEST(MsgWire, IntMinusOne) {
  murv_msgs::MurvInt m;
  m.data = -1;
  const Bytes expected = {8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(rosSerialized(m), expected);
  EXPECT_EQ(readBack<murv_msgs::MurvInt>(Bytes(expected.begin() + 4, expected.end())).data, -1);
}

TEST(MsgWire, ServiceRequestAndAnswers) {
  using murv_msgs::MurvIntSrvRequest;
  using murv_msgs::MurvIntSrvResponse;
  const Bytes request = {16, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(rosSerialized(sample<MurvIntSrvRequest>()), request);
  const auto back = readBack<MurvIntSrvRequest>(Bytes(request.begin() + 4, request.end()));
  EXPECT_EQ(back.first, 2);
  EXPECT_EQ(back.second, 3);

  // roscpp's call frame around a server callback, fed the request body.
  auto answer = [&](bool ok) {
    ros::ServiceCallbackHelperT<ros::ServiceSpec<MurvIntSrvRequest, MurvIntSrvResponse>> helper(
        [ok](MurvIntSrvRequest& req, MurvIntSrvResponse& res) {
          res.sum = req.first + req.second;
          return ok;
        });
    boost::shared_array<uint8_t> buf(new uint8_t[request.size()]);
    std::copy(request.begin(), request.end(), buf.get());
    ros::ServiceCallbackHelperCallParams params;
    params.request = ros::SerializedMessage(buf, static_cast<uint32_t>(request.size()));
    params.request.message_start = buf.get() + 4;
    EXPECT_EQ(helper.call(params), ok);
    return Bytes(params.response.buf.get(), params.response.buf.get() + params.response.num_bytes);
  };
  EXPECT_EQ(answer(true), (Bytes{1, 8, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(answer(false), (Bytes{0, 5, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(MsgWire, RecognitionResults) {
  const murv_msgs::MurvSorvex m = sample<murv_msgs::MurvSorvex>();
  WireBytes body = headerBytes("rec");
  body.u32(2);
  body.i32(1).f32(30.0f).f32(5.0f).i32(-1).i32(2).i32(3).i32(4).u8(0xFF).u32(2);
  body.str("hello").i32(0).str("greeting").f32(0.9f);
  body.str("").i32(1).str("").f32(0.0f);
  body.i32(2).f32(0).f32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u32(0);
  // 20 + F, a source with two entries, a source with none.
  EXPECT_EQ(body.size(), 20u + 3 + (33 + (16 + 5 + 8) + 16) + 33);
  EXPECT_EQ(rosBody(m), body.bytes());
  const auto back = readBack<murv_msgs::MurvSorvex>(body.bytes());
  EXPECT_EQ(back, m);
  EXPECT_EQ(back.src[0].status, -1);

  murv_msgs::MurvSorvex empty;
  EXPECT_EQ(rosBody(empty).size(), 20u);
}

TEST(MsgWire, ParameterSets) {
  using namespace murv_params;
  WireBytes zidid;
  zidid.i32(2).i32(-180).i32(180).i32(500).i32(2800);
  EXPECT_EQ(rosBody(sample<DiradureZIDID>()), zidid.bytes());
  EXPECT_EQ(readBack<DiradureZIDID>(zidid.bytes()), sample<DiradureZIDID>());

  WireBytes doda;
  doda.f32(0.85f).f32(16000.0f);
  EXPECT_EQ(rosBody(sample<DODA>()), doda.bytes());
  EXPECT_EQ(readBack<DODA>(doda.bytes()), sample<DODA>());

  WireBytes tracker;
  tracker.f32(25.0f).f32(1200.0f).f32(20.0f).f32(6.0f).u8(1);
  ASSERT_EQ(tracker.size(), 17u);
  EXPECT_EQ(rosBody(sample<SourceTracker>()), tracker.bytes());
  EXPECT_EQ(readBack<SourceTracker>(tracker.bytes()), sample<SourceTracker>());

  // compare_mode is unsigned: 0xFF widens to 255, not -1.
  Bytes high = tracker.bytes();
  high[16] = 0xFF;
  EXPECT_EQ(static_cast<int32_t>(readBack<SourceTracker>(high).compare_mode), 255);

  // 16 bytes are refused as a whole; an 18th byte is not looked at.
  Bytes shortBody(tracker.bytes().begin(), tracker.bytes().end() - 1);
  EXPECT_THROW(readBack<SourceTracker>(shortBody), ros::serialization::StreamOverrunException);
  Bytes longBody = tracker.bytes();
  longBody.push_back(0x77);
  EXPECT_EQ(readBack<SourceTracker>(longBody), sample<SourceTracker>());
}

}  // namespace
