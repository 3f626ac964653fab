#ifndef MURV_MASTER_WAIT_H
#define MURV_MASTER_WAIT_H

// The stop of a ROS node's start-up. roscpp waits for a master that does
// not answer without end while the first node handle is made (it retries
// registering /rosout), and gives up once it is shut down. ROS is
// initialised without its own SIGINT handler, and the network runner's
// handler only records a signal: for the time of that wait a stop signal is
// recorded, wakes the wait, then goes on to the handler that was in place
// (a default disposition found is the signal's default action).

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace murvmaster {

// Our handler for the stop signals while it lives, the ones found put back
// afterwards. A stop that comes while roscpp starts asks roscpp to shut
// down, which it does on a thread of its own, at a point of its start-up
// where it can; the start-up then skips the registrations still to come.
// roscpp unregisters what it has listed so far, and the master may take the
// registration under way after that; so once the start-up has ended, the
// node unregisters what the master still holds. The request comes from a
// watcher, an ordinary thread, which also marks the starting thread as
// leaving, so that a call the master lets wait is cut after the leave
// limit. Before a stop the watcher sleeps.
class MasterWait {
public:
  // who and uri name the node and the master in the wait's notices.
  MasterWait(std::string who, std::string uri);
  ~MasterWait();
  MasterWait(const MasterWait&) = delete;
  MasterWait& operator=(const MasterWait&) = delete;
  bool stopped() const;
  int wakeFd() const { return wake; }
  // Runs start, roscpp's start-up, on the calling thread, unless a stop
  // has come. While it runs the stop signals are blocked on this thread
  // when the watcher runs to take them: taken here, a signal would break
  // off a call roscpp makes to the master (its poll fails with EINTR, and
  // the call with it), though the master may still take what was sent, and
  // roscpp would not know of a registration the master keeps. One sent to
  // this thread alone comes when start returns.
  void startRos(const std::function<void()>& start);
  // Whether the watcher runs, to take the stop signals.
  bool watched() const { return ending >= 0; }

  // Whether to go on waiting for an answer: until a stop signal. While
  // nothing answers it says so on standard error, a second into the wait
  // and every 30 s after that, naming the signals that end it.
  bool goOn();

private:
  void watch();

  const std::string who, uri, signals;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  int notices = 0;
  int wake = -1;
  int ending;  // the watcher's end, -1 when no watcher runs
  std::atomic<pid_t> starting{0};  // the thread that starts roscpp, once it does
  std::thread watcher;
};

}  // namespace murvmaster

#endif
