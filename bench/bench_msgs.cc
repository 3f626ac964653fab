// Serializing and reading audio frames against a plain memcpy of the same
// samples. "Warm" reuses the destination (a buffer, or a message whose lists
// already have room); "Fresh" allocates it anew each time, as publishing and
// roscpp's per-message deserialization do.
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvWave.h>

#include "convert/MurvMsgReader.h"

namespace {

namespace ser = ros::serialization;

murv_msgs::MurvWave makeWave(int nch, int length) {
  murv_msgs::MurvWave m;
  m.header.frame_id = "mic";
  m.nch = nch;
  m.length = length;
  m.data_bytes = 4 * nch * length;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c) {
    m.src[c].wavedata.resize(length);
    for (int i = 0; i < length; ++i) m.src[c].wavedata[i] = 0.001f * (c * length + i);
  }
  return m;
}

murv_msgs::MurvFFT makeFFT(int nch, int length) {
  murv_msgs::MurvFFT m;
  m.header.frame_id = "mic";
  m.nch = nch;
  m.length = length;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c) {
    m.src[c].fftdata_real.assign(length, 0.5f + c);
    m.src[c].fftdata_imag.assign(length, -0.5f - c);
  }
  return m;
}

template <class M>
M makeFrame(int nch, int length);
template <>
murv_msgs::MurvWave makeFrame(int nch, int length) { return makeWave(nch, length); }
template <>
murv_msgs::MurvFFT makeFrame(int nch, int length) { return makeFFT(nch, length); }

// Floats per channel and bin: one for a waveform, two for a spectrum.
template <class M>
constexpr int floatsPerPoint();
template <>
constexpr int floatsPerPoint<murv_msgs::MurvWave>() { return 1; }
template <>
constexpr int floatsPerPoint<murv_msgs::MurvFFT>() { return 2; }

size_t payloadBytes(const benchmark::State& state, int perPoint) {
  return static_cast<size_t>(state.range(0)) * state.range(1) * perPoint * sizeof(float);
}

template <class M>
void BM_Serialize(benchmark::State& state) {
  const M msg = makeFrame<M>(state.range(0), state.range(1));
  for (auto _ : state) {
    ros::SerializedMessage sm = ser::serializeMessage(msg);
    benchmark::DoNotOptimize(sm.buf.get());
  }
  state.SetBytesProcessed(state.iterations() * payloadBytes(state, floatsPerPoint<M>()));
}

template <class M>
void BM_ReadWarm(benchmark::State& state) {
  const M msg = makeFrame<M>(state.range(0), state.range(1));
  ros::SerializedMessage sm = ser::serializeMessage(msg);
  const uint32_t bodyLength = static_cast<uint32_t>(sm.num_bytes - 4);
  M out;
  for (auto _ : state) {
    murvDeserialize(sm.message_start, bodyLength, out);
    benchmark::DoNotOptimize(out.src.data());
  }
  state.SetBytesProcessed(state.iterations() * payloadBytes(state, floatsPerPoint<M>()));
}

template <class M>
void BM_ReadFresh(benchmark::State& state) {
  const M msg = makeFrame<M>(state.range(0), state.range(1));
  ros::SerializedMessage sm = ser::serializeMessage(msg);
  const uint32_t bodyLength = static_cast<uint32_t>(sm.num_bytes - 4);
  for (auto _ : state) {
    auto out = boost::make_shared<M>();
    murvDeserialize(sm.message_start, bodyLength, *out);
    benchmark::DoNotOptimize(out->src.data());
  }
  state.SetBytesProcessed(state.iterations() * payloadBytes(state, floatsPerPoint<M>()));
}

// roscpp's own reader on the same body, fresh message each time.
template <class M>
void BM_StockReadFresh(benchmark::State& state) {
  const M msg = makeFrame<M>(state.range(0), state.range(1));
  ros::SerializedMessage sm = ser::serializeMessage(msg);
  const uint32_t bodyLength = static_cast<uint32_t>(sm.num_bytes - 4);
  for (auto _ : state) {
    auto out = boost::make_shared<M>();
    ser::IStream stream(sm.message_start, bodyLength);
    ser::deserialize(stream, *out);
    benchmark::DoNotOptimize(out->src.data());
  }
  state.SetBytesProcessed(state.iterations() * payloadBytes(state, floatsPerPoint<M>()));
}

template <class M>
void BM_MemcpyWarm(benchmark::State& state) {
  const size_t bytes = payloadBytes(state, floatsPerPoint<M>());
  std::vector<uint8_t> src(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

template <class M>
void BM_MemcpyFresh(benchmark::State& state) {
  const size_t bytes = payloadBytes(state, floatsPerPoint<M>());
  std::vector<uint8_t> src(bytes, 1);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> dst(new uint8_t[bytes]);
    std::memcpy(dst.get(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

void frames(benchmark::internal::Benchmark* b) {
  b->ArgNames({"nch", "len"})->Args({8, 512})->Args({16, 512})->Args({64, 1024});
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Serialize, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_ReadWarm, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_ReadFresh, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_StockReadFresh, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_MemcpyWarm, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_MemcpyFresh, murv_msgs::MurvWave)->Apply(frames);
BENCHMARK_TEMPLATE(BM_Serialize, murv_msgs::MurvFFT)->Apply(frames);
BENCHMARK_TEMPLATE(BM_ReadWarm, murv_msgs::MurvFFT)->Apply(frames);
BENCHMARK_TEMPLATE(BM_ReadFresh, murv_msgs::MurvFFT)->Apply(frames);
BENCHMARK_TEMPLATE(BM_StockReadFresh, murv_msgs::MurvFFT)->Apply(frames);
BENCHMARK_TEMPLATE(BM_MemcpyWarm, murv_msgs::MurvFFT)->Apply(frames);
BENCHMARK_TEMPLATE(BM_MemcpyFresh, murv_msgs::MurvFFT)->Apply(frames);

BENCHMARK_MAIN();
