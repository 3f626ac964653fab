#include "StreamWait.h"

#include <ros/ros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace murvstream {

namespace {

// Flags are registered while the library loads, normally before any signal
// handler is installed; the handler only reads this table, and skips a slot
// that has been taken but not yet filled.
const int maxStopFlags = 16;
std::atomic<StopFlag*> stopFlags[maxStopFlags];
std::atomic<int> stopFlagCount{0};

class RealWaitEnvironment : public WaitEnvironment {
public:
  std::int64_t nowMicros() override {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void pause() override { usleep(1); }
  bool rosRunning() override { return ros::ok() && !ros::isShuttingDown(); }
};

}  // namespace

StopFlag::StopFlag() {
  int slot = stopFlagCount.fetch_add(1);
  if (slot < maxStopFlags) stopFlags[slot] = this;
}

void stopSignalHandler(int) {
  int n = stopFlagCount.load();
  for (int i = 0; i < n && i < maxStopFlags; ++i)
    if (StopFlag* flag = stopFlags[i].load()) flag->set();
}

void installStopSignals() {
  std::signal(SIGINT, stopSignalHandler);
  std::signal(SIGHUP, stopSignalHandler);
}

WaitEnvironment& realWaitEnvironment() {
  static RealWaitEnvironment env;
  return env;
}

MURV::NodeException* forceQuit(const std::string& nodeName, const char* file, int line) {
  return new MURV::NodeException(nullptr, nodeName + " Force-quit...", file, line);
}

StreamWaiter::StreamWaiter(std::string name, const StopFlag& flag, const char* sourceFile, WaitEnvironment& e)
    : nodeName(std::move(name)), stop(flag), file(sourceFile), env(e) {}

void StreamWaiter::giveUpIfStopped(int line) {
  if (stop.isSet()) throw forceQuit(nodeName, file, line);
  // Nothing will arrive any more once ROS is gone (rosnode kill, a master
  // that shut the node down): waiting on would never end.
  if (!env.rosRunning())
    throw new MURV::NodeException(nullptr, nodeName + " stopped waiting: ROS has been shut down", file, line);
}

void StreamWaiter::waitFirstMessage(const std::function<bool()>& arrived, int line) {
  while (!arrived()) {
    giveUpIfStopped(line);
    env.pause();
  }
}

void StreamWaiter::waitUntil(const std::function<bool()>& holds, int line) { waitFirstMessage(holds, line); }

bool StreamWaiter::waitForData(const std::function<bool()>& hasData, long long killTimeLen, bool killNetwork,
                               int line) {
  const std::int64_t start = env.nowMicros();
  while (!hasData()) {
    const std::int64_t now = env.nowMicros();
    env.pause();
    if (killNetwork && now - start > killTimeLen) return false;
    giveUpIfStopped(line);
  }
  return true;
}

}  // namespace murvstream
