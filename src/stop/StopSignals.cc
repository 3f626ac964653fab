#include "StopSignals.h"

#include "SignalWake.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

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

// Moved on by the handler at every stop signal. An iteration remembers the
// value it began with, and a sleep of it ends once the value has moved.
std::atomic<std::uint32_t> stopGeneration{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "a signal handler may only use lock-free atomics");

// The pool of wakes: an eventfd each, made by the first sleep that takes
// it and never closed, since the handler may write it at any time. The
// handler writes the wake of every slot taken; a write that reaches a slot
// given back and taken again costs its new sleeper one more look.
// Taking a slot, then reading the generation; and moving the generation on,
// then reading which slots are taken: of a sleeper and the handler, one
// sees the other's write, so no stop is lost between a look and a sleep.
struct WakeSlot {
  std::atomic<bool> taken{false};
  std::atomic<int> fd{-1};
};
const int wakeSlots = 64;
WakeSlot wakes[wakeSlots];

// A forked child would share the eventfds with its parent: a sleeper in one
// could empty a wake meant for the other. The child gets its own. It runs
// alone then, so no slot of it is taken, and with signals blocked no
// handler can be writing the one it closes.
void renewWakesInChild() {
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  for (WakeSlot& slot : wakes) {
    slot.taken.store(false);
    const int inherited = slot.fd.load();
    if (inherited < 0) continue;
    slot.fd.store(murvwake::newWake());
    close(inherited);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

[[maybe_unused]] const int wakesRenewedInChildren = pthread_atfork(nullptr, nullptr, renewWakesInChild);

// Without one of its wakes, a sleep looks again at least this often.
const std::int64_t fallbackTickMicros = 10000;

// What each stop signal had before the stream nodes' handler (the network
// runner's handler, for instance), passed on after the flags are set so
// that neither undoes the other. A default disposition found ends the
// process as the signal does, until a stream node is made: SIGINT and SIGHUP
// then only stop the waits, so that the network can end through its nodes.
SignalChain stopChains[] = {{SIGINT, true}, {SIGHUP, true}, {SIGTERM, true}};
const int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

// The node made last, and the count of nodes made (its serial). Nodes are
// made on any thread: making takes them one at a time, and with them the
// stop chains' takeOver().
std::mutex making;
NodeMade latestMade;
std::atomic<std::uint64_t> nodesMade{0};

// The calling thread's iteration, for the pacing sleeps of the networks it
// runs. latest is the generation the thread last saw: when an iteration's
// pacing began and when a sleep ended. A new iteration begins with it, or
// with the generation its node was made at when that is newer, so that a
// stop that came after the last look (between two iterations) ends the
// sleeps of the next one.
struct ThreadIteration {
  bool inIteration = false;
  int count = 0;
  std::uint64_t nodesMadeBefore = 0;  // when it began
  std::uint32_t generation = 0;
  bool looked = false;
  std::uint32_t latest = 0;
};
thread_local ThreadIteration onThisThread;

void lookAtGeneration() {
  onThisThread.latest = stopGeneration.load();
  onThisThread.looked = true;
}

// Of two generations, the one moved on further (they wrap around).
std::uint32_t newer(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0 ? a : b; }

// Before any node is made, a signal that has come counts for none.
NodeMade nodeMadeLast() {
  const std::lock_guard<std::mutex> lock(making);
  NodeMade made = latestMade;
  if (made.serial == 0) made.generation = stopGeneration.load();
  return made;
}

}  // namespace

StopFlag::StopFlag() {
  int slot = stopFlagCount.fetch_add(1);
  if (slot < maxStopFlags) stopFlags[slot] = this;
}

void stopSignalHandler(int sig, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  stopSignalled.store(1);
  stopGeneration.fetch_add(1);
  int n = stopFlagCount.load();
  for (int i = 0; i < n && i < maxStopFlags; ++i)
    if (StopFlag* flag = stopFlags[i].load()) flag->set();
  for (size_t i = 0; i < sizeof stopSignals / sizeof stopSignals[0]; ++i)
    if (stopSignals[i] == sig) stopChains[i].passOn(info, context);
  // Last: a wait woken by it finds the flags set, and the handler passed on
  // to (the runner's) has already taken the signal, so a node that gives
  // up is seen as stopped rather than failed.
  for (WakeSlot& slot : wakes) {
    if (!slot.taken.load()) continue;
    murvwake::wake(slot.fd.load());
  }
  errno = savedErrno;
}

NodeMade installStopSignals(StopUser user) {
  const std::lock_guard<std::mutex> lock(making);
  if (user == StopUser::streamNode) {
    stopChains[0].setDefaultEnds(false);
    stopChains[1].setDefaultEnds(false);
  }
  for (SignalChain& chain : stopChains) chain.takeOver(stopSignalHandler);
  latestMade.generation = stopGeneration.load();
  latestMade.serial = nodesMade.load() + 1;
  nodesMade.store(latestMade.serial);
  return latestMade;
}

bool stopRequested() { return stopSignalled.load() != 0; }

std::uint32_t stopSignalCount() { return stopGeneration.load(); }

std::uint32_t iterationStopCount() {
  return onThisThread.inIteration ? onThisThread.generation : stopGeneration.load();
}

std::int64_t steadyMicros() {
  return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::steady_clock::now())
      .time_since_epoch()
      .count();
}

void pollFor(pollfd* fds, nfds_t n, std::int64_t micros) {
  for (nfds_t i = 0; i < n; ++i)
    if (fds[i].fd < 0) micros = std::min(micros, fallbackTickMicros);
  timespec timeout;
  timeout.tv_sec = static_cast<time_t>(micros / 1000000);
  timeout.tv_nsec = static_cast<long>(micros % 1000000) * 1000;
  ppoll(fds, n, &timeout, nullptr);
}

StopWake::StopWake() {
  for (int i = 0; i < wakeSlots; ++i) {
    bool free = false;
    if (!wakes[i].taken.compare_exchange_strong(free, true)) continue;
    slot = i;
    wakeFd = wakes[i].fd.load();
    if (wakeFd < 0) {
      wakeFd = murvwake::newWake();  // none: the sleeper looks on a short tick
      wakes[i].fd.store(wakeFd);
    }
    drain();
    return;
  }
}

StopWake::~StopWake() {
  if (slot >= 0) wakes[slot].taken.store(false);
}

void StopWake::drain() const { murvwake::drain(wakeFd); }

IterationStop::IterationStop(int count, const NodeMade& node) {
  ThreadIteration& t = onThisThread;
  if (!t.inIteration || t.count != count || node.serial > t.nodesMadeBefore) {
    t.generation = t.looked ? newer(t.latest, node.generation) : node.generation;
    t.count = count;
    t.nodesMadeBefore = nodesMade.load();
    t.inIteration = true;
  }
  generation = t.generation;
  lookAtGeneration();
}

IterationStop::IterationStop(int count) : IterationStop(count, nodeMadeLast()) {}

bool IterationStop::stopped() const { return stopGeneration.load() != generation; }

// The stop wake is taken before over() is looked at: a signal after the
// look writes it (see StopWake).
bool sleepUnless(std::int64_t micros, const std::function<bool()>& over, int wake) {
  const std::int64_t until = steadyMicros() + micros;
  const StopWake stopWake;
  for (;;) {
    if (over()) return true;
    const std::int64_t left = until - steadyMicros();
    if (left <= 0) return false;
    pollfd fds[2] = {{stopWake.fd(), POLLIN, 0}, {wake, POLLIN, 0}};
    pollFor(fds, wake < 0 ? 1 : 2, left);  // a -1 entry would make pollFor tick
    if (fds[0].revents & POLLIN) stopWake.drain();
  }
}

bool IterationStop::sleep(std::int64_t micros) const {
  if (micros <= 0) return stopped();
  const bool stop = sleepUnless(micros, [this] { return stopped(); });
  lookAtGeneration();
  return stop;
}

}  // namespace murvstream
