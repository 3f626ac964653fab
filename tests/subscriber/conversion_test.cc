// Received messages turned into host objects: every type's outputs against
// hand-computed values, count fields that disagree with their lists, and the
// time stamp rule for any header.
#include <gtest/gtest.h>

#include <complex>
#include <sstream>

#include "convert/MsgToHost.h"
#include "objects/RecogSource.h"
#include "Source.h"
#include "SubscriberTestSupport.h"

using namespace subtest;
using MURV::Map;
using MURV::Matrix;
using MURV::ObjectRef;
using MURV::Vector;
using cfloat = std::complex<float>;

namespace {

template <class T>
std::vector<T> cells(const ObjectRef& r, int& rows, int& cols) {
  const Matrix<T>& m = MURV::object_cast<Matrix<T>>(r);
  rows = m.rows;
  cols = m.cols;
  return std::vector<T>(m.data, m.data + m.msize());
}

template <class M>
std::vector<int> sourceIds(const M& msg, std::vector<std::array<float, 4>>* fields = nullptr) {
  Vector<ObjectRef> v;
  murvmsg::appendSources(v, msg);
  std::vector<int> ids;
  for (const ObjectRef& r : v) {
    const MURV::Source& s = MURV::object_cast<MURV::Source>(r);
    ids.push_back(s.id);
    if (fields) fields->push_back({s.power, s.x[0], s.x[1], s.x[2]});
  }
  return ids;
}

template <class M>
std::map<int, std::vector<float>> floatMap(const M& msg) {
  Map<int, ObjectRef> map;
  murvmsg::addMapEntries(map, msg);
  std::map<int, std::vector<float>> out;
  for (const auto& e : map) out[e.first] = MURV::object_cast<Vector<float>>(e.second);
  return out;
}

}  // namespace

TEST(MessageToHost, AWaveIsAMatrixOfChannelsBySamples) {
  int rows, cols;
  std::vector<float> c = cells<float>(murvmsg::toMatrix(wave(1, 2, 3)), rows, cols);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
  EXPECT_EQ(c, (std::vector<float>{0, 1, 2, 1000, 1001, 1002}));

  // The shape follows the counts: nch 4 of two channels, length 5 of rows
  // of 3 and 1 values: 4 x 5, what the lists do not carry 0.
  murv_msgs::MurvWave w = wave(1, 2, 3);
  w.nch = 4;
  w.length = 5;
  w.src[1].wavedata.resize(1);
  c = cells<float>(murvmsg::toMatrix(w), rows, cols);
  EXPECT_EQ(rows, 4);
  EXPECT_EQ(cols, 5);
  EXPECT_EQ(c, (std::vector<float>{0, 1, 2, 0, 0, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // Counts below the lists cut them.
  w = wave(1, 3, 4);
  w.nch = 2;
  w.length = 2;
  c = cells<float>(murvmsg::toMatrix(w), rows, cols);
  EXPECT_EQ(c, (std::vector<float>{0, 1, 1000, 1001}));
  EXPECT_EQ(rows * cols, 4);

  // A length of 2 x 10^9 over two rows is 4 x 10^9 cells, counted in 64
  // bits.
  w = wave(1, 2, 3);
  w.length = 2000000000;
  EXPECT_EQ(murvmsg::hostValueCount(w), 4000000000u);

  // Negative counts count as 0.
  for (auto [nch, length] : {std::pair{-1, 3}, std::pair{2, -5}, std::pair{0, 3}}) {
    w = wave(1, 2, 3);
    w.nch = nch;
    w.length = length;
    cells<float>(murvmsg::toMatrix(w), rows, cols);
    EXPECT_EQ(rows * cols, 0) << nch << " " << length;
  }
}

TEST(MessageToHost, ASpectrumIsAComplexMatrix) {
  int rows, cols;
  murv_msgs::MurvFFT f = fft(1, 2, 3);
  f.src[1].fftdata_imag.resize(2);  // a missing imaginary part is 0
  std::vector<cfloat> c = cells<cfloat>(murvmsg::toMatrix(f), rows, cols);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
  EXPECT_EQ(c, (std::vector<cfloat>{{0, 0}, {1, -1}, {2, -2}, {1000, -1000}, {1001, -1001}, {1002, 0}}));

  // Rows long enough to be interleaved in blocks, with parts of their own
  // lengths: every bin still pairs re[i] with im[i].
  f = fft(1, 2, 11);
  f.src[0].fftdata_imag.resize(6);
  f.src[1].fftdata_real.resize(9);
  c = cells<cfloat>(murvmsg::toMatrix(f), rows, cols);
  ASSERT_EQ(cols, 11);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 11; ++i) {
      const float re = (ch == 1 && i >= 9) ? 0.0f : ch * 1000.0f + i;
      const float im = (ch == 0 && i >= 6) ? 0.0f : -(ch * 1000.0f + i);
      EXPECT_EQ(c[ch * 11 + i], cfloat(re, im)) << ch << " " << i;
    }

  // length sets the row, whatever either list holds.
  f = fft(1, 1, 2);
  f.src[0].fftdata_real.clear();
  f.length = 10;
  c = cells<cfloat>(murvmsg::toMatrix(f), rows, cols);
  std::vector<cfloat> row(10);
  row[1] = {0, -1};
  EXPECT_EQ(c, row);
}

TEST(MessageToHost, AMatrixBeyondTheLimitIsRefusedBeforeAllocation) {
  murv_msgs::MurvWave w;
  w.nch = 65536;
  w.length = 65536;
  w.src.resize(65536);
  w.src[0].wavedata.assign(65536, 1.0f);
  EXPECT_EQ(murvmsg::hostValueCount(w), uint64_t(1) << 32);
  try {
    murvmsg::toMatrix(w);
    FAIL() << "no exception";
  } catch (MURV::BaseException* e) {
    EXPECT_NE(e->text().find("4294967296 values"), std::string::npos) << e->text();
    delete e;
  }
  // Per-source vectors count by their lengths.
  murv_msgs::MurvSrcWave sw = srcWave(1, 2, 2, 1);
  sw.src[1].length = 1 << 24;
  EXPECT_EQ(murvmsg::hostValueCount(sw), 2u + 1u + (1u << 24));
}

TEST(MessageToHost, SourcesKeepIdPowerAndPositionInOrder) {
  std::vector<std::array<float, 4>> fields;
  EXPECT_EQ(sourceIds(source(1, 3, 3), &fields), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(fields[1], (std::array<float, 4>{1.5f, 2.0f, 3.0f, 4.0f}));
  EXPECT_EQ(sourceIds(source(1, 2, 3)), (std::vector<int>{10, 11})) << "exist_src_num 3 of two";
  EXPECT_EQ(sourceIds(source(1, 3, 1)), (std::vector<int>{10}));
  EXPECT_TRUE(sourceIds(source(1, 3, -1)).empty());
  EXPECT_EQ(sourceIds(srcWave(1, 2, 2, 1)), (std::vector<int>{10, 11}));
  EXPECT_EQ(sourceIds(srcFFT(1, 2, 2, 1)), (std::vector<int>{10, 11}));
  EXPECT_EQ(sourceIds(srcFeature(1, 2, 2, 1)), (std::vector<int>{10, 11}));
  EXPECT_EQ(sourceIds(srcFeatureMFM(1, 2, 2, 1, 1)), (std::vector<int>{10, 11}));
}

TEST(MessageToHost, PerSourceVectorsAreKeyedByIdAndSizedByTheirLengths) {
  using FM = std::map<int, std::vector<float>>;
  EXPECT_EQ(floatMap(feature(1, 2, 2, 3)), (FM{{10, {0, 1, 2}}, {11, {100, 101, 102}}}));
  murv_msgs::MurvFeature fe = feature(1, 2, 2, 3);
  fe.src[0].length = 2;  // fewer than it holds
  fe.src[1].length = 5;  // more than it holds: 0 for the rest
  EXPECT_EQ(floatMap(fe), (FM{{10, {0, 1}}, {11, {100, 101, 102, 0, 0}}}));
  fe.src[1].length = -4;
  EXPECT_EQ(floatMap(fe), (FM{{10, {0, 1}}, {11, {}}}));
  // The same id twice: the later one wins.
  fe = feature(1, 2, 2, 1);
  fe.src[1].id = 10;
  EXPECT_EQ(floatMap(fe), (FM{{10, {100}}}));

  EXPECT_EQ(floatMap(srcWave(1, 3, 2, 2)), (FM{{10, {0, 1}}, {11, {100, 101}}}));
  EXPECT_EQ(floatMap(srcFeature(1, 1, 5, 2)), (FM{{10, {0, 1}}}));
  // The reliability vector, of length_mfm; the features stay out.
  EXPECT_EQ(floatMap(srcFeatureMFM(1, 2, 2, 4, 2)), (FM{{10, {0.25f, 1.25f}}, {11, {1.25f, 2.25f}}}));

  murv_msgs::MurvSrcFFT sf = srcFFT(1, 1, 1, 4);
  sf.src[0].length = 3;
  sf.src[0].fftdata_imag.resize(1);
  Map<int, ObjectRef> map;
  murvmsg::addMapEntries(map, sf);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(static_cast<const std::vector<cfloat>&>(MURV::object_cast<Vector<cfloat>>(map[10])),
            (std::vector<cfloat>{{0, -50}, {1, 0}, {2, 0}}));
}

TEST(MessageToHost, RecognitionResultsBecomeRecogSources) {
  murv_msgs::MurvSorvex sx = sorvex(2);
  sx.src[1].status = static_cast<int8_t>(0xFF);
  Map<int, ObjectRef> map;
  murvmsg::addMapEntries(map, sx);
  ASSERT_EQ(map.size(), 2u);
  const RecogSource& a = MURV::object_cast<RecogSource>(map[3]);
  EXPECT_EQ(a.id, 3);
  EXPECT_EQ(a.azimuth, 30.5f);
  EXPECT_EQ(a.elevation, -10.0f);
  EXPECT_EQ(a.aux1, 1);
  EXPECT_EQ(a.aux2, -2);
  EXPECT_EQ(a.aux3, 2147483647);
  EXPECT_EQ(a.aux4, -2147483647 - 1);
  EXPECT_EQ(a.status, -1);
  ASSERT_EQ(a.entries.size(), 1u);
  const RecogSource& b = MURV::object_cast<RecogSource>(map[4]);
  EXPECT_EQ(b.status, -1) << "int8 0xFF is -1, not 255";
  ASSERT_EQ(b.entries.size(), 2u);
  EXPECT_EQ(b.entries[1].entry_text, "word1");
  EXPECT_EQ(b.entries[1].entry_index, 1);
  EXPECT_EQ(b.entries[1].entry_subtext, std::string("sub\0text", 8));
  EXPECT_EQ(b.entries[1].entry_value, 0.5f);
  // No count field: every element, and a repeated id keeps the later one.
  sx.src[1].id = 3;
  Map<int, ObjectRef> same;
  murvmsg::addMapEntries(same, sx);
  ASSERT_EQ(same.size(), 1u);
  EXPECT_EQ(MURV::object_cast<RecogSource>(same[3]).entries.size(), 2u);
  EXPECT_EQ(murvmsg::hostValueCount(sx), 2u + 1u + 2u);
}

TEST(MessageToHost, TheStampBecomesSecondsAndMicroseconds) {
  MURV::TimeStamp ts;
  murvmsg::setTimeStamp(ts, ros::Time(12, 345678901));
  EXPECT_EQ(ts.sec, 12);
  EXPECT_EQ(ts.usec, 345678);
  // Any header: the largest unsigned values stay positive and whole.
  ros::Time last;
  last.sec = 4294967295u;
  last.nsec = 4294967295u;
  murvmsg::setTimeStamp(ts, last);
  EXPECT_EQ(ts.sec, 4294967295L);
  EXPECT_EQ(ts.usec, 4294967L);
  murvmsg::setTimeStamp(ts, ros::Time(0, 999));
  EXPECT_EQ(ts.sec, 0);
  EXPECT_EQ(ts.usec, 0);
}
