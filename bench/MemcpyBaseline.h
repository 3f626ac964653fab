#ifndef MURV_BENCH_MEMCPY_BASELINE_H
#define MURV_BENCH_MEMCPY_BASELINE_H

#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

// The yardstick of the publishing benchmarks: a plain memcpy of a payload of
// the given size into a buffer that already exists.
inline void memcpyLoop(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> src(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

#endif
