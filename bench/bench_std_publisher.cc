// One frame of RosStdMsgsPublisher's work on a 64 x 1024 float matrix, from
// the host object to the bytes roscpp sends, as Float32MultiArray and as
// Float64MultiArray, against a plain memcpy of the matrix's values.
#include <benchmark/benchmark.h>

#include "Matrix.h"
#include "ObjectRef.h"
#include "MemcpyBaseline.h"
#include "convert/StdMsgsConversion.h"

namespace {

const int kRows = 64, kCols = 1024;

void publishMatrixAs(benchmark::State& state, const char* type) {
  MURV::Matrix<float>* m = new MURV::Matrix<float>(kRows, kCols);
  const MURV::ObjectRef in(m);
  for (int i = 0; i < kRows * kCols; ++i) m->data[i] = 0.001f * i;
  // The publisher sees only an object: its type is found at run time.
  MURV::Object* object = in.get();
  benchmark::DoNotOptimize(object);
  for (auto _ : state) {
    stdmsgs::convert(object, type, [](const auto& msg) {
      ros::SerializedMessage sm = ros::serialization::serializeMessage(msg);
      benchmark::DoNotOptimize(sm.buf.get());
    });
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRows * kCols * 4);
}

void BM_StdFloat32MultiArray(benchmark::State& state) { publishMatrixAs(state, "Float32MultiArray"); }
void BM_StdFloat64MultiArray(benchmark::State& state) { publishMatrixAs(state, "Float64MultiArray"); }
void BM_StdMatrixMemcpy(benchmark::State& state) { memcpyLoop(state, size_t(kRows) * kCols * sizeof(float)); }

}  // namespace

BENCHMARK(BM_StdFloat32MultiArray);
BENCHMARK(BM_StdFloat64MultiArray);
BENCHMARK(BM_StdMatrixMemcpy);
