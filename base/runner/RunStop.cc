#include "RunStop.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "SignalWake.h"

namespace murvrun {

namespace {

// The handler may run on any of the process's threads: a lock-free atomic
// is safe there.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
// Written once the first stop signal has come; made before the handlers
// and never closed, since a handler may write it at any time.
std::atomic<int> wake{-1};

// A second SIGINT or SIGTERM finds the run not stopped yet (a node blocked
// in its set-up, say): it then takes the signal's default action, as it
// would without the runner. A SIGHUP after the first signal changes
// nothing: a closing terminal sends two (the kernel's and the shell's, a
// few milliseconds apart), and the second must not end the runner before
// its nodes have left the master.
extern "C" void onStopSignal(int sig) {
  int none = 0;
  if (received.compare_exchange_strong(none, sig)) {
    murvwake::wake(wake.load());
    return;
  }
  if (sig == SIGHUP) return;
  struct sigaction fallback;
  std::memset(&fallback, 0, sizeof fallback);
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);
}

}  // namespace

void installStopHandlers() {
  if (wake.load() < 0) wake.store(murvwake::newWake());
  const bool hangUpIgnored = murvwake::signalIgnored(SIGHUP);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  if (!hangUpIgnored) sigaction(SIGHUP, &action, nullptr);
}

int stopSignal() { return received.load(); }

int stopWakeFd() { return wake.load(); }

}  // namespace murvrun
