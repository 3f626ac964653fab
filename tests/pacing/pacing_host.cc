// A host that is not the network runner and handles the stop signals
// itself: its SIGINT handler counts them, and the host goes on. Beside a
// RosNodeGenerator it makes one paced node at ROS_LOOP_RATE 10, takes one
// SIGINT while the node sleeps in its third iteration, then times the same
// node's next 10 iterations; it makes a second network, with a
// RosNodeGenerator and the same node, and times its first 10. It prints
//   same node SECONDS
//   new node SECONDS
//   host handler CALLS
//
// With worker, the host makes each network's nodes on its main thread and
// runs each network, of one iteration, on one worker thread of its own: the
// SIGINT comes in the first network's iteration, and it prints the time of
// the four networks after it, then the handler's calls:
//   new node SECONDS
//   host handler CALLS
//
//   murv-pacing-host RosMurvMsgsSubscriber|RosStdMsgsSubscriber [worker]
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "StdMsgsTestSupport.h"

namespace {

std::atomic<int> hostCalls{0};
void hostHandler(int) { ++hostCalls; }

// One SIGINT, once thread is blocked in a sleep of the steady-clock kind.
std::thread stopWhenAsleep(long thread) {
  return std::thread([thread] {
    murvtest::waitFor([&] { return murvtest::syscallOfThread(thread) == SYS_ppoll; }, std::chrono::seconds(20),
                      std::chrono::milliseconds(1));
    kill(getpid(), SIGINT);
  });
}

// A thread of the host's that runs each network handed to it, for as long
// as the process lives.
struct Worker {
  std::mutex m;
  std::condition_variable changed;
  std::function<void()> job;
  Worker() {
    std::thread([this] {
      std::unique_lock<std::mutex> lock(m);
      for (;;) {
        changed.wait(lock, [this] { return bool(job); });
        job();
        job = nullptr;
        changed.notify_all();
      }
    }).detach();
  }
  void run(std::function<void()> network) {
    std::unique_lock<std::mutex> lock(m);
    job = std::move(network);
    changed.notify_all();
    changed.wait(lock, [this] { return !job; });
  }
};

// A network's generator: ROS joins the process (again).
subtest::NodePtr joinRos() {
  subtest::NodePtr generator = subtest::createGenerator("murv_pacing_host");
  generator->initialize();
  return generator;
}

// One paced node, at ROS_LOOP_RATE 10.
struct Paced {
  subtest::NodePtr node;
  int output = -1;
  explicit Paced(const std::string& type) {
    const MURV::ObjectRef rate = streamtest::floatParam(10.0f);
    if (type == "RosMurvMsgsSubscriber") {
      node = subtest::createNode(type, "paced", subtest::subscriberParams("MurvWave", {{"ROS_LOOP_RATE", rate}}));
      output = node->translateOutput("TIMESTAMP");
    } else {
      node = subtest::createNode(type, "paced",
                                 stdtest::nodeParams(false, "Float32", "Vector<>", {{"ROS_LOOP_RATE", rate}}));
      output = node->translateOutput("OUTPUT");
    }
    node->initialize();
  }
  // Seconds that counts from first to first + iterations - 1 take.
  double time(int first, int iterations = 10) {
    const auto begin = std::chrono::steady_clock::now();
    for (int count = first; count < first + iterations; ++count) node->getOutput(output, count);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
};

// Each network made on the main thread and run on the worker, one
// iteration each; the first one's stopped.
double networksOnAWorker(const std::string& type) {
  static Worker& worker = *new Worker;  // its thread waits on it until the end
  double later = 0;
  for (int network = 0; network < 5; ++network) {
    const subtest::NodePtr generator = joinRos();
    Paced paced(type);
    worker.run([&] {
      if (network > 0) return void(later += paced.time(0, 1));
      std::thread stop = stopWhenAsleep(syscall(SYS_gettid));
      paced.time(0, 1);
      stop.join();
    });
  }
  return later;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string type = argc >= 2 ? argv[1] : "", mode = argc == 3 ? argv[2] : "";
  if ((type != "RosMurvMsgsSubscriber" && type != "RosStdMsgsSubscriber") || argc > 3 ||
      (argc == 3 && mode != "worker")) {
    std::cerr << "usage: murv-pacing-host RosMurvMsgsSubscriber|RosStdMsgsSubscriber [worker]" << std::endl;
    return 2;
  }
  signal(SIGINT, hostHandler);
  try {
    if (mode == "worker") {
      const double later = networksOnAWorker(type);
      std::cout << "new node " << later << "\nhost handler " << hostCalls << std::endl;
      return 0;
    }
    double same = 0;
    {
      const subtest::NodePtr generator = joinRos();
      Paced first(type);
      first.node->getOutput(first.output, 1);
      std::thread stop = stopWhenAsleep(getpid());
      first.node->getOutput(first.output, 2);
      stop.join();
      same = first.time(3);
    }
    // A new network after it: ROS joins the process again.
    const subtest::NodePtr generator = joinRos();
    const double made = Paced(type).time(0);
    std::cout << "same node " << same << "\nnew node " << made << "\nhost handler " << hostCalls << std::endl;
  } catch (MURV::BaseException* e) {
    std::cerr << "host exception: " << e->text() << std::endl;
    delete e;
    return 1;
  }
  return 0;
}
