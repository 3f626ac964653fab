#ifndef MURV_STREAM_WAIT_H
#define MURV_STREAM_WAIT_H

// How the stream nodes wait for data: the first-message wait, the data wait
// with its time-out, and the stop signals that make a waiting node give up.

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "BaseException.h"

namespace murvstream {

// The stop flag of one stream node class, shared by all its instances: 0
// when the library is loaded, set to 1 by SIGINT or SIGHUP, never cleared.
// The signal handler may write it at any time, so it must have static
// storage duration. The handler runs on whichever thread the process picks,
// not necessarily the one that waits, so the flag is a lock-free atomic
// (which a signal handler may touch) rather than a volatile sig_atomic_t,
// which is only safe within one thread.
class StopFlag {
public:
  StopFlag();  // registers the flag with the process's signal handler
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;
  bool isSet() const { return value.load(std::memory_order_relaxed) != 0; }
  void set() { value.store(1, std::memory_order_relaxed); }

private:
  static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  std::atomic<int> value{0};
};

// Installs the stop-signal handler for SIGINT and SIGHUP. There is one
// handler for the whole process, and it sets the flag of every stream node
// class, so stream nodes of several classes in one network all stop.
void installStopSignals();
void stopSignalHandler(int signal);

// Time and the world as the waits see them; replaced in tests.
class WaitEnvironment {
public:
  virtual ~WaitEnvironment() {}
  virtual std::int64_t nowMicros() = 0;  // a steady clock: a wall-clock step cannot fake a silence
  virtual void pause() = 0;              // one poll interval
  virtual bool rosRunning() = 0;         // false once ROS has been shut down
};
WaitEnvironment& realWaitEnvironment();

// The force-quit exception of a stream node: no node, the node's name and
// " Force-quit...", the node's source file and the line of the wait.
MURV::NodeException* forceQuit(const std::string& nodeName, const char* file, int line);

class StreamWaiter {
public:
  StreamWaiter(std::string nodeName, const StopFlag& stop, const char* file,
               WaitEnvironment& env = realWaitEnvironment());

  // Waits, without a time-out, until arrived() holds.
  void waitFirstMessage(const std::function<bool()>& arrived, int line);
  // Waits until hasData() holds (true) or, when killNetwork is set, until
  // more than killTimeLen microseconds of silence have passed (false).
  bool waitForData(const std::function<bool()>& hasData, long long killTimeLen, bool killNetwork, int line);
  // Waits, without a time-out, until holds() holds, as the first-message
  // wait does, for a condition on anything a callback may change.
  void waitUntil(const std::function<bool()>& holds, int line);

private:
  void giveUpIfStopped(int line);
  std::string nodeName;
  const StopFlag& stop;
  const char* file;
  WaitEnvironment& env;
};

}  // namespace murvstream

#endif
