#include "MasterWait.h"

#include <poll.h>
#include <pthread.h>
#include <ros/init.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "LeaveWatch.h"
#include "SignalChain.h"
#include "SignalWake.h"
#include "support/NodeSupport.h"

namespace murvmaster {

namespace {

std::atomic<int> masterWaitStop{0};      // the stop signal that came, or 0
std::atomic<bool> masterWaitActive{false};
// Whether no watcher runs (it could not be made): the handler then asks
// roscpp to shut down itself.
std::atomic<bool> masterWaitAlone{false};
// The wait's wake-up, written by the handler: made once and never closed,
// since a handler may write it at any time; drained when a wait starts.
std::atomic<int> masterWake{-1};
murvstream::SignalChain masterWaitChains[] = {{SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}};
const int masterWaitSignals[] = {SIGINT, SIGTERM, SIGHUP};
const char* const masterWaitSignalNames[] = {"SIGINT", "SIGTERM", "SIGHUP"};

void stopWhileWaitingForMaster(int sig, siginfo_t* info, void* context) {
  // The interrupted code may be about to read errno.
  const int savedErrno = errno;
  if (masterWaitActive.load()) {
    masterWaitStop.store(sig);
    if (masterWaitAlone.load()) ros::requestShutdown();
    murvwake::wake(masterWake.load());
  }
  for (size_t i = 0; i < sizeof masterWaitSignals / sizeof masterWaitSignals[0]; ++i)
    if (masterWaitSignals[i] == sig) masterWaitChains[i].passOn(info, context);
  errno = savedErrno;
}

int masterWakeFd() {
  static std::once_flag once;
  std::call_once(once, [] { masterWake.store(murvwake::newWake()); });
  return masterWake.load();
}

// The signals that end the wait, as the notice names them: those not
// ignored ("SIGINT, SIGTERM or SIGHUP"); empty when all are.
std::string endingSignals() {
  std::vector<std::string> names;
  for (size_t i = 0; i < sizeof masterWaitSignals / sizeof masterWaitSignals[0]; ++i) {
    if (!murvwake::signalIgnored(masterWaitSignals[i])) names.push_back(masterWaitSignalNames[i]);
  }
  return murvnode::listed(names, "or");
}

// The stop signals blocked on the calling thread while it lives, when
// asked for.
class StopSignalsHeld {
public:
  explicit StopSignalsHeld(bool held) : held(held) {
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : masterWaitSignals) sigaddset(&stops, sig);
    if (held) pthread_sigmask(SIG_BLOCK, &stops, &before);
  }
  ~StopSignalsHeld() {
    if (held) pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
  const bool held;
  sigset_t before;
};

}  // namespace

MasterWait::MasterWait(std::string who, std::string uri)
    : who(std::move(who)), uri(std::move(uri)), signals(endingSignals()), ending(eventfd(0, EFD_CLOEXEC)) {
  masterWaitStop.store(0);
  wake = masterWakeFd();
  murvwake::drain(wake);
  // The watcher first: a constructor that throws has nothing to give back.
  // Without one, the handler asks roscpp to shut down itself.
  if (ending >= 0) {
    try {
      watcher = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
      close(ending);
      ending = -1;
    }
  }
  masterWaitAlone.store(ending < 0);
  masterWaitActive.store(true);
  for (murvstream::SignalChain& chain : masterWaitChains) chain.takeOver(stopWhileWaitingForMaster);
}

MasterWait::~MasterWait() {
  if (ending >= 0) {
    murvwake::wake(ending);
    watcher.join();
    close(ending);
  }
  masterWaitActive.store(false);
  for (murvstream::SignalChain& chain : masterWaitChains) chain.giveBack(stopWhileWaitingForMaster);
}

bool MasterWait::stopped() const { return masterWaitStop.load() != 0; }

void MasterWait::startRos(const std::function<void()>& start) {
  starting.store(static_cast<pid_t>(syscall(SYS_gettid)));
  if (stopped()) return;
  const StopSignalsHeld held(watched());
  start();
}

bool MasterWait::goOn() {
  if (stopped()) return false;
  const long waited = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
  const int due = waited < 1 ? 0 : 1 + static_cast<int>((waited - 1) / 30);
  if (due > notices) {
    notices = due;
    std::cerr << who << ": "
              << (due == 1 ? "nothing answers at the ROS master address " + uri + " yet"
                           : "still nothing answers at " + uri + " after " + std::to_string(waited) + " s")
              << "; waiting for a master" << (signals.empty() ? "" : " (" + signals + " ends the wait)")
              << std::endl;
  }
  return true;
}

void MasterWait::watch() {
  pollfd fds[2] = {{ending, POLLIN, 0}, {wake, POLLIN, 0}};
  std::unique_ptr<murvmaster::LeaveCall> startup;  // the starting thread's mark
  while (!(fds[0].revents & POLLIN)) {
    const bool stop = stopped();
    const pid_t thread = starting.load();
    if (stop && thread && !startup) startup.reset(new murvmaster::LeaveCall(thread));
    // Again and again while the wait lasts: roscpp forgets a shutdown
    // requested before it starts.
    if (stop) ros::requestShutdown();
    fds[0].revents = 0;
    if (poll(fds, stop ? 1 : 2, stop ? 10 : -1) < 0 && errno != EINTR) break;
  }
}

}  // namespace murvmaster
