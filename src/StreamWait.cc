#include "StreamWait.h"

#include <ros/ros.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>

namespace murvstream {

namespace {

// Flags are registered while the library loads, normally before any signal
// handler is installed; the handler only reads this table, and skips a slot
// that has been taken but not yet filled.
const int maxStopFlags = 16;
std::atomic<StopFlag*> stopFlags[maxStopFlags];
std::atomic<int> stopFlagCount{0};

using SteadyMicros = std::chrono::time_point<std::chrono::steady_clock, std::chrono::microseconds>;

}  // namespace

StopFlag::StopFlag() {
  int slot = stopFlagCount.fetch_add(1);
  if (slot < maxStopFlags) stopFlags[slot] = this;
}

namespace {

// The handler each stop signal had before ours (the network runner's, for
// instance), called after the flags are set so that neither undoes the
// other. Written before our handler is installed; a node constructed later
// finds ours in place and keeps the chain as it is (someone else's handler
// put in place meanwhile becomes the one passed on to).
const int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};
struct sigaction previousHandlers[sizeof stopSignals / sizeof stopSignals[0]];

void passOn(int sig) {
  for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; ++i) {
    if (stopSignals[i] != sig) continue;
    const struct sigaction& previous = previousHandlers[i];
    if (previous.sa_flags & SA_SIGINFO) {
      if (!previous.sa_sigaction) return;
      siginfo_t info;
      std::memset(&info, 0, sizeof info);
      info.si_signo = sig;
      previous.sa_sigaction(sig, &info, nullptr);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler != nullptr &&
               previous.sa_handler != stopSignalHandler) {
      previous.sa_handler(sig);
    }
  }
}

}  // namespace

void stopSignalHandler(int sig) {
  int n = stopFlagCount.load();
  for (int i = 0; i < n && i < maxStopFlags; ++i)
    if (StopFlag* flag = stopFlags[i].load()) flag->set();
  passOn(sig);
}

void installStopSignals() {
  for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; ++i) {
    struct sigaction now;
    if (sigaction(stopSignals[i], nullptr, &now) != 0) continue;
    if (!(now.sa_flags & SA_SIGINFO) && now.sa_handler == stopSignalHandler) continue;
    previousHandlers[i] = now;
    struct sigaction ours;
    std::memset(&ours, 0, sizeof ours);
    ours.sa_handler = stopSignalHandler;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    sigaction(stopSignals[i], &ours, nullptr);
  }
}

// The count changes under the lock, so a waiter that has read it cannot
// miss a later notification: either it reads the new count before it
// sleeps, or the notification finds it asleep.
struct WaitNotifier::State {
  std::mutex lock;
  std::condition_variable changed;
  std::uint64_t count = 0;
};

WaitNotifier::WaitNotifier() : state(std::make_shared<State>()) {}

void WaitNotifier::notify() const noexcept {
  try {
    {
      std::lock_guard<std::mutex> guard(state->lock);
      ++state->count;
    }
    state->changed.notify_all();
  } catch (...) {
    // A lock that cannot be taken: the waiter still looks again within
    // its tick.
  }
}

std::uint64_t WaitNotifier::notifications() const {
  std::lock_guard<std::mutex> guard(state->lock);
  return state->count;
}

void WaitNotifier::waitPast(std::uint64_t seen, std::int64_t untilMicros) const {
  std::unique_lock<std::mutex> guard(state->lock);
  state->changed.wait_until(guard, SteadyMicros(std::chrono::microseconds(untilMicros)),
                            [&] { return state->count != seen; });
}

SteadyWaitEnvironment::SteadyWaitEnvironment(std::int64_t tickMicros) : tick(tickMicros) {}

std::int64_t SteadyWaitEnvironment::nowMicros() {
  return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::steady_clock::now())
      .time_since_epoch()
      .count();
}

void SteadyWaitEnvironment::block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t untilMicros) {
  wake.waitPast(seen, untilMicros);
}

bool SteadyWaitEnvironment::rosRunning() { return ros::ok() && !ros::isShuttingDown(); }

WaitEnvironment& realWaitEnvironment() {
  static SteadyWaitEnvironment env;
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

void StreamWaiter::waitFirstMessage(const std::function<bool()>& arrived, int line) { waitUntil(arrived, line); }

// Every round reads the notification count before it looks, and sleeps
// only while nothing has been notified since.
bool StreamWaiter::waitUntil(const std::function<bool()>& done, long long timeLimit, int line) {
  const bool timesOut = timeLimit < neverTimesOut;
  const std::int64_t start = env.nowMicros();
  for (;;) {
    const std::uint64_t seen = wake.notifications();
    if (done()) return true;
    const std::int64_t now = env.nowMicros();
    if (timesOut && now - start > timeLimit) return false;
    giveUpIfStopped(line);
    std::int64_t until = now + env.tickMicros();
    // The first reading past the time limit ends the wait.
    if (timesOut) until = std::min<std::int64_t>(until, start + timeLimit + 1);
    env.block(wake, seen, until);
  }
}

}  // namespace murvstream
