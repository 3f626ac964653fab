#ifndef MURV_TEST_SAMPLE_MSGS_H
#define MURV_TEST_SAMPLE_MSGS_H

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvInt.h>
#include <murv_msgs/MurvIntSrv.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>
#include <murv_params/DODA.h>
#include <murv_params/DiradureZIDID.h>
#include <murv_params/SourceTracker.h>

#include <gtest/gtest.h>

// One filled-in value of each type, with every list non-empty somewhere and
// some lists empty, and count fields that do not always match their lists.
template <class M>
M sample();

template <class H>
void fillHeader(H& h, const char* frame) {
  h.seq = 5;
  h.stamp.sec = 1700000000;
  h.stamp.nsec = 123456000;
  h.frame_id = frame;
}

template <class V>
void fillSource(V& v, int id) {
  v.id = id;
  v.power = 30.5f + id;
  v.x = 0.5f;
  v.y = -0.25f * id;
  v.z = 1.0f;
  v.azimuth = 45.0f * id;
  v.elevation = -10.0f;
}

template <>
inline murv_msgs::MurvWave sample() {
  murv_msgs::MurvWave m;
  fillHeader(m.header, "abc");
  m.count = 7;
  m.nch = 2;
  m.length = 3;
  m.data_bytes = 24;
  m.src.resize(2);
  m.src[0].wavedata = {1.0f, 2.0f, 3.0f};
  m.src[1].wavedata = {4.0f, 5.0f, 6.0f};
  return m;
}

template <>
inline murv_msgs::MurvFFT sample() {
  murv_msgs::MurvFFT m;
  fillHeader(m.header, "mic");
  m.count = 3;
  m.nch = 3;  // one more than the list holds
  m.length = 2;
  m.src.resize(2);
  m.src[0].fftdata_real = {1.0f, -1.0f};
  m.src[0].fftdata_imag = {0.5f, 0.25f};
  m.src[1].fftdata_real = {7.0f};
  return m;
}

template <>
inline murv_msgs::MurvFeature sample() {
  murv_msgs::MurvFeature m;
  fillHeader(m.header, "");
  m.count = 11;
  m.exist_src_num = 2;
  m.src.resize(2);
  m.src[0].id = 4;
  m.src[0].length = 3;
  m.src[0].data_bytes = 12;
  m.src[0].featuredata = {0.1f, 0.2f, 0.3f};
  m.src[1].id = 9;
  return m;
}

template <>
inline murv_msgs::MurvSource sample() {
  murv_msgs::MurvSource m;
  fillHeader(m.header, "abc");
  m.count = 12;
  m.exist_src_num = 2;
  m.src.resize(2);
  fillSource(m.src[0], 1);
  fillSource(m.src[1], 2);
  return m;
}

template <>
inline murv_msgs::MurvSrcWave sample() {
  murv_msgs::MurvSrcWave m;
  fillHeader(m.header, "w");
  m.count = 1;
  m.exist_src_num = 1;
  m.src.resize(1);
  fillSource(m.src[0], 3);
  m.src[0].length = 4;
  m.src[0].data_bytes = 16;
  m.src[0].wavedata = {0.0f, 1.0f, -1.0f, 0.5f};
  return m;
}

template <>
inline murv_msgs::MurvSrcFFT sample() {
  murv_msgs::MurvSrcFFT m;
  fillHeader(m.header, "fft");
  m.count = 2;
  m.exist_src_num = 0;  // disagrees with the list
  m.src.resize(1);
  fillSource(m.src[0], 6);
  m.src[0].length = 2;
  m.src[0].fftdata_real = {2.0f, 3.0f};
  m.src[0].fftdata_imag = {-2.0f, -3.0f};
  return m;
}

template <>
inline murv_msgs::MurvSrcFeature sample() {
  murv_msgs::MurvSrcFeature m;
  fillHeader(m.header, "feat");
  m.count = 5;
  m.exist_src_num = 2;
  m.src.resize(2);
  fillSource(m.src[0], 1);
  m.src[0].length = 2;
  m.src[0].data_bytes = 8;
  m.src[0].featuredata = {8.0f, 9.0f};
  fillSource(m.src[1], 2);
  return m;
}

template <>
inline murv_msgs::MurvSrcFeatureMFMVal sample() {
  murv_msgs::MurvSrcFeatureMFMVal v;
  fillSource(v, 4);
  v.length_feature = 3;
  v.data_bytes_feature = 12;
  v.featuredata_feature = {1.5f, 2.5f, 3.5f};
  v.length_mfm = 2;
  v.data_bytes_mfm = 8;
  v.featuredata_mfm = {0.25f, 0.75f};
  return v;
}

template <>
inline murv_msgs::MurvSrcFeatureMFM sample() {
  murv_msgs::MurvSrcFeatureMFM m;
  fillHeader(m.header, "mfm");
  m.count = 8;
  m.exist_src_num = 1;
  m.src.push_back(sample<murv_msgs::MurvSrcFeatureMFMVal>());
  return m;
}

template <>
inline murv_msgs::MurvInt sample() {
  murv_msgs::MurvInt m;
  m.data = -1234567890123LL;
  return m;
}

template <>
inline murv_msgs::MurvIntSrvRequest sample() {
  murv_msgs::MurvIntSrvRequest m;
  m.first = 2;
  m.second = 3;
  return m;
}

template <>
inline murv_msgs::MurvIntSrvResponse sample() {
  murv_msgs::MurvIntSrvResponse m;
  m.sum = 5;
  return m;
}

template <>
inline murv_msgs::MurvSorvex sample() {
  murv_msgs::MurvSorvex m;
  fillHeader(m.header, "rec");
  m.src.resize(2);
  m.src[0].id = 1;
  m.src[0].azimuth = 30.0f;
  m.src[0].elevation = 5.0f;
  m.src[0].aux1 = -1;
  m.src[0].aux2 = 2;
  m.src[0].aux3 = 3;
  m.src[0].aux4 = 4;
  m.src[0].status = -1;
  m.src[0].entries.resize(2);
  m.src[0].entries[0].entry_text = "hello";
  m.src[0].entries[0].entry_index = 0;
  m.src[0].entries[0].entry_subtext = "greeting";
  m.src[0].entries[0].entry_value = 0.9f;
  m.src[0].entries[1].entry_index = 1;  // two empty strings
  m.src[1].id = 2;                      // no entries
  return m;
}

template <>
inline murv_params::DiradureZIDID sample() {
  murv_params::DiradureZIDID m;
  m.num_source = 2;
  m.min_deg = -180;
  m.max_deg = 180;
  m.lower_bound_frequency = 500;
  m.upper_bound_frequency = 2800;
  return m;
}

template <>
inline murv_params::SourceTracker sample() {
  murv_params::SourceTracker m;
  m.thresh = 25.0f;
  m.pause_length = 1200.0f;
  m.min_src_interval = 20.0f;
  m.min_tfindex_interval = 6.0f;
  m.compare_mode = murv_params::SourceTracker::TFINDEX;
  return m;
}

template <>
inline murv_params::DODA sample() {
  murv_params::DODA m;
  m.lx = 0.85f;
  m.time_constant = 16000.0f;
  return m;
}

using AllMsgTypes =
    ::testing::Types<murv_msgs::MurvWave, murv_msgs::MurvFFT, murv_msgs::MurvFeature, murv_msgs::MurvSource,
                     murv_msgs::MurvSrcWave, murv_msgs::MurvSrcFFT, murv_msgs::MurvSrcFeature,
                     murv_msgs::MurvSrcFeatureMFM, murv_msgs::MurvInt, murv_msgs::MurvIntSrvRequest,
                     murv_msgs::MurvIntSrvResponse, murv_msgs::MurvSorvex, murv_params::DiradureZIDID,
                     murv_params::SourceTracker, murv_params::DODA>;

#endif
