// Messages crafted by an outside client (rostopic, another process) whose
// count fields disagree with their lists or are negative: shapes follow the
// counts, what the lists do not carry is 0, and nothing beyond them is read.
#include <gtest/gtest.h>

#include <complex>

#include "Map.h"
#include "Matrix.h"
#include "objects/RecogSource.h"
#include "RosTestSupport.h"
#include "Source.h"
#include "Vector.h"

using namespace subtest;
using MURV::Map;
using MURV::Matrix;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

std::string rostopicPub(const std::string& topic, const std::string& type, const std::string& yaml) {
  return "exec /usr/bin/python3 /usr/bin/rostopic pub -r 5 /sub_test/" + topic + " murv_msgs/" + type + " '" + yaml +
         "'";
}

// The first count whose stamp is not the placeholder's, or -1.
int firstConverted(Subscriber& s, int& count) {
  int got = -1;
  waitFor(
      [&] {
        if (s.stamp(count).first != 0) got = count;
        ++count;
        return got >= 0;
      },
      std::chrono::seconds(60), std::chrono::milliseconds(5));
  return got;
}

}  // namespace

TEST(SubscriberCrafted, CountsThatDisagreeWithTheirListsFromAnOutsidePublisher) {
  RosNetwork net("murv_sub_crafted");
  Subscriber so("so", "MurvSource", {"SRCOUT"});
  Subscriber sw("sw", "MurvSrcWave", {"SRCOUT", "MAPOUT"});
  Subscriber wv("wv", "MurvWave", {"MATOUT"});
  Subscriber fe("fe", "MurvFeature", {"MAPOUT"});
  Subscriber ff("ff", "MurvFFT", {"MATOUT"});
  Subscriber mf("mf", "MurvSrcFeatureMFM", {"MAPOUT", "SRCOUT"});
  Subscriber sx("sx", "MurvSorvex", {"MAPOUT"});

  BackgroundCommand pubs[] = {
      BackgroundCommand(rostopicPub("murvsource", "MurvSource",
                                    "{header: {stamp: {secs: 5, nsecs: 6999}}, count: 1, exist_src_num: 3, "
                                    "src: [{id: 1, power: 2.5, x: 1.0, y: 2.0, z: 3.0}, {id: 2}]}")),
      BackgroundCommand(rostopicPub("murvsrcwave", "MurvSrcWave",
                                    "{header: {stamp: {secs: 9}}, exist_src_num: -1, "
                                    "src: [{id: 1, length: 2, wavedata: [1.0, 2.0]}]}")),
      BackgroundCommand(rostopicPub("murvwave", "MurvWave",
                                    "{header: {stamp: {secs: 3}}, nch: 4, length: 5, data_bytes: -1, "
                                    "src: [{wavedata: [1.5, 2.5, 3.5]}, {wavedata: [4.5]}]}")),
      BackgroundCommand(rostopicPub("murvfeature", "MurvFeature",
                                    "{header: {stamp: {secs: 4}}, exist_src_num: 2, src: ["
                                    "{id: 7, length: 10, featuredata: [1, 2, 3, 4, 5, 6, 7]}, "
                                    "{id: 8, length: -3, featuredata: [1]}, {id: 9, length: 1, featuredata: [1]}]}")),
      BackgroundCommand(rostopicPub("murvfft", "MurvFFT",
                                    "{header: {stamp: {secs: 13}}, nch: -5, length: 2, "
                                    "src: [{fftdata_real: [1, 2], fftdata_imag: [3, 4]}]}")),
      BackgroundCommand(rostopicPub("murvsrcfeaturemfm", "MurvSrcFeatureMFM",
                                    "{header: {stamp: {secs: 6}}, exist_src_num: 1, src: [{id: 5, length_feature: 9, "
                                    "featuredata_feature: [9], length_mfm: 5, featuredata_mfm: [0.5, 0.25, "
                                    "0.125]}]}")),
      BackgroundCommand(rostopicPub("murvsorvex", "MurvSorvex",
                                    "{header: {stamp: {secs: 11, nsecs: 999999999}}, src: [{id: 4, azimuth: 30.5, "
                                    "elevation: -10, status: -1, aux1: -7, entries: [{entry_text: \"yes\", "
                                    "entry_index: 2, entry_subtext: \"\", entry_value: 0.5}]}]}")),
  };

  int count = 0;
  int c = firstConverted(so, count);
  ASSERT_GE(c, 0) << pubs[0].output();
  EXPECT_EQ(so.stamp(c), std::make_pair(5L, 6L));
  const Vector<ObjectRef>& sources = MURV::object_cast<Vector<ObjectRef>>(so.get(so.srcout, c));
  ASSERT_EQ(sources.size(), 2u) << "exist_src_num 3 of two sources";
  EXPECT_EQ(MURV::object_cast<MURV::Source>(sources[0]).power, 2.5f);
  EXPECT_EQ(MURV::object_cast<MURV::Source>(sources[1]).id, 2);

  c = firstConverted(sw, count);
  ASSERT_GE(c, 0) << pubs[1].output();
  EXPECT_TRUE(MURV::object_cast<Vector<ObjectRef>>(sw.get(sw.srcout, c)).empty()) << "exist_src_num -1";
  EXPECT_TRUE((MURV::object_cast<Map<int, ObjectRef>>(sw.get(sw.mapout, c)).empty()));

  c = firstConverted(wv, count);
  ASSERT_GE(c, 0) << pubs[2].output();
  const Matrix<float>& m = MURV::object_cast<Matrix<float>>(wv.get(wv.matout, c));
  EXPECT_EQ(m.rows, 4) << "nch 4 of two channels";
  EXPECT_EQ(m.cols, 5) << "length 5 of at most three samples";
  EXPECT_EQ(std::vector<float>(m.data, m.data + m.msize()),
            (std::vector<float>{1.5f, 2.5f, 3.5f, 0, 0, 4.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  c = firstConverted(fe, count);
  ASSERT_GE(c, 0) << pubs[3].output();
  Map<int, ObjectRef>& features = MURV::object_cast<Map<int, ObjectRef>>(fe.get(fe.mapout, c));
  ASSERT_EQ(features.size(), 2u);
  EXPECT_EQ(static_cast<std::vector<float>&>(MURV::object_cast<Vector<float>>(features[7])),
            (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 0, 0, 0}))
      << "length 10 of seven values";
  EXPECT_TRUE(MURV::object_cast<Vector<float>>(features[8]).empty()) << "length -3";

  c = firstConverted(ff, count);
  ASSERT_GE(c, 0) << pubs[4].output();
  EXPECT_EQ(MURV::object_cast<Matrix<std::complex<float>>>(ff.get(ff.matout, c)).msize(), 0) << "nch -5";

  c = firstConverted(mf, count);
  ASSERT_GE(c, 0) << pubs[5].output();
  Map<int, ObjectRef>& mfm = MURV::object_cast<Map<int, ObjectRef>>(mf.get(mf.mapout, c));
  EXPECT_EQ(static_cast<std::vector<float>&>(MURV::object_cast<Vector<float>>(mfm[5])),
            (std::vector<float>{0.5f, 0.25f, 0.125f, 0, 0}));
  EXPECT_EQ(MURV::object_cast<Vector<ObjectRef>>(mf.get(mf.srcout, c)).size(), 1u);

  c = firstConverted(sx, count);
  ASSERT_GE(c, 0) << pubs[6].output();
  EXPECT_EQ(sx.stamp(c), std::make_pair(11L, 999999L));
  Map<int, ObjectRef>& results = MURV::object_cast<Map<int, ObjectRef>>(sx.get(sx.mapout, c));
  const RecogSource& r = MURV::object_cast<RecogSource>(results[4]);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.aux1, -7);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].entry_text, "yes");
  EXPECT_EQ(r.entries[0].entry_index, 2);
  EXPECT_EQ(r.entries[0].entry_value, 0.5f);

  for (BackgroundCommand& p : pubs) EXPECT_TRUE(p.running()) << p.output();
}
