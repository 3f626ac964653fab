// The conversions from host objects to murv_msgs audio messages, each against
// a message written out by hand.
#include <gtest/gtest.h>
#include <ros/serialization.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "convert/HostToMsg.h"
#include "PublisherTestSupport.h"

using namespace pubtest;
using hosttomsg::SourceMaps;
using hosttomsg::SourceMessages;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// The five per-source messages, filled by one run of the conversion.
struct Filled {
  murv_msgs::MurvSource source;
  murv_msgs::MurvSrcWave wave;
  murv_msgs::MurvSrcFFT fft;
  murv_msgs::MurvSrcFeature feature;
  murv_msgs::MurvSrcFeatureMFM mfm;
  std::string printed;
};

Filled fill(const ObjectRef& list, const SourceMaps& maps, int advance, bool debug = true) {
  Filled f;
  f.printed = stdoutOf([&] {
    hosttomsg::fillSources(SourceMessages{f.source, f.wave, f.fft, f.feature, f.mfm},
                           MURV::object_cast<MURV::Vector<ObjectRef> >(list), maps, advance, debug, nullptr);
  });
  return f;
}

// What roscpp sends for a message or a frame: the length word and the body.
template <class M> std::vector<uint8_t> wireOf(const M& m) {
  ros::SerializedMessage sm = ros::serialization::serializeMessage(m);
  return std::vector<uint8_t>(sm.buf.get(), sm.buf.get() + sm.num_bytes);
}

// A frame as a reader of its message type gets it.
template <class M, class F> M readBack(const F& frame) {
  ros::SerializedMessage sm = ros::serialization::serializeMessage(frame);
  M m;
  ros::serialization::deserializeMessage(sm, m);
  return m;
}

const SourceMap& asMap(const ObjectRef& r) { return MURV::object_cast<SourceMap>(r); }

template <class V> void sourceFields(V& v, int id, float power, float x, float y, float z, float az, float el) {
  v.id = id;
  v.power = power;
  v.x = x;
  v.y = y;
  v.z = z;
  v.azimuth = az;
  v.elevation = el;
}

}  // namespace

TEST(HostToMsgWave, EachRowIsOneChannelInColumnOrder) {
  ObjectRef m = matrixOf({{1.0f, 2.0f, 3.0f}, {-4.5f, 0.25f, 6.0f}});
  hosttomsg::WaveFrame frame;
  frame.count = 7;
  frame.header.frame_id = "mic";
  frame.header.stamp = ros::Time(3, 4);
  std::string printed = stdoutOf([&] { hosttomsg::fillWave(frame, MURV::object_cast<MURV::Matrix<float> >(m), true); });
  EXPECT_EQ(printed, "MIC_WAVE: 2 3\n");

  murv_msgs::MurvWave expected;
  expected.header.frame_id = "mic";
  expected.header.stamp = ros::Time(3, 4);
  expected.count = 7;
  expected.nch = 2;
  expected.length = 3;
  expected.data_bytes = 24;
  expected.src.resize(2);
  expected.src[0].wavedata = {1.0f, 2.0f, 3.0f};
  expected.src[1].wavedata = {-4.5f, 0.25f, 6.0f};
  EXPECT_EQ(wireOf(frame), wireOf(expected));
  EXPECT_EQ(readBack<murv_msgs::MurvWave>(frame), expected);

  // Without debug nothing is printed; a matrix without columns still has
  // its channels; a frame without a matrix has none.
  hosttomsg::WaveFrame empty;
  MURV::Matrix<float> noColumns(3, 0);
  EXPECT_EQ(stdoutOf([&] { hosttomsg::fillWave(empty, noColumns, false); }), "");
  murv_msgs::MurvWave threeEmpty;
  threeEmpty.nch = 3;
  threeEmpty.src.resize(3);
  EXPECT_EQ(wireOf(empty), wireOf(threeEmpty));
  EXPECT_EQ(wireOf(hosttomsg::WaveFrame()), wireOf(murv_msgs::MurvWave()));

  // A matrix whose message would not fit the wire's 32-bit length is
  // refused before its length could wrap; only its shape is read.
  MURV::Matrix<float> wave(1, 1);
  MURV::Matrix<std::complex<float> > spectrum(1, 1);
  wave.rows = spectrum.rows = 65536;
  wave.cols = 16384;
  spectrum.cols = 8192;
  hosttomsg::FFTFrame fftFrame;
  EXPECT_NE(textOf(hostExceptionOf([&] { hosttomsg::fillWave(empty, wave, false); })).find("65536 x 16384 is too"),
            std::string::npos);
  EXPECT_NE(textOf(hostExceptionOf([&] { hosttomsg::fillFFT(fftFrame, spectrum, false); })).find("MIC_FFT matrix"),
            std::string::npos);
  EXPECT_EQ(fftFrame.fft, nullptr);
  wave.rows = wave.cols = spectrum.rows = spectrum.cols = 1;
}

TEST(HostToMsgFFT, RealAndImaginaryPartsApartPerChannel) {
  // Five bins: a block of four and one more; a frame_id of three bytes
  // leaves the float lists unaligned in the send buffer.
  ObjectRef m = complexMatrixOf({{{1.0f, -1.0f}, {2.5f, 0.0f}, {0.125f, 8.0f}, {-3.0f, 3.0f}, {9.0f, -9.5f}},
                                 {{0.0f, 3.0f}, {-0.5f, -0.75f}, {1e-3f, -1e6f}, {kInf, 2.0f}, {-0.0f, 0.5f}}});
  hosttomsg::FFTFrame frame;
  frame.count = -2;
  frame.header.frame_id = "abc";
  std::string printed = stdoutOf(
      [&] { hosttomsg::fillFFT(frame, MURV::object_cast<MURV::Matrix<std::complex<float> > >(m), true); });
  EXPECT_EQ(printed, "MIC_FFT: 2 5\n");

  murv_msgs::MurvFFT expected;
  expected.header.frame_id = "abc";
  expected.count = -2;
  expected.nch = 2;
  expected.length = 5;
  expected.src.resize(2);
  expected.src[0].fftdata_real = {1.0f, 2.5f, 0.125f, -3.0f, 9.0f};
  expected.src[0].fftdata_imag = {-1.0f, 0.0f, 8.0f, 3.0f, -9.5f};
  expected.src[1].fftdata_real = {0.0f, -0.5f, 1e-3f, kInf, -0.0f};
  expected.src[1].fftdata_imag = {3.0f, -0.75f, -1e6f, 2.0f, 0.5f};
  EXPECT_EQ(wireOf(frame), wireOf(expected));
  EXPECT_EQ(readBack<murv_msgs::MurvFFT>(frame), expected);

  hosttomsg::FFTFrame empty;
  MURV::Matrix<std::complex<float> > noBins(2, 0);
  EXPECT_EQ(stdoutOf([&] { hosttomsg::fillFFT(empty, noBins, false); }), "");
  murv_msgs::MurvFFT twoEmpty;
  twoEmpty.nch = 2;
  twoEmpty.src.resize(2);
  EXPECT_EQ(wireOf(empty), wireOf(twoEmpty));
  EXPECT_EQ(wireOf(hosttomsg::FFTFrame()), wireOf(murv_msgs::MurvFFT()));
}

TEST(HostToMsgFrames, PublishAsTheirMessageTypes) {
  namespace mt = ros::message_traits;
  EXPECT_STREQ(mt::datatype<hosttomsg::WaveFrame>(), "murv_msgs/MurvWave");
  EXPECT_STREQ(mt::md5sum<hosttomsg::WaveFrame>(), "24c5654436a3ff03c563377fdbcc56a1");
  EXPECT_STREQ(mt::definition<hosttomsg::WaveFrame>(), mt::definition<murv_msgs::MurvWave>());
  EXPECT_TRUE(mt::hasHeader<hosttomsg::WaveFrame>());
  EXPECT_STREQ(mt::datatype<hosttomsg::FFTFrame>(), "murv_msgs/MurvFFT");
  EXPECT_STREQ(mt::md5sum<hosttomsg::FFTFrame>(), "8aab5c2ab0dcabc23cdf16e2742a6c6d");
  EXPECT_STREQ(mt::definition<hosttomsg::FFTFrame>(), mt::definition<murv_msgs::MurvFFT>());
  EXPECT_TRUE(mt::hasHeader<hosttomsg::FFTFrame>());
}

TEST(HostToMsgFeature, EntriesInAscendingIdOrderAndBadValuesFail) {
  ObjectRef features = mapOf({{7, floats({7.0f})}, {2, floats({2.0f, 2.5f})}, {5, floats({})}});
  murv_msgs::MurvFeature msg;
  EXPECT_EQ(stdoutOf([&] { hosttomsg::fillFeature(msg, asMap(features)); }), "");

  murv_msgs::MurvFeature expected;
  expected.exist_src_num = 3;
  expected.src.resize(3);
  expected.src[0].id = 2;
  expected.src[0].length = 2;
  expected.src[0].data_bytes = 8;
  expected.src[0].featuredata = {2.0f, 2.5f};
  expected.src[1].id = 5;
  expected.src[2].id = 7;
  expected.src[2].length = 1;
  expected.src[2].data_bytes = 4;
  expected.src[2].featuredata = {7.0f};
  EXPECT_EQ(msg, expected);

  murv_msgs::MurvFeature bad;
  auto e = hostExceptionOf([&] { hosttomsg::fillFeature(bad, asMap(mapOf({{1, complexes({{1.0f, 0.0f}})}}))); });
  EXPECT_NE(dynamic_cast<MURV::CastException<MURV::Vector<float> >*>(e.get()), nullptr) << textOf(e);
  EXPECT_EQ(textOf(e), "Cast error: Trying to cast ObjectRef (N4MURV6VectorISt7complexIfEEE) into N4MURV6VectorIfEE\n");
  EXPECT_THROW(hosttomsg::fillFeature(bad, asMap(mapOf({{1, ObjectRef()}}))), std::bad_typeid);
}

TEST(HostToMsgSources, DirectionAnglesInDegrees) {
  struct Case {
    float x, y, z, azimuth, elevation;
  };
  const Case cases[] = {{1, 1, 0, 45, 0},  {0, 0, 1, 0, 90},  {-1, 0, 0, 180, 0},
                        {0, -1, 0, -90, 0}, {1, 0, 1, 0, 45}, {0, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(hosttomsg::azimuthDegrees(c.x, c.y), c.azimuth) << c.x << " " << c.y << " " << c.z;
    EXPECT_EQ(hosttomsg::elevationDegrees(c.x, c.y, c.z), c.elevation) << c.x << " " << c.y << " " << c.z;
  }
  // Below the horizon and behind: (-1, -1, -sqrt 2) is 45 degrees down at -135.
  EXPECT_EQ(hosttomsg::azimuthDegrees(-1, -1), -135.0f);
  EXPECT_NEAR(hosttomsg::elevationDegrees(-1, -1, -std::sqrt(2.0f)), -45.0f, 1e-5f);
}

TEST(HostToMsgSources, SourceWaveIsTheLastAdvanceSamplesAs16BitValues) {
  ObjectRef list = listOf({source(4, 1, 0, 0, 1)});
  ObjectRef waves = mapOf({{4, floats({0.5f, 1.5f, -2.7f, 40000.0f, 32767.9f, -32768.9f})}});
  SourceMaps maps;
  maps.wave = &asMap(waves);
  Filled f = fill(list, maps, 4);
  EXPECT_EQ(f.printed, "SRC_NUM: 1\n\tSRC_INFO[0]: id 4, x 1.000000 0.000000 0.000000, power 1.000000\n\t\tSWAVE: 4 8; 6\n");
  ASSERT_EQ(f.wave.src.size(), 1u);
  EXPECT_EQ(f.wave.src[0].length, 4);
  EXPECT_EQ(f.wave.src[0].data_bytes, 8);
  EXPECT_EQ(f.wave.src[0].wavedata, (std::vector<float>{-2.0f, -25536.0f, 32767.0f, -32768.0f}));

  // Values that are no 32-bit integer become 0; every other value keeps its
  // low 16 bits, whatever its size.
  const std::vector<std::pair<float, float> > samples = {
      {kNaN, 0.0f},           {kInf, 0.0f},           {-kInf, 0.0f},       {3e9f, 0.0f},
      {-3e9f, 0.0f},          {2147483648.0f, 0.0f},  {2147483520.0f, -128.0f}, {-2147483648.0f, 0.0f},
      {65536.5f, 0.0f},       {98303.0f, 32767.0f},   {-65537.0f, -1.0f},  {-0.999f, 0.0f},
      {32768.0f, -32768.0f},  {-32769.0f, 32767.0f}};
  for (const auto& s : samples) EXPECT_EQ(hosttomsg::quantise16(s.first), s.second) << s.first;
  // The same values as a source wave, in blocks of four and a tail.
  MURV::Vector<float>* special = new MURV::Vector<float>;
  std::vector<float> quantisedSpecial;
  for (const auto& s : samples) {
    special->push_back(s.first);
    quantisedSpecial.push_back(s.second);
  }
  ObjectRef specialWaves = mapOf({{4, ObjectRef(special)}});
  maps.wave = &asMap(specialWaves);
  Filled all = fill(list, maps, static_cast<int>(samples.size()), false);
  ASSERT_EQ(all.wave.src.size(), 1u);
  EXPECT_EQ(all.wave.src[0].wavedata, quantisedSpecial);
  EXPECT_FALSE(std::signbit(hosttomsg::quantise16(-0.5f))) << "a truncated -0.5 is the integer 0, not -0";
}

TEST(HostToMsgSources, EveryConnectedMapGetsOneElementPerSourceInListOrder) {
  // List order, not id order; the maps hold an id (8) that no source has.
  ObjectRef list = listOf({source(9, 1, 1, 0, 2.5f), source(3, 0, -1, 0, 0.5f)});
  ObjectRef waves = mapOf({{3, floats({100.0f, -1.5f})}, {9, floats({1.0f, 2.0f, 3.0f})}, {8, floats({})}});
  ObjectRef ffts = mapOf({{9, complexes({{1.0f, 2.0f}})},
                          {3, complexes({{0.5f, -0.5f}, {0.0f, 4.0f}, {1.0f, 1.0f}, {2.0f, -2.0f}, {-7.0f, 7.5f}})}});
  ObjectRef features = mapOf({{9, floats({9.0f})}, {3, floats({3.0f, 3.5f})}, {8, floats({8.0f})}});
  ObjectRef reliabilities = mapOf({{9, floats({0.25f, 0.75f})}, {3, floats({})}});
  SourceMaps maps;
  maps.wave = &asMap(waves);
  maps.fft = &asMap(ffts);
  maps.feature = &asMap(features);
  maps.reliability = &asMap(reliabilities);
  Filled f = fill(list, maps, 2);

  EXPECT_EQ(f.printed,
            "SRC_NUM: 2\n"
            "\tSRC_INFO[0]: id 9, x 1.000000 1.000000 0.000000, power 2.500000\n"
            "\t\tSWAVE: 2 4; 3\n"
            "\t\tSFFT: 1\n"
            "\tSRC_INFO[1]: id 3, x 0.000000 -1.000000 0.000000, power 0.500000\n"
            "\t\tSWAVE: 2 4; 2\n"
            "\t\tSFFT: 5\n");

  murv_msgs::MurvSource source;
  source.exist_src_num = 2;
  source.src.resize(2);
  sourceFields(source.src[0], 9, 2.5f, 1, 1, 0, 45, 0);
  sourceFields(source.src[1], 3, 0.5f, 0, -1, 0, -90, 0);
  EXPECT_EQ(f.source, source);

  murv_msgs::MurvSrcWave wave;
  wave.exist_src_num = 2;
  wave.src.resize(2);
  sourceFields(wave.src[0], 9, 2.5f, 1, 1, 0, 45, 0);
  wave.src[0].length = 2;
  wave.src[0].data_bytes = 4;
  wave.src[0].wavedata = {2.0f, 3.0f};
  sourceFields(wave.src[1], 3, 0.5f, 0, -1, 0, -90, 0);
  wave.src[1].length = 2;
  wave.src[1].data_bytes = 4;
  wave.src[1].wavedata = {100.0f, -1.0f};
  EXPECT_EQ(f.wave, wave);

  murv_msgs::MurvSrcFFT fft;
  fft.exist_src_num = 2;
  fft.src.resize(2);
  sourceFields(fft.src[0], 9, 2.5f, 1, 1, 0, 45, 0);
  fft.src[0].length = 1;
  fft.src[0].fftdata_real = {1.0f};
  fft.src[0].fftdata_imag = {2.0f};
  sourceFields(fft.src[1], 3, 0.5f, 0, -1, 0, -90, 0);
  fft.src[1].length = 5;
  fft.src[1].fftdata_real = {0.5f, 0.0f, 1.0f, 2.0f, -7.0f};
  fft.src[1].fftdata_imag = {-0.5f, 4.0f, 1.0f, -2.0f, 7.5f};
  EXPECT_EQ(f.fft, fft);

  murv_msgs::MurvSrcFeature feature;
  feature.exist_src_num = 2;
  feature.src.resize(2);
  sourceFields(feature.src[0], 9, 2.5f, 1, 1, 0, 45, 0);
  feature.src[0].length = 1;
  feature.src[0].data_bytes = 4;
  feature.src[0].featuredata = {9.0f};
  sourceFields(feature.src[1], 3, 0.5f, 0, -1, 0, -90, 0);
  feature.src[1].length = 2;
  feature.src[1].data_bytes = 8;
  feature.src[1].featuredata = {3.0f, 3.5f};
  EXPECT_EQ(f.feature, feature);

  murv_msgs::MurvSrcFeatureMFM mfm;
  mfm.exist_src_num = 2;
  mfm.src.resize(2);
  sourceFields(mfm.src[0], 9, 2.5f, 1, 1, 0, 45, 0);
  mfm.src[0].length_feature = 1;
  mfm.src[0].data_bytes_feature = 4;
  mfm.src[0].featuredata_feature = {9.0f};
  mfm.src[0].length_mfm = 2;
  mfm.src[0].data_bytes_mfm = 8;
  mfm.src[0].featuredata_mfm = {0.25f, 0.75f};
  sourceFields(mfm.src[1], 3, 0.5f, 0, -1, 0, -90, 0);
  mfm.src[1].length_feature = 2;
  mfm.src[1].data_bytes_feature = 8;
  mfm.src[1].featuredata_feature = {3.0f, 3.5f};
  EXPECT_EQ(f.mfm, mfm);

  // The maps were only read.
  EXPECT_EQ(asMap(waves).size(), 3u);
  EXPECT_EQ(asMap(reliabilities).size(), 2u);
}

TEST(HostToMsgSources, ReliabilityAloneMakesTheMFMElementsAndFeatureAloneDoesNot) {
  ObjectRef list = listOf({source(1, 0, 0, 1, 1)});
  ObjectRef values = mapOf({{1, floats({0.5f})}});

  SourceMaps reliabilityOnly;
  reliabilityOnly.reliability = &asMap(values);
  Filled r = fill(list, reliabilityOnly, 3, false);
  EXPECT_EQ(r.printed, "");
  murv_msgs::MurvSrcFeatureMFM mfm;
  mfm.exist_src_num = 1;
  mfm.src.resize(1);
  sourceFields(mfm.src[0], 1, 1, 0, 0, 1, 0, 90);
  mfm.src[0].length_mfm = 1;
  mfm.src[0].data_bytes_mfm = 4;
  mfm.src[0].featuredata_mfm = {0.5f};
  EXPECT_EQ(r.mfm, mfm);
  EXPECT_TRUE(r.feature.src.empty());

  SourceMaps featureOnly;
  featureOnly.feature = &asMap(values);
  Filled f = fill(list, featureOnly, 3, false);
  EXPECT_EQ(f.feature.src.size(), 1u);
  EXPECT_TRUE(f.mfm.src.empty());
  EXPECT_EQ(f.mfm.exist_src_num, 1) << "the count is set whether or not elements follow";
}

TEST(HostToMsgSources, EmptyListAndZeroAdvance) {
  ObjectRef waves = mapOf({{1, floats({1.0f, 2.0f})}});
  SourceMaps maps;
  maps.wave = &asMap(waves);
  maps.fft = &asMap(waves);  // never looked at: no source asks
  Filled none = fill(listOf({}), maps, 2);
  EXPECT_EQ(none.printed, "SRC_NUM: 0\n");
  EXPECT_EQ(none.source.exist_src_num, 0);
  EXPECT_EQ(none.wave.exist_src_num, 0);
  EXPECT_EQ(none.fft.exist_src_num, 0);
  EXPECT_EQ(none.feature.exist_src_num, 0);
  EXPECT_EQ(none.mfm.exist_src_num, 0);
  EXPECT_TRUE(none.source.src.empty() && none.wave.src.empty() && none.fft.src.empty());

  SourceMaps waveOnly;
  waveOnly.wave = &asMap(waves);
  Filled zero = fill(listOf({source(1, 1, 0, 0, 0)}), waveOnly, 0);
  ASSERT_EQ(zero.wave.src.size(), 1u);
  EXPECT_EQ(zero.wave.src[0].length, 0);
  EXPECT_EQ(zero.wave.src[0].data_bytes, 0);
  EXPECT_TRUE(zero.wave.src[0].wavedata.empty());
  EXPECT_NE(zero.printed.find("\t\tSWAVE: 0 0; 2\n"), std::string::npos) << zero.printed;
}

TEST(HostToMsgSources, BadElementsValuesMissingIdsAndShortWavesFail) {
  ObjectRef good = mapOf({{1, floats({1.0f, 2.0f})}});
  SourceMaps waveOnly;
  waveOnly.wave = &asMap(good);
  Filled ok = fill(listOf({source(1, 0, 0, 0, 0)}), waveOnly, 2, false);
  ASSERT_EQ(ok.wave.src.size(), 1u);

  // An element that is not a Source, or a null one.
  for (ObjectRef element : {floats({1.0f}), ObjectRef()}) {
    auto e = hostExceptionOf([&] { fill(listOf({element}), SourceMaps(), 2, false); });
    EXPECT_EQ(textOf(e), "ObjectRef, line 63: Something is wrong in RCPtr::operator=, this should not happen.\n");
  }

  // A map value of the wrong type, per map; a null value.
  ObjectRef list = listOf({source(1, 0, 0, 0, 0)});
  ObjectRef complexValue = mapOf({{1, complexes({{1.0f, 1.0f}})}});
  ObjectRef floatValue = mapOf({{1, floats({1.0f})}});
  SourceMaps m;
  m.wave = &asMap(complexValue);
  auto e = hostExceptionOf([&] { fill(list, m, 1, false); });
  EXPECT_NE(dynamic_cast<MURV::CastException<MURV::Vector<float> >*>(e.get()), nullptr) << textOf(e);
  m = SourceMaps();
  m.fft = &asMap(floatValue);
  e = hostExceptionOf([&] { fill(list, m, 1, false); });
  EXPECT_EQ(textOf(e), "Cast error: Trying to cast ObjectRef (N4MURV6VectorIfEE) into N4MURV6VectorISt7complexIfEEE\n");
  m = SourceMaps();
  m.reliability = &asMap(complexValue);
  e = hostExceptionOf([&] { fill(list, m, 1, false); });
  EXPECT_NE(dynamic_cast<MURV::CastException<MURV::Vector<float> >*>(e.get()), nullptr) << textOf(e);
  ObjectRef nullValue = mapOf({{1, ObjectRef()}});
  m = SourceMaps();
  m.feature = &asMap(nullValue);
  EXPECT_THROW(fill(list, m, 1, false), std::bad_typeid);

  // A source id that a connected map lacks names the map and the id, and
  // adds nothing to the map.
  ObjectRef other = mapOf({{2, floats({1.0f})}});
  const char* ports[] = {"SRC_WAVE", "SRC_FFT", "SRC_FEATURE", "SRC_RELIABILITY"};
  for (int which = 0; which < 4; ++which) {
    m = SourceMaps();
    const SourceMap* lacking = &asMap(other);
    (which == 0 ? m.wave : which == 1 ? m.fft : which == 2 ? m.feature : m.reliability) = lacking;
    e = hostExceptionOf([&] { fill(list, m, 1, false); });
    auto* ne = dynamic_cast<MURV::NodeException*>(e.get());
    ASSERT_NE(ne, nullptr) << textOf(e);
    EXPECT_EQ(ne->message, std::string(ports[which]) + " has no entry for source id 1");
    EXPECT_EQ(ne->file, "HostToMsg");
    EXPECT_EQ(asMap(other).size(), 1u);
  }

  // A wave shorter than ADVANCE is refused, not read before its start.
  e = hostExceptionOf([&] { fill(list, waveOnly, 3, false); });
  auto* ne = dynamic_cast<MURV::NodeException*>(e.get());
  ASSERT_NE(ne, nullptr) << textOf(e);
  EXPECT_EQ(ne->message, "SRC_WAVE of source id 1 holds 2 samples, fewer than ADVANCE 3");
  // So is a negative ADVANCE, where a source wave is converted, and only there.
  e = hostExceptionOf([&] { fill(list, waveOnly, -1, false); });
  ne = dynamic_cast<MURV::NodeException*>(e.get());
  ASSERT_NE(ne, nullptr) << textOf(e);
  EXPECT_EQ(ne->message, "ADVANCE must not be negative (got -1)");
  EXPECT_EQ(fill(listOf({}), waveOnly, -1, false).wave.src.size(), 0u);
  EXPECT_EQ(fill(list, SourceMaps(), -1, false).source.src.size(), 1u);
}

TEST(HostToMsgSources, AFilledSourceWaveOnTheWire) {
  ObjectRef list = listOf({source(-2, 0, 0, -1, 0.5f)});
  ObjectRef waves = mapOf({{-2, floats({7.0f, 70000.9f})}});
  SourceMaps maps;
  maps.wave = &asMap(waves);
  Filled f = fill(list, maps, 1, false);
  f.wave.count = 5;
  f.wave.header.frame_id = "ab";
  ros::SerializedMessage sm = ros::serialization::serializeMessage(f.wave);

  auto u32 = [](std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto f32 = [&](std::vector<uint8_t>& b, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(b, bits);
  };
  std::vector<uint8_t> body;
  u32(body, 0);                               // seq
  u32(body, 0);                               // stamp sec
  u32(body, 0);                               // stamp nsec
  u32(body, 2);                               // frame_id
  body.push_back('a');
  body.push_back('b');
  u32(body, 5);                               // count
  u32(body, 1);                               // exist_src_num
  u32(body, 1);                               // src: one element
  u32(body, static_cast<uint32_t>(-2));       // id
  f32(body, 0.5f);                            // power
  f32(body, 0.0f);                            // x
  f32(body, 0.0f);                            // y
  f32(body, -1.0f);                           // z
  f32(body, 0.0f);                            // azimuth
  f32(body, -90.0f);                          // elevation
  u32(body, 1);                               // length
  u32(body, 2);                               // data_bytes
  u32(body, 1);                               // wavedata: one sample
  f32(body, 4464.0f);                         // 70000 = 0x11170, low 16 bits 0x1170
  ASSERT_EQ(sm.num_bytes, body.size() + 4);
  EXPECT_EQ(std::vector<uint8_t>(sm.message_start, sm.message_start + body.size()), body);
}

TEST(HostToMsgStamps, TimeStampBecomesSecondsAndNanosecondsBelowOneSecond) {
  auto stamp = [](long sec, long usec) {
    MURV::TimeStamp t;
    t.sec = sec;
    t.usec = usec;
    return hosttomsg::stampOf(t);
  };
  EXPECT_EQ(stamp(10, 500000), ros::Time(10, 500000000));
  EXPECT_EQ(stamp(0, 999999), ros::Time(0, 999999000));
  EXPECT_EQ(stamp(7, 0), ros::Time(7, 0));
  // Out-of-range microseconds carry into the seconds.
  EXPECT_EQ(stamp(10, 1000000), ros::Time(11, 0));
  EXPECT_EQ(stamp(10, 2500001), ros::Time(12, 500001000));
  EXPECT_EQ(stamp(10, -1), ros::Time(9, 999999000));
  EXPECT_EQ(stamp(10, -1000000), ros::Time(9, 0));
  // Seconds keep their low 32 bits; the extremes neither overflow nor trap.
  ros::Time t = stamp(std::numeric_limits<long>::max(), 999999);
  EXPECT_EQ(t.sec, 0xFFFFFFFFu);
  EXPECT_EQ(t.nsec, 999999000u);
  t = stamp(std::numeric_limits<long>::max(), 1000000);
  EXPECT_EQ(t.sec, 0u);
  t = stamp(0x100000005L, 0);
  EXPECT_EQ(t.sec, 5u);
  t = stamp(0, std::numeric_limits<long>::min());
  EXPECT_LT(t.nsec, 1000000000u);
  t = stamp(std::numeric_limits<long>::min(), std::numeric_limits<long>::min());
  EXPECT_LT(t.nsec, 1000000000u);
}

TEST(HostToMsgStamps, ConstantIncrementIsTheSinglePrecisionProduct) {
  const float period = 160.0f / 16000.0f;  // what the node computes for ADVANCE 160 at 16 kHz
  EXPECT_EQ(hosttomsg::frameOffset(0, period), 0.0);
  EXPECT_EQ(hosttomsg::frameOffset(100, period), 1.0);
  EXPECT_EQ(hosttomsg::frameOffset(12345, period), 123.44999694824219);

  const ros::Time base(1000, 999999999);
  ros::Time stamp;
  ASSERT_TRUE(hosttomsg::addSeconds(base, hosttomsg::frameOffset(12345, period), &stamp));
  // 0.44999694824219 s rounds to 449996948 ns; the nanoseconds carry.
  EXPECT_EQ(stamp, ros::Time(1124, 449996947));
  ASSERT_TRUE(hosttomsg::addSeconds(base, 0.0, &stamp));
  EXPECT_EQ(stamp, base);

  // In range, the same as ROS's own Time + Duration::fromSec.
  const double offsets[] = {0.0, 1e-9, 0.4999999995, 0.9999999996, 1.0, 123.45, -0.25, -1000.5, 86400.123456789};
  for (double d : offsets) {
    ASSERT_TRUE(hosttomsg::addSeconds(base, d, &stamp)) << d;
    EXPECT_EQ(stamp, base + ros::Duration().fromSec(d)) << d;
    EXPECT_LT(stamp.nsec, 1000000000u);
  }

  // ROS's Duration stops at 2^31 s; a stamp goes on to 2^32 s.
  ASSERT_TRUE(hosttomsg::addSeconds(base, 3e9, &stamp));
  EXPECT_EQ(stamp, ros::Time(3000001000u, 999999999));

  // What no stamp can hold is refused rather than overflowing.
  const double refused[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, -1001.0, 4294967296.0, 1e300, -1e300};
  for (double d : refused) EXPECT_FALSE(hosttomsg::addSeconds(base, d, &stamp)) << d;
  EXPECT_TRUE(hosttomsg::addSeconds(ros::Time(0, 0), 4294967295.5, &stamp));
  EXPECT_EQ(stamp, ros::Time(4294967295u, 500000000));
}
