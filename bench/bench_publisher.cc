// One frame of RosMurvMsgsPublisher's work, from host objects to the bytes
// roscpp sends: the conversion into a fresh message and its serialisation,
// against a plain memcpy of the same payload into a buffer that exists.
#include <complex>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "convert/HostToMsg.h"
#include "MemcpyBaseline.h"

namespace {

namespace ser = ros::serialization;

void waveFrames(benchmark::internal::Benchmark* b) {
  b->ArgNames({"nch", "len"})->Args({8, 512})->Args({16, 512})->Args({64, 1024});
}

void BM_PublishWave(benchmark::State& state) {
  const int nch = static_cast<int>(state.range(0)), len = static_cast<int>(state.range(1));
  MURV::Matrix<float> wave(nch, len);
  for (int i = 0; i < nch * len; ++i) wave.data[i] = 0.001f * i;
  for (auto _ : state) {
    hosttomsg::WaveFrame msg;
    msg.header.frame_id = "mic";
    hosttomsg::fillWave(msg, wave, false);
    ros::SerializedMessage sm = ser::serializeMessage(msg);
    benchmark::DoNotOptimize(sm.buf.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nch * len * sizeof(float)));
}

void BM_PublishWaveMemcpy(benchmark::State& state) {
  memcpyLoop(state, static_cast<size_t>(state.range(0) * state.range(1)) * sizeof(float));
}

void BM_PublishFFT(benchmark::State& state) {
  const int nch = static_cast<int>(state.range(0)), len = static_cast<int>(state.range(1));
  MURV::Matrix<std::complex<float> > fft(nch, len);
  for (int i = 0; i < nch * len; ++i) fft.data[i] = std::complex<float>(0.5f * i, -0.25f * i);
  for (auto _ : state) {
    hosttomsg::FFTFrame msg;
    msg.header.frame_id = "mic";
    hosttomsg::fillFFT(msg, fft, false);
    ros::SerializedMessage sm = ser::serializeMessage(msg);
    benchmark::DoNotOptimize(sm.buf.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nch * len * 2 * sizeof(float)));
}

void BM_PublishFFTMemcpy(benchmark::State& state) {
  memcpyLoop(state, static_cast<size_t>(state.range(0) * state.range(1)) * 2 * sizeof(float));
}

// Four sources, each with a wave of 1024 samples of which ADVANCE 512 go
// out, a 257-bin spectrum, 40 features and 40 reliabilities.
const int kSources = 4, kWave = 1024, kAdvance = 512, kBins = 257, kFeatures = 40;

size_t sourcePayloadBytes() {
  // Per source: the samples, real and imaginary bins, the features in
  // MurvSrcFeature and again in MurvSrcFeatureMFM, the reliabilities.
  return static_cast<size_t>(kSources) * (kAdvance + 2 * kBins + 3 * kFeatures) * sizeof(float);
}

void BM_PublishSources(benchmark::State& state) {
  MURV::Vector<MURV::ObjectRef> list;
  hosttomsg::SourceMap waves, ffts, features, reliabilities;
  for (int k = 0; k < kSources; ++k) {
    MURV::Source* s = new MURV::Source;
    s->id = 10 + k;
    s->x[0] = 1.0f + k;
    s->x[1] = 0.5f * k;
    s->x[2] = 0.25f;
    s->power = 30.0f;
    list.push_back(MURV::ObjectRef(s));
    MURV::Vector<float>* w = new MURV::Vector<float>(kWave);
    for (int i = 0; i < kWave; ++i) (*w)[i] = 100.0f * i - 30000.0f;
    waves[s->id] = MURV::ObjectRef(w);
    ffts[s->id] = MURV::ObjectRef(new MURV::Vector<std::complex<float> >(kBins, std::complex<float>(1.0f, -1.0f)));
    features[s->id] = MURV::ObjectRef(new MURV::Vector<float>(kFeatures, 0.5f));
    reliabilities[s->id] = MURV::ObjectRef(new MURV::Vector<float>(kFeatures, 0.75f));
  }
  hosttomsg::SourceMaps maps;
  maps.wave = &waves;
  maps.fft = &ffts;
  maps.feature = &features;
  maps.reliability = &reliabilities;
  for (auto _ : state) {
    murv_msgs::MurvSource source;
    murv_msgs::MurvSrcWave wave;
    murv_msgs::MurvSrcFFT fft;
    murv_msgs::MurvSrcFeature feature;
    murv_msgs::MurvSrcFeatureMFM mfm;
    hosttomsg::fillSources(hosttomsg::SourceMessages{source, wave, fft, feature, mfm}, list, maps, kAdvance, false,
                           nullptr);
    ros::SerializedMessage a = ser::serializeMessage(source);
    ros::SerializedMessage b = ser::serializeMessage(wave);
    ros::SerializedMessage c = ser::serializeMessage(fft);
    ros::SerializedMessage d = ser::serializeMessage(feature);
    ros::SerializedMessage e = ser::serializeMessage(mfm);
    benchmark::DoNotOptimize(a.buf.get());
    benchmark::DoNotOptimize(b.buf.get());
    benchmark::DoNotOptimize(c.buf.get());
    benchmark::DoNotOptimize(d.buf.get());
    benchmark::DoNotOptimize(e.buf.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sourcePayloadBytes()));
}

void BM_PublishSourcesMemcpy(benchmark::State& state) { memcpyLoop(state, sourcePayloadBytes()); }

}  // namespace

BENCHMARK(BM_PublishWave)->Apply(waveFrames);
BENCHMARK(BM_PublishWaveMemcpy)->Apply(waveFrames);
BENCHMARK(BM_PublishFFT)->Apply(waveFrames);
BENCHMARK(BM_PublishFFTMemcpy)->Apply(waveFrames);
BENCHMARK(BM_PublishSources);
BENCHMARK(BM_PublishSourcesMemcpy);
