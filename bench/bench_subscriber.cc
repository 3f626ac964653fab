// What receiving one frame costs the subscriber: reading the body as roscpp
// hands it over (a fresh message each time), the callback holder's copy into
// its FIFO, and the conversion into host objects when calculate() takes it,
// against a plain memcpy of the frame's samples.
#include <complex>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>

#include "ros/MsgFifo.h"
#include "convert/MsgToHost.h"
#include "convert/MurvMsgReader.h"
#include "nodes/callbackFuncMurvMsgsSubscriber.h"

namespace {

namespace ser = ros::serialization;

murv_msgs::MurvWave waveFrame(int nch, int len) {
  murv_msgs::MurvWave m;
  m.header.frame_id = "mic";
  m.nch = nch;
  m.length = len;
  m.data_bytes = 4 * nch * len;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c) m.src[c].wavedata.assign(len, 0.001f * c);
  return m;
}

murv_msgs::MurvFFT fftFrame(int nch, int len) {
  murv_msgs::MurvFFT m;
  m.header.frame_id = "mic";
  m.nch = nch;
  m.length = len;
  m.src.resize(nch);
  for (int c = 0; c < nch; ++c) {
    m.src[c].fftdata_real.assign(len, 0.5f + c);
    m.src[c].fftdata_imag.assign(len, -0.5f - c);
  }
  return m;
}

// Sources by samples per source.
murv_msgs::MurvSrcWave sourceFrame(int sources, int len) {
  murv_msgs::MurvSrcWave m;
  m.header.frame_id = "mic";
  m.exist_src_num = sources;
  m.src.resize(sources);
  for (int k = 0; k < sources; ++k) {
    m.src[k].id = k;
    m.src[k].x = 1.0f;
    m.src[k].length = len;
    m.src[k].data_bytes = 2 * len;
    m.src[k].wavedata.assign(len, static_cast<float>(k));
  }
  return m;
}

template <class M> M frame(int a, int b);
template <> murv_msgs::MurvWave frame(int a, int b) { return waveFrame(a, b); }
template <> murv_msgs::MurvFFT frame(int a, int b) { return fftFrame(a, b); }
template <> murv_msgs::MurvSrcWave frame(int a, int b) { return sourceFrame(a, b); }

template <class M> constexpr int floatsPerPoint() { return std::is_same_v<M, murv_msgs::MurvFFT> ? 2 : 1; }

std::size_t payloadBytes(const benchmark::State& state, int perPoint) {
  return static_cast<std::size_t>(state.range(0)) * state.range(1) * perPoint * sizeof(float);
}

void queue(callbackFuncMurvMsgsSubscriber& h, const murv_msgs::MurvWave::ConstPtr& m) { h.cb_murvwave(m); }
void queue(callbackFuncMurvMsgsSubscriber& h, const murv_msgs::MurvFFT::ConstPtr& m) { h.cb_murvfft(m); }
void queue(callbackFuncMurvMsgsSubscriber& h, const murv_msgs::MurvSrcWave::ConstPtr& m) { h.cb_murvsrcwave(m); }

std::deque<murv_msgs::MurvWave>& fifoOf(callbackFuncMurvMsgsSubscriber& h, murv_msgs::MurvWave*) {
  return h.fifo_murvwave;
}
std::deque<murv_msgs::MurvFFT>& fifoOf(callbackFuncMurvMsgsSubscriber& h, murv_msgs::MurvFFT*) {
  return h.fifo_murvfft;
}
std::deque<murv_msgs::MurvSrcWave>& fifoOf(callbackFuncMurvMsgsSubscriber& h, murv_msgs::MurvSrcWave*) {
  return h.fifo_murvsrcwave;
}

// What calculate() makes of each type: the matrix, or the sources and the
// per-source map.
MURV::ObjectRef toHost(const murv_msgs::MurvWave& m) { return murvmsg::toMatrix(m); }
MURV::ObjectRef toHost(const murv_msgs::MurvFFT& m) { return murvmsg::toMatrix(m); }
MURV::ObjectRef toHost(const murv_msgs::MurvSrcWave& m) {
  MURV::Vector<MURV::ObjectRef>* sources = new MURV::Vector<MURV::ObjectRef>;
  MURV::ObjectRef keep(sources);
  murvmsg::appendSources(*sources, m);
  MURV::Map<int, MURV::ObjectRef>* map = new MURV::Map<int, MURV::ObjectRef>;
  MURV::ObjectRef owner(map);
  murvmsg::addMapEntries(*map, m);
  return owner;
}

template <class M>
void BM_Receive(benchmark::State& state) {
  const M msg = frame<M>(state.range(0), state.range(1));
  ros::SerializedMessage sm = ser::serializeMessage(msg);
  const uint32_t bodyLength = static_cast<uint32_t>(sm.num_bytes - 4);
  callbackFuncMurvMsgsSubscriber holder(5, false);
  std::deque<M>& fifo = fifoOf(holder, static_cast<M*>(nullptr));
  for (auto _ : state) {
    // roscpp's deserialize step, through the bounded reader
    boost::shared_ptr<M> delivered = boost::make_shared<M>();
    murvDeserialize(sm.message_start, bodyLength, *delivered);
    // the ROS callback
    queue(holder, delivered);
    delivered.reset();
    // calculate()
    murvmsg::useOldest("bench", holder.fifo_lock, fifo, false, [](const M& m, std::size_t) {
      MURV::ObjectRef out = toHost(m);
      benchmark::DoNotOptimize(out.get());
    });
  }
  state.SetBytesProcessed(state.iterations() * payloadBytes(state, floatsPerPoint<M>()));
}

template <class M>
void BM_ReceivePayloadMemcpy(benchmark::State& state) {
  const std::size_t bytes = payloadBytes(state, floatsPerPoint<M>());
  std::vector<uint8_t> src(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

void channelFrames(benchmark::internal::Benchmark* b) {
  b->ArgNames({"nch", "len"})->Args({8, 512})->Args({16, 512})->Args({64, 1024});
}
void sourceFrames(benchmark::internal::Benchmark* b) { b->ArgNames({"sources", "len"})->Args({4, 512}); }

}  // namespace

BENCHMARK_TEMPLATE(BM_Receive, murv_msgs::MurvWave)->Apply(channelFrames);
BENCHMARK_TEMPLATE(BM_ReceivePayloadMemcpy, murv_msgs::MurvWave)->Apply(channelFrames);
BENCHMARK_TEMPLATE(BM_Receive, murv_msgs::MurvFFT)->Apply(channelFrames);
BENCHMARK_TEMPLATE(BM_ReceivePayloadMemcpy, murv_msgs::MurvFFT)->Apply(channelFrames);
BENCHMARK_TEMPLATE(BM_Receive, murv_msgs::MurvSrcWave)->Apply(sourceFrames);
BENCHMARK_TEMPLATE(BM_ReceivePayloadMemcpy, murv_msgs::MurvSrcWave)->Apply(sourceFrames);
