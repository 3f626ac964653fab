#include "StreamWait.h"

#include <poll.h>
#include <pthread.h>
#include <ros/ros.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <utility>

namespace murvstream {

namespace {

// Flags are registered while the library loads, normally before any signal
// handler is installed; the handler only reads this table, and skips a slot
// that has been taken but not yet filled.
const int maxStopFlags = 16;
std::atomic<StopFlag*> stopFlags[maxStopFlags];
std::atomic<int> stopFlagCount{0};

// Set by the handler, never cleared.
std::atomic<int> stopSignalled{0};

std::int64_t steadyMicros() {
  return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::steady_clock::now())
      .time_since_epoch()
      .count();
}

// An eventfd that the stop-signal handler writes and nobody reads: once a
// stop signal has come it stays readable, so every sleep on it, present or
// later, ends at once. Made before our handler is installed (at load, or by
// the first installStopSignals()), and never closed, since a handler may
// write it at any time. -1 while there is none: the handler then writes
// nothing, and a sleep without it looks at the stop flag on a short tick.
std::atomic<int> stopWake{-1};

int stopWakeFd() {
  int fd = stopWake.load();
  if (fd >= 0) return fd;
  const int made = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (made < 0) return -1;
  if (stopWake.compare_exchange_strong(fd, made)) return made;
  close(made);  // another thread made one first
  return fd;
}

// A forked child would share the eventfd with its parent, and a stop signal
// in one would wake every sleep of the other for good, with nothing to stop
// them: the child gets one of its own. It runs alone then, so with signals
// blocked no handler can be writing the one it closes.
void renewStopWakeInChild() {
  const int inherited = stopWake.load();
  if (inherited < 0) return;
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  stopWake.store(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  close(inherited);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

[[maybe_unused]] const int stopWakeAtLoad = [] {
  pthread_atfork(nullptr, nullptr, renewStopWakeInChild);
  return stopWakeFd();
}();

// Without one of its wakes, a sleep looks again at least this often.
const std::int64_t fallbackTickMicros = 10000;

// Sleeps on fds (entries of -1 are left out) until one is readable, a signal
// interrupts, or micros have passed.
void pollFor(pollfd* fds, nfds_t n, std::int64_t micros) {
  for (nfds_t i = 0; i < n; ++i)
    if (fds[i].fd < 0) micros = std::min(micros, fallbackTickMicros);
  timespec timeout;
  timeout.tv_sec = static_cast<time_t>(micros / 1000000);
  timeout.tv_nsec = static_cast<long>(micros % 1000000) * 1000;
  ppoll(fds, n, &timeout, nullptr);
}

bool disposition(const struct sigaction& a, void (*which)(int)) {
  // sa_handler and sa_sigaction share their storage: SIG_DFL and SIG_IGN
  // mean the same whatever the flags say.
  return a.sa_handler == which;
}

}  // namespace

StopFlag::StopFlag() {
  int slot = stopFlagCount.fetch_add(1);
  if (slot < maxStopFlags) stopFlags[slot] = this;
}

void SignalChain::takeOver(Handler ours) {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0) return;
  if ((now.sa_flags & SA_SIGINFO) && now.sa_sigaction == ours) return;
  // Ignored (under nohup, in a shell's background, by the host's choice),
  // a signal stays ignored: taken over, it would stop the waits.
  if (disposition(now, SIG_IGN)) return;
  const int n = count.load();
  if (n >= maxFound) return;  // ours stays reachable through those found
  // Recorded before ours is in place: a signal in between goes to the
  // handler found, whatever ours would pass on.
  found[n] = now;
  count.store(n + 1, std::memory_order_release);
  struct sigaction handler {};
  handler.sa_sigaction = ours;
  sigemptyset(&handler.sa_mask);
  handler.sa_flags = SA_SIGINFO | SA_RESTART;
  if (sigaction(sig, &handler, nullptr) != 0) count.store(n);
}

void SignalChain::giveBack(Handler ours) {
  struct sigaction now;
  const int n = count.load();
  if (n == 0 || sigaction(sig, nullptr, &now) != 0) return;
  if (!(now.sa_flags & SA_SIGINFO) || now.sa_sigaction != ours) return;
  sigaction(sig, &found[n - 1], nullptr);
  count.store(n - 1);
}

// Each call passes on one step further down the chain: without a thread's
// own storage (which a signal handler may not use), the depth is counted
// for the process. Two deliveries of one signal on two threads at the same
// moment may then skip a handler for the second.
void SignalChain::passOn(siginfo_t* info, void* context) {
  const int n = count.load(std::memory_order_acquire);
  const int d = depth.fetch_add(1);
  if (d < n) call(found[n - 1 - d], info, context);
  depth.fetch_sub(1);
}

void SignalChain::call(const struct sigaction& handler, siginfo_t* info, void* context) {
  if (disposition(handler, SIG_IGN)) return;
  if (disposition(handler, SIG_DFL)) {
    if (!defaultEnds.load()) return;
    // Blocked while a handler for it runs, the signal raised again is taken
    // once ours returns, with its default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig);
  } else if (handler.sa_flags & SA_SIGINFO) {
    siginfo_t madeUp {};  // only when ours was called by hand, not by the kernel
    if (!info) {
      madeUp.si_signo = sig;
      info = &madeUp;
    }
    handler.sa_sigaction(sig, info, context);
  } else {
    handler.sa_handler(sig);
  }
}

namespace {

// What each stop signal had before the stream nodes' handler (the network
// runner's handler, for instance), passed on after the flags are set so
// that neither undoes the other. A default disposition found ends the
// process as the signal does, until a stream node is made: SIGINT and SIGHUP
// then only stop the waits, so that the network can end through its nodes.
SignalChain stopChains[] = {{SIGINT, true}, {SIGHUP, true}, {SIGTERM, true}};
const int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

}  // namespace

void stopSignalHandler(int sig, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  stopSignalled.store(1);
  int n = stopFlagCount.load();
  for (int i = 0; i < n && i < maxStopFlags; ++i)
    if (StopFlag* flag = stopFlags[i].load()) flag->set();
  for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; ++i)
    if (stopSignals[i] == sig) stopChains[i].passOn(info, context);
  // Last: a wait woken by it finds the flags set, and the handler passed on
  // to (the runner's) has already taken the signal, so a node that gives
  // up is seen as stopped rather than failed.
  const int fd = stopWake.load();
  if (fd >= 0) {
    const std::uint64_t one = 1;
    ssize_t written = write(fd, &one, sizeof one);  // full only after 2^64 - 2 signals
    (void)written;
  }
  errno = savedErrno;
}

void installStopSignals(StopUser user) {
  stopWakeFd();
  if (user == StopUser::streamNode) {
    stopChains[0].setDefaultEnds(false);
    stopChains[1].setDefaultEnds(false);
  }
  for (SignalChain& chain : stopChains) chain.takeOver(stopSignalHandler);
}

bool stopRequested() { return stopSignalled.load() != 0; }

bool sleepOrStop(std::int64_t micros) {
  const std::int64_t until = steadyMicros() + std::max<std::int64_t>(micros, 0);
  for (;;) {
    if (stopRequested()) return true;
    const std::int64_t left = until - steadyMicros();
    if (left <= 0) return false;
    pollfd wake{stopWakeFd(), POLLIN, 0};
    pollFor(&wake, 1, left);
  }
}

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
    const int made = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
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
  const int fd = state->wake.load();
  if (fd < 0) return;
  const std::uint64_t one = 1;
  ssize_t written = write(fd, &one, sizeof one);
  (void)written;  // only a full counter fails, and it wakes the waiter all the same
}

std::uint64_t WaitNotifier::notifications() const { return state->count.load(); }

void WaitNotifier::waitPast(std::uint64_t seen, std::int64_t untilMicros) const {
  const int fd = state->wakeFd();
  for (;;) {
    const std::int64_t left = untilMicros - steadyMicros();
    if (left <= 0 || stopRequested()) return;
    state->asleep.store(true);
    if (state->count.load() != seen) break;
    pollfd wakes[2] = {{fd, POLLIN, 0}, {stopWakeFd(), POLLIN, 0}};
    pollFor(wakes, 2, left);
    if (wakes[0].revents & POLLIN) {
      std::uint64_t drained;
      ssize_t got = read(fd, &drained, sizeof drained);
      (void)got;  // nothing to read: another look costs one more round
    }
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
  // A stop signal sets every class's flag; one that came before a flag was
  // registered still wakes every wait, which must then not sleep again.
  if (stop.isSet() || stopRequested()) throw forceQuit(nodeName, file, line);
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
