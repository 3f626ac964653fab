#ifndef MURV_BENCH_THREAD_CPU_H
#define MURV_BENCH_THREAD_CPU_H

#include <time.h>

// The CPU time the calling thread has used, in seconds.
inline double threadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

#endif
