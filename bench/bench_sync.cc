// What SyncMurvMsgsAndJointState spends on one frame once it has it: the
// pairing (a scan of the joint-state FIFO and the copy of the state in
// force) and the conversion of an 8 x 512 MurvWave into a host matrix, with
// 100 joint states buffered; beside it, a plain memcpy of the frame's
// samples, the least any conversion can cost.
#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include <cstring>
#include <vector>

#include "convert/MsgToHost.h"
#include "nodes/callbackFuncSyncMurvMsgsAndJointState.h"

namespace {

const int channels = 8, samples = 512, jointStates = 100;

murv_msgs::MurvWave frame() {
  murv_msgs::MurvWave m;
  m.header.stamp = ros::Time(999, 0);
  m.nch = channels;
  m.length = samples;
  m.src.resize(channels);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < samples; ++i) m.src[c].wavedata.push_back(float(c * samples + i));
  return m;
}

void BM_SyncPairAndConvert(benchmark::State& state) {
  callbackFuncSyncRosJointState joint(jointStates + 1, false);
  for (int j = 0; j < jointStates; ++j) {
    sensor_msgs::JointState s;
    s.header.stamp = ros::Time(1000, j * 1000000u);
    s.name.assign(7, "joint");
    s.position.assign(7, 0.5 * j);
    s.velocity.assign(7, -0.5 * j);
    joint.cb(boost::make_shared<const sensor_msgs::JointState>(s));
  }
  // The frame is older than every joint state but the default one: the
  // whole FIFO is scanned and nothing is removed, so every round is alike.
  const murv_msgs::MurvWave m = frame();
  for (auto _ : state) {
    callbackFuncSyncRosJointState::InForce paired = joint.takeInForce(m.header.stamp);
    MURV::ObjectRef matrix = murvmsg::toMatrix(m);
    benchmark::DoNotOptimize(paired.state.position.data());
    benchmark::DoNotOptimize(matrix.get());
  }
  state.SetBytesProcessed(state.iterations() * channels * samples * sizeof(float));
}
BENCHMARK(BM_SyncPairAndConvert);

void BM_SyncFrameMemcpy(benchmark::State& state) {
  const murv_msgs::MurvWave m = frame();
  std::vector<float> out(channels * samples);
  for (auto _ : state) {
    for (int c = 0; c < channels; ++c)
      std::memcpy(out.data() + c * samples, m.src[c].wavedata.data(), samples * sizeof(float));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * channels * samples * sizeof(float));
}
BENCHMARK(BM_SyncFrameMemcpy);

}  // namespace
