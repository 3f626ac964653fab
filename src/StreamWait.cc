#include "StreamWait.h"

#include <ros/ros.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
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

void SignalChain::takeOver(void (*ours)(int)) {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0) return;
  const bool plain = !(now.sa_flags & SA_SIGINFO);
  if (plain && now.sa_handler == ours) return;
  // Ignored under nohup, a hang-up stays ignored, as the network runner
  // leaves it: taken over, it would stop the waits.
  if (sig == SIGHUP && plain && now.sa_handler == SIG_IGN) return;
  const int n = count.load();
  if (n >= maxFound) return;  // ours stays reachable through those found
  // Recorded before ours is in place: a signal in between goes to the
  // handler found, whatever ours would pass on.
  found[n] = now;
  count.store(n + 1, std::memory_order_release);
  struct sigaction handler {};
  handler.sa_handler = ours;
  sigemptyset(&handler.sa_mask);
  handler.sa_flags = SA_RESTART;
  if (sigaction(sig, &handler, nullptr) != 0) count.store(n);
}

void SignalChain::giveBack(void (*ours)(int)) {
  struct sigaction now;
  const int n = count.load();
  if (n == 0 || sigaction(sig, nullptr, &now) != 0) return;
  if ((now.sa_flags & SA_SIGINFO) || now.sa_handler != ours) return;
  sigaction(sig, &found[n - 1], nullptr);
  count.store(n - 1);
}

// Each call passes on one step further down the chain: without a thread's
// own storage (which a signal handler may not use), the depth is counted
// for the process. Two deliveries of one signal on two threads at the same
// moment may then skip a handler for the second.
void SignalChain::passOn() {
  const int n = count.load(std::memory_order_acquire);
  const int d = depth.fetch_add(1);
  if (d < n) call(found[n - 1 - d]);
  depth.fetch_sub(1);
}

void SignalChain::call(const struct sigaction& handler) {
  if (handler.sa_flags & SA_SIGINFO) {
    if (!handler.sa_sigaction) return;
    siginfo_t info {};
    info.si_signo = sig;
    handler.sa_sigaction(sig, &info, nullptr);
  } else if (handler.sa_handler == SIG_DFL) {
    if (!defaultEnds) return;
    // Blocked while a handler for it runs, the signal raised again is taken
    // once ours returns, with its default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig);
  } else if (handler.sa_handler != SIG_IGN && handler.sa_handler) {
    handler.sa_handler(sig);
  }
}

namespace {

// What each stop signal had before the stream nodes' handler (the network
// runner's handler, for instance), passed on after the flags are set so
// that neither undoes the other. In a host without a handler of its own a
// SIGTERM still ends the process; SIGINT and SIGHUP only stop the waits, so
// that the network can end through its nodes.
SignalChain stopChains[] = {{SIGINT, false}, {SIGHUP, false}, {SIGTERM, true}};
const int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

}  // namespace

void stopSignalHandler(int sig) {
  int n = stopFlagCount.load();
  for (int i = 0; i < n && i < maxStopFlags; ++i)
    if (StopFlag* flag = stopFlags[i].load()) flag->set();
  for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; ++i)
    if (stopSignals[i] == sig) stopChains[i].passOn();
}

void installStopSignals() {
  for (SignalChain& chain : stopChains) chain.takeOver(stopSignalHandler);
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
