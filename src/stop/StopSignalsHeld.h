#ifndef MURV_STOP_SIGNALS_HELD_H
#define MURV_STOP_SIGNALS_HELD_H

// The stop signals (SIGINT, SIGTERM, SIGHUP) kept off the threads the
// toolbox starts. A thread starts with the signal mask of the thread that
// starts it, and a handler that runs on a thread breaks off the system call
// it is in (EINTR): roscpp takes a call to the master broken so for one
// that failed, says "Failed to contact master" and sends it again, though
// the master may have taken it. So the toolbox's threads (spinners,
// watchers, resolvers) start with the stop signals blocked, and the host's
// own threads take them. Their handlers still reach every wait of the
// toolbox: they write the eventfds the waits poll, whatever thread they run
// on.

#include <signal.h>

#include <thread>
#include <utility>

namespace murvstream {

// The stop signals blocked on the calling thread while it lives (when
// held), as they were put back after.
class StopSignalsHeld {
public:
  explicit StopSignalsHeld(bool hold = true);
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;
  // The stop signals that the calling thread took before and no longer
  // takes: empty when it was not held, or had them blocked already.
  const sigset_t& released() const { return given; }

private:
  bool held;
  sigset_t before;
  sigset_t given;
};

// The stop signals as a set.
sigset_t stopSignalSet();

// Starts a thread that runs f with the stop signals blocked from its
// first instruction (it takes them blocked from the thread starting it).
// Throws what std::thread throws.
template <class F>
std::thread threadWithoutStopSignals(F&& f) {
  const StopSignalsHeld held;
  return std::thread(std::forward<F>(f));
}

}  // namespace murvstream

#endif
