// How long a stop takes against a master on a slow link, and what it leaves
// there: the runner runs an example network against a private rosmaster
// behind a proxy that holds every call for the given latency, and gets a
// SIGINT during the network's set-up (as its generator says "ROS
// initialized...") or once it runs (its first count printed). Measured:
// the time from the signal to the runner's exit; counted: the entries the
// master still holds for the network's ROS node (its topics, services and
// the node itself), and whether the runner's last resort ended the run
// ("did not end within").
//
// A default run measures latencies of 0 and 50 ms per call only (about
// 20 s). The long ones (0.2, 0.5 and 0.9 s per call: about ten minutes in
// all, a case up to a minute and a half) are registered when the command
// line names this benchmark in a filter:
//
//   murv_bench --benchmark_filter=StopTime
//   murv_bench --benchmark_filter='StopTime/RosMurvParamsDynReconf/500'
//
// The arguments are the latency in milliseconds and the moment of the
// signal (0: set-up, 1: running).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "ExampleNetworks.h"
#include "MasterProxy.h"
#include "RosMaster.h"

namespace {

const char* const examples[] = {"RosMurvIntPublisher", "RosMurvParamsSubscriber", "RosMurvIntDynReconf",
                                "RosMurvParamsDynReconf", "RosAddMurvIntServer"};

// The command line, its arguments joined by NULs.
std::string commandLine() {
  std::ifstream in("/proc/self/cmdline");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One master for every case: each case's network joins under a name of its own.
murvtest::RosMaster& sharedMaster() {
  static murvtest::RosMaster master;
  master.start();
  return master;
}

void BM_StopTime(benchmark::State& state, const std::string& example) {
  const auto latency = std::chrono::milliseconds(state.range(0));
  const bool running = state.range(1) == 1;
  static int runs = 0;
  for (auto _ : state) {
    murvtest::RosMaster& master = sharedMaster();
    murvtest::MasterProxy proxy(master.port());
    proxy.hold("", latency);
    const std::string rosName = "murv_stop_" + std::to_string(getpid()) + "_" + std::to_string(++runs);
    size_t replaced = 0;
    const std::string net = std::string(MURV_BINARY_DIR) + "/bench-stop.net";
    std::ofstream(net) << murvtest::exampleNetwork(
        example,
        {murvtest::paramChange("ros", "NODE_NAME string " + rosName + "\noutput ros VALUE"),
         {"iterations", "iterations 1000000"}},
        replaced);
    setenv("ROS_MASTER_URI", proxy.uri().c_str(), 1);
    murvtest::BackgroundCommand runner(std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_EXAMPLES_PATH +
                                       " --toolbox " + MURV_TOOLBOX_PATH + " " + net);
    const char* const moment = running ? "[0] " : "ROS initialized...";
    if (replaced != 2 || !murvtest::waitFor([&] { return runner.output().find(moment) != std::string::npos; },
                                            std::chrono::seconds(120))) {
      state.SkipWithError(("the network did not reach its moment: " + runner.output()).c_str());
      break;
    }
    const auto signalled = std::chrono::steady_clock::now();
    runner.signal(SIGINT);
    const int status = runner.waitExit(std::chrono::seconds(120));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    setenv("ROS_MASTER_URI", master.uri().c_str(), 1);
    const std::string held = master.registrationsOf(rosName);
    double left = static_cast<double>(std::count(held.begin(), held.end(), '\n'));
    if (!master.lookupNode("/" + rosName).empty()) ++left;
    state.SetIterationTime(took);
    state.counters["left"] = left;
    state.counters["last_resort"] = runner.output().find("did not end within") != std::string::npos ? 1 : 0;
    state.counters["status"] = status;
  }
}

// The cases, registered as the program starts.
[[maybe_unused]] const bool registered = [] {
  const std::string args = commandLine();
  const size_t filter = args.find("--benchmark_filter=");
  const bool longOnes = filter != std::string::npos && args.find("StopTime", filter) != std::string::npos;
  for (const char* example : examples) {
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark((std::string("BM_StopTime/") + example).c_str(), BM_StopTime, example);
    for (int latency : {0, 50, 200, 500, 900})
      for (int running : {0, 1})
        if (latency <= 50 || longOnes) b->Args({latency, running});
    b->ArgNames({"ms", "running"})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
