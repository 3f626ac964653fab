// The wait of a RosNodeGenerator for a master that does not answer: a
// loopback server that accepts every connection and never answers, as a
// master host that is still booting may, possibly for hours. Measured per
// second of waiting: the wake-ups and CPU time of the thread that waits,
// and the wake-ups of the whole process (the wait's own helper threads
// included). The wait is ended by a SIGINT that the bench's own handler
// takes after the toolbox's.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "BaseException.h"
#include "Node.h"
#include "RosMaster.h"
#include "String.h"
#include "ThreadCpu.h"

namespace {

// Voluntary context switches of every thread the process has had.
long processWakeups() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_nvcsw;
}

void takeSignal(int) {}

// What one wait measured, in the process that waited.
struct Measured {
  double waited, threadCpu;
  long threadWakeups, processWakeups;
};

// Waits for the master at uri for about seconds, then ends the wait with a
// SIGINT to the waiting thread.
Measured waitFor(const std::string& uri, double seconds) {
  setenv("ROS_MASTER_URI", uri.c_str(), 1);
  setenv("ROS_IP", "127.0.0.1", 1);
  signal(SIGINT, takeSignal);
  Measured m{};
  pthread_t waiter{};
  std::atomic<bool> waiting{false};
  std::thread waitingThread([&] {
    waiter = pthread_self();
    MURV::ParameterSet params;
    params.add("NODE_NAME", MURV::ObjectRef(new MURV::String("murv_bench_wait")));
    const double cpu0 = threadCpuSeconds();
    const long wake0 = murvtest::wakeupsOf();
    std::streambuf* quiet = std::cerr.rdbuf(nullptr);
    waiting = true;
    try {
      MURV::Node::getFactoryNamed("RosNodeGenerator")->Create("ros", params)->unref();
    } catch (MURV::BaseException* e) {
      delete e;
    }
    std::cerr.rdbuf(quiet);
    m.threadCpu = threadCpuSeconds() - cpu0;
    m.threadWakeups = murvtest::wakeupsOf() - wake0;
  });
  murvtest::waitFor([&] { return waiting.load(); });
  const long process0 = processWakeups();
  const auto begin = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  m.waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  m.processWakeups = processWakeups() - process0;
  pthread_kill(waiter, SIGINT);
  waitingThread.join();
  return m;
}

void BM_MasterWaitIdle(benchmark::State& state) {
  // Accepted by the kernel, never answered.
  const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0 || listen(server, 8) != 0) {
    state.SkipWithError("no loopback port");
    return;
  }
  const std::string uri = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  // Under a second in a short run: the wait is still measured, without its notice.
  std::ifstream cmdline("/proc/self/cmdline");
  const std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
  const size_t at = args.find("--benchmark_min_time=");
  const double seconds = at != std::string::npos && std::atof(args.c_str() + at + 21) < 0.5 ? 0.3 : 3.0;
  for (auto _ : state) {
    // In a process of its own: ROS keeps the first master address it is
    // given, and the benchmarks after this one need a real master.
    int out[2];
    if (pipe(out) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    const pid_t child = fork();
    if (child == 0) {
      const Measured m = waitFor(uri, seconds);
      _exit(write(out[1], &m, sizeof m) == sizeof m ? 0 : 1);
    }
    close(out[1]);
    Measured m{};
    const bool read = child > 0 && ::read(out[0], &m, sizeof m) == sizeof m;
    close(out[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    if (!read) {
      state.SkipWithError("the waiting process measured nothing");
      break;
    }
    state.SetIterationTime(m.waited);
    state.counters["thread_wakeups_per_s"] = static_cast<double>(m.threadWakeups) / m.waited;
    state.counters["thread_cpu_ms_per_s"] = m.threadCpu * 1e3 / m.waited;
    state.counters["process_wakeups_per_s"] = static_cast<double>(m.processWakeups) / m.waited;
  }
  close(server);
}

}  // namespace

BENCHMARK(BM_MasterWaitIdle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
