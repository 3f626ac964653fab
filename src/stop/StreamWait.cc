#include "StreamWait.h"

#include <poll.h>
#include <ros/ros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "SignalWake.h"

namespace murvstream {

// notify() counts, then writes the eventfd only when the waiter may be
// asleep: of the waiter marking itself asleep then reading the count, and
// the notifier counting then reading the mark, one sees the other's write.
// The eventfd is made by the first sleep (holders that nobody waits on, such
// as the frame-by-frame subscribers', never need one), before the mark: a
// notifier that sees the mark sees the eventfd.
struct WaitNotifier::State {
  State() = default;
  ~State() {
    const int fd = wake.load();
    if (fd >= 0) close(fd);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  int wakeFd() {
    int fd = wake.load();
    if (fd >= 0) return fd;
    const int made = murvwake::newWake();
    if (made < 0) return -1;  // the waiter then looks on a short tick
    if (wake.compare_exchange_strong(fd, made)) return made;
    close(made);
    return fd;
  }
  std::atomic<int> wake{-1};
  std::atomic<std::uint64_t> count{0};
  std::atomic<bool> asleep{false};
};

WaitNotifier::WaitNotifier() : state(std::make_shared<State>()) {}

void WaitNotifier::notify() const noexcept {
  state->count.fetch_add(1);
  if (!state->asleep.load()) return;
  murvwake::wake(state->wake.load());
}

std::uint64_t WaitNotifier::notifications() const { return state->count.load(); }

void WaitNotifier::waitPast(std::uint64_t seen, std::int64_t untilMicros) const {
  const int fd = state->wakeFd();
  const StopWake stopWake;
  for (;;) {
    const std::int64_t left = untilMicros - steadyMicros();
    if (left <= 0 || stopRequested()) return;
    state->asleep.store(true);
    if (state->count.load() != seen) break;
    pollfd wakes[2] = {{fd, POLLIN, 0}, {stopWake.fd(), POLLIN, 0}};
    pollFor(wakes, 2, left);
    if (wakes[0].revents & POLLIN) murvwake::drain(fd);
    if (wakes[1].revents & POLLIN) stopWake.drain();
    state->asleep.store(false);
    if (state->count.load() != seen) return;
  }
  state->asleep.store(false);
}

SteadyWaitEnvironment::SteadyWaitEnvironment(std::int64_t tickMicros) : tick(tickMicros) {}

std::int64_t SteadyWaitEnvironment::nowMicros() { return steadyMicros(); }

void SteadyWaitEnvironment::block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t untilMicros) {
  wake.waitPast(seen, untilMicros);
}

bool rosGone() { return ros::isInitialized() && (!ros::ok() || ros::isShuttingDown()); }

bool SteadyWaitEnvironment::rosRunning() { return ros::ok() && !ros::isShuttingDown(); }

WaitEnvironment& realWaitEnvironment() {
  static SteadyWaitEnvironment env;
  return env;
}

MURV::NodeException* forceQuit(const std::string& nodeName, const char* file, int line) {
  return new MURV::NodeException(nullptr, nodeName + " Force-quit...", file, line);
}

MURV::NodeException* rosShutDown(const std::string& nodeName, const char* file, int line) {
  return new MURV::NodeException(nullptr, nodeName + " stopped waiting: ROS has been shut down", file, line);
}

StreamWaiter::StreamWaiter(std::string name, const StopFlag& flag, const char* sourceFile, WaitEnvironment& e)
    : nodeName(std::move(name)), stop(flag), file(sourceFile), env(e) {}

void StreamWaiter::giveUpIfStopped(int line) {
  // A stop signal sets every class's flag; one that came before a flag was
  // registered still wakes every wait, which must then not sleep again.
  if (stop.isSet() || stopRequested()) throw forceQuit(nodeName, file, line);
  // Nothing will arrive any more once ROS is gone (rosnode kill, a master
  // that shut the node down): waiting on would never end.
  if (!env.rosRunning())
    throw rosShutDown(nodeName, file, line);
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
