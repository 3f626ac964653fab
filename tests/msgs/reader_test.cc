// The bounded reader: it reads what roscpp writes exactly as roscpp reads it,
// refuses every short body as a whole, and never sizes a list beyond what the
// remaining bytes can hold.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/MurvMsgReader.h"
#include "alloc_guard.h"
#include "sample_msgs.h"
#include "wire_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ros::serialization::StreamOverrunException;

std::string rosOverrunText() {
  try {
    ros::serialization::throwStreamOverrun();
  } catch (const StreamOverrunException& e) {
    return e.what();
  }
  return "";
}

template <class M>
M readBack(const Bytes& body) {
  M out;
  murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), out);
  return out;
}

template <class M>
class MsgReader : public ::testing::Test {};
TYPED_TEST_SUITE(MsgReader, AllMsgTypes);

TYPED_TEST(MsgReader, ReadsWhatRoscppWritesAsRoscppReadsIt) {
  const TypeParam m = sample<TypeParam>();
  Bytes body = rosBody(m);
  EXPECT_EQ(readBack<TypeParam>(body), m);

  TypeParam stock;
  ros::serialization::IStream stream(body.data(), static_cast<uint32_t>(body.size()));
  ros::serialization::deserialize(stream, stock);
  EXPECT_EQ(stock, m);

  // Reading into a message that already holds other values leaves nothing
  // of them behind.
  TypeParam reused = sample<TypeParam>();
  murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), reused);
  EXPECT_EQ(reused, m);
}

TYPED_TEST(MsgReader, EveryPrefixIsRefusedAsAWhole) {
  const Bytes body = rosBody(sample<TypeParam>());
  const std::string text = rosOverrunText();
  for (size_t n = 0; n < body.size(); ++n) {
    SCOPED_TRACE(n);
    // A copy of exactly n bytes, so a read past them is an ASan error too.
    Bytes prefix(body.begin(), body.begin() + n);
    TypeParam out;
    try {
      murvDeserialize(prefix.data(), static_cast<uint32_t>(n), out);
      ADD_FAILURE() << "prefix of " << n << " of " << body.size() << " bytes was accepted";
    } catch (const StreamOverrunException& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
  }
}

TYPED_TEST(MsgReader, TrailingBytesAreNotLookedAt) {
  const TypeParam m = sample<TypeParam>();
  Bytes body = rosBody(m);
  body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03});
  EXPECT_EQ(readBack<TypeParam>(body), m);
}

TEST(MsgReaderCounts, CountFieldsThatDisagreeWithTheirListsSurvive) {
  murv_msgs::MurvWave wave;
  wave.nch = 5;
  wave.length = 100;
  wave.data_bytes = -4;
  wave.src.resize(1);
  wave.src[0].wavedata = {1.0f, 2.0f};
  const auto w = readBack<murv_msgs::MurvWave>(rosBody(wave));
  EXPECT_EQ(w.nch, 5);
  EXPECT_EQ(w.length, 100);
  EXPECT_EQ(w.data_bytes, -4);
  ASSERT_EQ(w.src.size(), 1u);
  EXPECT_EQ(w.src[0].wavedata.size(), 2u);

  murv_msgs::MurvSrcFeatureMFM mfm;
  mfm.exist_src_num = 0;
  mfm.src.resize(2);
  mfm.src[1].length_feature = 7;
  mfm.src[1].featuredata_mfm = {0.5f};
  const auto f = readBack<murv_msgs::MurvSrcFeatureMFM>(rosBody(mfm));
  EXPECT_EQ(f.exist_src_num, 0);
  ASSERT_EQ(f.src.size(), 2u);
  EXPECT_EQ(f.src[1].length_feature, 7);
  EXPECT_TRUE(f.src[1].featuredata_feature.empty());
  EXPECT_EQ(f.src[1].featuredata_mfm, std::vector<float>{0.5f});
}

TEST(MsgReaderCounts, ACopySharesNoStorage) {
  const murv_msgs::MurvWave wave = sample<murv_msgs::MurvWave>();
  murv_msgs::MurvWave copy = wave;
  EXPECT_NE(copy.src[0].wavedata.data(), wave.src[0].wavedata.data());
  copy.src[0].wavedata[1] = 99.0f;
  copy.header.frame_id[0] = 'x';
  EXPECT_EQ(wave.src[0].wavedata[1], 2.0f);
  EXPECT_EQ(wave.header.frame_id, "abc");

  const murv_msgs::MurvSorvex rec = sample<murv_msgs::MurvSorvex>();
  murv_msgs::MurvSorvex recCopy = rec;
  recCopy.src[0].entries[0].entry_text[0] = 'j';
  recCopy.src[0].entries.pop_back();
  EXPECT_EQ(rec.src[0].entries.size(), 2u);
  EXPECT_EQ(rec.src[0].entries[0].entry_text, "hello");
}

// A list's elements are bounded by their smallest wire size: 4 bytes for a
// float, 28 for a source, 33 for a recognised source, 16 for an entry.
TEST(MsgReaderCounts, SmallestWireSizes) {
  EXPECT_EQ(MurvMsgReader::minWireSize<float>(), 4u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvWaveVal>(), 4u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvFFTVal>(), 8u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvSourceVal>(), 28u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvSrcFeatureMFMVal>(), 52u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvSorvexSrc>(), 33u);
  EXPECT_EQ(MurvMsgReader::minWireSize<murv_msgs::MurvSorvexSrcVal>(), 16u);
}

// Reads body under an allocation guard: it must fail with the overrun error,
// and never have asked for more than a few small blocks (the exception's
// text, an element or two).
template <class M>
void expectRefusedCheaply(const Bytes& body) {
  M out;
  size_t largest = 0;
  bool refused = false;
  try {
    AllocGuard guard(64 * 1024);
    try {
      murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), out);
      ADD_FAILURE() << "accepted";
    } catch (...) {
      largest = guard.largest();
      refused = guard.refused();
      throw;
    }
  } catch (const StreamOverrunException&) {
  } catch (const std::exception& e) {
    ADD_FAILURE() << "failed with " << e.what() << " instead of the overrun error";
  }
  EXPECT_FALSE(refused);
  EXPECT_LE(largest, 1024u);
}

TEST(MsgReaderCounts, HugeCountsAreRefusedBeforeAnyAllocation) {
  // An 8-byte element body: a count, then one float. 2^30 + 1 floats would
  // be 4 GiB + 4 bytes, which wraps to 4 in 32 bits.
  expectRefusedCheaply<murv_msgs::MurvWaveVal>(WireBytes().u32((1u << 30) + 1).f32(1.0f).bytes());
  expectRefusedCheaply<murv_msgs::MurvWaveVal>(WireBytes().u32(0xFFFFFFFFu).f32(1.0f).bytes());
  expectRefusedCheaply<murv_msgs::MurvWaveVal>(WireBytes().u32(2).f32(1.0f).bytes());

  WireBytes wave;
  wave.u32(0).u32(0).u32(0).str("").i32(0).i32(0).i32(0).i32(0);
  expectRefusedCheaply<murv_msgs::MurvWave>(WireBytes(wave).u32(0xFFFFFFFFu).u32(0).bytes());
  expectRefusedCheaply<murv_msgs::MurvWave>(WireBytes(wave).u32(1).u32((1u << 30) + 1).f32(0).bytes());

  // 65,537 channels of no samples fit their 4 bytes each, but no real array
  // has that many; as many results of a recognition.
  WireBytes channels(wave);
  channels.u32(65537);
  for (int i = 0; i < 65537; ++i) channels.u32(0);
  expectRefusedCheaply<murv_msgs::MurvWave>(channels.bytes());
  WireBytes results;
  results.u32(0).u32(0).u32(0).str("").u32(65537);
  for (int i = 0; i < 65537; ++i) results.i32(0).f32(0).f32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u32(0);
  expectRefusedCheaply<murv_msgs::MurvSorvex>(results.bytes());

  // Two sources need 56 bytes; 8 × 4 would pass a 4-byte bound.
  WireBytes source;
  source.u32(0).u32(0).u32(0).str("").i32(0).i32(0).u32(2);
  for (int i = 0; i < 8; ++i) source.f32(0);
  expectRefusedCheaply<murv_msgs::MurvSource>(source.bytes());

  // A string that claims more than remains, in the header and deep inside.
  expectRefusedCheaply<murv_msgs::MurvInt>(Bytes{});
  expectRefusedCheaply<murv_msgs::MurvSource>(WireBytes().u32(0).u32(0).u32(0).u32(0xFFFFFFFFu).u32(0).bytes());
  WireBytes rec;
  rec.u32(0).u32(0).u32(0).str("").u32(1).i32(0).f32(0).f32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u32(1);
  expectRefusedCheaply<murv_msgs::MurvSorvex>(WireBytes(rec).u32(0xFFFFFFF0u).i32(0).str("").f32(0).bytes());
  expectRefusedCheaply<murv_msgs::MurvSorvex>(WireBytes(rec).u32(0).i32(0).u32(1u << 31).f32(0).bytes());
}

TEST(MsgReaderCounts, ACountThatExactlyFitsIsAccepted) {
  WireBytes source;
  source.u32(0).u32(0).u32(0).str("").i32(0).i32(2).u32(2);
  for (int i = 0; i < 14; ++i) source.f32(static_cast<float>(i));
  const auto m = readBack<murv_msgs::MurvSource>(source.bytes());
  ASSERT_EQ(m.src.size(), 2u);
  EXPECT_EQ(m.src[1].elevation, 13.0f);

  WireBytes channels;
  channels.u32(0).u32(0).u32(0).str("").i32(0).i32(65536).i32(0).i32(0).u32(65536);
  for (int i = 0; i < 65536; ++i) channels.u32(0);
  EXPECT_EQ(readBack<murv_msgs::MurvWave>(channels.bytes()).src.size(), 65536u);
}

// The subscription helper is what roscpp calls for every message that
// arrives as bytes; driving it directly shows it reads with the bounded
// reader and hands the message on.
TEST(MsgSubscriptionHelper, DeserializesWithTheBoundedReaderAndCalls) {
  using murv_msgs::MurvWave;
  boost::shared_ptr<const MurvWave> received;
  int calls = 0;
  MurvSubscriptionHelper<MurvWave> helper([&](const boost::shared_ptr<const MurvWave>& m) {
    received = m;
    ++calls;
  });
  EXPECT_TRUE(helper.hasHeader());
  EXPECT_TRUE(helper.isConst());
  EXPECT_TRUE(helper.getTypeInfo() == typeid(MurvWave));

  auto header = boost::make_shared<ros::M_string>();
  (*header)["callerid"] = "/peer";
  Bytes body = rosBody(sample<MurvWave>());
  ros::SubscriptionCallbackHelperDeserializeParams params;
  params.buffer = body.data();
  params.length = static_cast<uint32_t>(body.size());
  params.connection_header = header;
  ros::VoidConstPtr msg = helper.deserialize(params);
  ASSERT_TRUE(msg);
  const auto wave = boost::static_pointer_cast<const MurvWave>(msg);
  EXPECT_EQ(*wave, sample<MurvWave>());

  ros::SubscriptionCallbackHelperCallParams call;
  call.event = ros::MessageEvent<void const>(msg, header, ros::Time(), false,
                                              ros::MessageEvent<void const>::CreateFunction());
  helper.call(call);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(received, wave);

  // A damaged count: roscpp's deserializer catches the error and drops the message.
  Bytes bad = WireBytes().u32(0).u32(0).u32(0).str("").i32(0).i32(0).i32(0).i32(0).u32(0xFFFFFFFFu).bytes();
  params.buffer = bad.data();
  params.length = static_cast<uint32_t>(bad.size());
  EXPECT_THROW(helper.deserialize(params), StreamOverrunException);

  // Both subscribe forms instantiate for the toolbox's types.
  struct Node {
    void onSource(const boost::shared_ptr<const murv_msgs::MurvSource>&) {}
  };
  ros::Subscriber (*byFunction)(ros::NodeHandle&, const std::string&, uint32_t,
                                const boost::function<void(const murv_msgs::MurvSorvexConstPtr&)>&,
                                const ros::TransportHints&) = &murvSubscribe<murv_msgs::MurvSorvex>;
  ros::Subscriber (*byMember)(ros::NodeHandle&, const std::string&, uint32_t,
                              void (Node::*)(const boost::shared_ptr<const murv_msgs::MurvSource>&), Node*,
                              const ros::TransportHints&) = &murvSubscribe<murv_msgs::MurvSource, Node>;
  EXPECT_NE(byFunction, nullptr);
  EXPECT_NE(byMember, nullptr);
}

}  // namespace
