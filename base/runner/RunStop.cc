#include "RunStop.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include "SignalWake.h"

namespace murvrun {

namespace {

const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler runs on the signal thread (or, when that thread could not be
// made, on any thread): lock-free atomics are safe there.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
// Written once the first stop signal has come; made before the handlers
// and never closed, since a handler may write it at any time.
std::atomic<int> wake{-1};

// When the first stop signal came, on the steady clock: a stop signal
// within repeatWindowMicros of it, whatever its sender, is the same stop.
// coreutils' timeout sends its signal twice, microseconds apart (to the
// runner, then to its process group); a wrapper script may pass on the
// SIGINT of a Ctrl-C that reached the runner too; a script's kill may
// reach the runner as well as its group. 0 while the first is being
// recorded.
std::atomic<std::int64_t> firstMicros{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "a signal handler may only use lock-free atomics");
const std::int64_t repeatWindowMicros = 100000;

// The thread that takes the stop signals, once it runs.
std::atomic<pid_t> signalThread{0};

std::int64_t nowMicros() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// A later SIGINT or SIGTERM finds the run not stopped yet (a node blocked
// in its set-up, say): it then takes the signal's default action, as it
// would without the runner. A SIGHUP after the first signal changes
// nothing: a closing terminal sends two (the kernel's and the shell's, a
// few milliseconds apart, or more on a busy machine), and the second must
// not end the runner before its nodes have left the master.
extern "C" void onStopSignal(int sig, siginfo_t*, void*) {
  const std::int64_t now = nowMicros();
  int none = 0;
  if (received.compare_exchange_strong(none, sig)) {
    firstMicros.store(now);
    murvwake::wake(wake.load());
    return;
  }
  if (sig == SIGHUP) return;
  const std::int64_t at = firstMicros.load();
  if (at == 0 || now - at < repeatWindowMicros) return;
  struct sigaction fallback;
  std::memset(&fallback, 0, sizeof fallback);
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);  // blocked until this handler returns, then the default action
}

// The signal thread blocks every signal but the stop signals, which it
// alone takes: the others go to the threads that took them before.
sigset_t allButStops() {
  sigset_t others;
  sigfillset(&others);
  for (int sig : stopSignals) sigdelset(&others, sig);
  return others;
}

extern "C" void* takeStopSignals(void*) {
  const sigset_t others = allButStops();
  pthread_sigmask(SIG_SETMASK, &others, nullptr);
  signalThread.store(static_cast<pid_t>(syscall(SYS_gettid)));
  for (;;) sigsuspend(&others);
  return nullptr;
}

// Whether the signal thread is inside a stop signal's handler: while a
// handler runs, the kernel blocks its signal on the thread it runs on, and
// the signal thread blocks none of them otherwise.
bool handlingStop() {
  const pid_t tid = signalThread.load();
  if (!tid) return false;
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string key, mask;
  while (status >> key)
    if (key == "SigBlk:" && status >> mask) {
      const unsigned long long blocked = std::stoull(mask, nullptr, 16);
      for (int sig : stopSignals)
        if (blocked >> (sig - 1) & 1) return true;
      return false;
    }
  return false;
}

}  // namespace

void installStopHandlers() {
  if (wake.load() < 0) wake.store(murvwake::newWake());
  const bool hangUpIgnored = murvwake::signalIgnored(SIGHUP);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_sigaction = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  if (!hangUpIgnored) sigaction(SIGHUP, &action, nullptr);
  // Blocked here before the thread starts: one that comes meanwhile waits
  // for it. Without a thread, the stop signals go to any thread, as they
  // would without the runner.
  sigset_t stops, before;
  sigemptyset(&stops);
  for (int sig : stopSignals) sigaddset(&stops, sig);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, takeStopSignals, nullptr) == 0) pthread_detach(thread);
  else pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

int stopSignal() { return received.load(); }

int settledStopSignal() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!received.load() && handlingStop() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return received.load();
}

int stopWakeFd() { return wake.load(); }

}  // namespace murvrun
