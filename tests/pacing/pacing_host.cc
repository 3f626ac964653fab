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
//   murv-pacing-host RosMurvMsgsSubscriber|RosStdMsgsSubscriber
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "StdMsgsTestSupport.h"

namespace {

std::atomic<int> hostCalls{0};
void hostHandler(int) { ++hostCalls; }

// The main thread blocked in a sleep of the steady-clock kind.
bool mainThreadSleeps() {
  long at = -1;
  std::ifstream("/proc/self/task/" + std::to_string(getpid()) + "/syscall") >> at;
  return at == SYS_ppoll;
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
  // Seconds that counts from first to first + 9 take.
  double time(int first) {
    const auto begin = std::chrono::steady_clock::now();
    for (int count = first; count < first + 10; ++count) node->getOutput(output, count);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string type = argc == 2 ? argv[1] : "";
  if (type != "RosMurvMsgsSubscriber" && type != "RosStdMsgsSubscriber") {
    std::cerr << "usage: murv-pacing-host RosMurvMsgsSubscriber|RosStdMsgsSubscriber" << std::endl;
    return 2;
  }
  signal(SIGINT, hostHandler);
  try {
    double same = 0;
    {
      const subtest::NodePtr generator = subtest::createGenerator("murv_pacing_host");
      generator->initialize();
      Paced first(type);
      first.node->getOutput(first.output, 1);
      std::thread stop([] {
        murvtest::waitFor([] { return mainThreadSleeps(); }, std::chrono::seconds(20), std::chrono::milliseconds(1));
        kill(getpid(), SIGINT);
      });
      first.node->getOutput(first.output, 2);
      stop.join();
      same = first.time(3);
    }
    // A new network after it: ROS joins the process again.
    const subtest::NodePtr generator = subtest::createGenerator("murv_pacing_host");
    generator->initialize();
    const double made = Paced(type).time(0);
    std::cout << "same node " << same << "\nnew node " << made << "\nhost handler " << hostCalls << std::endl;
  } catch (MURV::BaseException* e) {
    std::cerr << "host exception: " << e->text() << std::endl;
    delete e;
    return 1;
  }
  return 0;
}
