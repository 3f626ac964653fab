#ifndef MURV_STREAM_WAIT_H
#define MURV_STREAM_WAIT_H

// How the stream nodes wait for data: the first-message wait, the data wait
// with its time-out, and any other wait until a condition holds.
//
// A wait sleeps until something can have changed: a callback holder has
// queued a message and notified the waiter, a stop signal has come (the
// handler writes the stop wake the wait sleeps on), the time-out is due, or a tick of about 100 ms has passed. The tick is there
// only for ROS going away (rosnode kill, a master that shut the node down),
// which nothing notifies.
//
// Adopting the waits in a stream node (a few lines):
//
//   - the callback holder owns a WaitNotifier and notifies it after every
//     message it has queued, once its lock is released:
//
//       murvstream::WaitNotifier arrivals;  // member of the holder
//       ...
//       murvmsg::receiveInto(typeName, *msg, fifo_lock, fifo, capacity,
//                            [this] { first_message_flag = 0; });
//       arrivals.notify();
//
//   - the node constructs its StreamWaiter as a member, and once it has
//     made its holder, before anything is subscribed, hands the holder the
//     waiter's notifier (a node with several holders hands it to each):
//
//       holder->arrivals = waiter.notifier();
//
//   - calculate() waits as before, with predicates that take the holder's
//     lock for each look:
//
//       waiter.waitFirstMessage([&] { return h.firstMessageArrived(); }, line);
//       if (!waiter.waitForData([&] { return murvmsg::entriesIn(h.fifo_lock, fifo) > 0; },
//                               killTimeLen, killNetwork, line))
//         ...NOT_EOF false...
//
//   - a wait until some other condition holds (for instance until the
//     newest joint state is at or after a message's time) is
//     waitUntil(done, timeLimit, line), or waitUntil(done, line) without a
//     time limit: done() is called at the start of every round and must
//     test what it reads in the same call (a value read in one round and
//     tested only in the next would wait a tick for nothing).
//
// A notification that finds nobody waiting is kept: a wait that tests its
// condition after it has been sent sees the change, and one that tested
// before does not block on it. A notification without a change only costs
// one more look.
//
// The stop signals that make a waiting node give up are in StopSignals.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BaseException.h"
#include "StopSignals.h"

namespace murvstream {

// Wakes the waits of one StreamWaiter. Copies share one wake-up: a copy
// taken from StreamWaiter::notifier() wakes that waiter's waits. A notifier
// made on its own wakes nobody until it is replaced by such a copy, which
// must happen before any thread can notify it.
class WaitNotifier {
public:
  WaitNotifier();
  // Tells the waiter that what it waits for may have changed. Call it
  // after the change, with no lock of the caller held. Never throws.
  void notify() const noexcept;

  // The number of notifications so far.
  std::uint64_t notifications() const;
  // Blocks until notifications() is no longer seen, a stop signal has come
  // (stopRequested()), or the steady clock (std::chrono::steady_clock, in
  // microseconds) reads untilMicros. One thread at a time waits on the
  // notifiers of one waiter.
  void waitPast(std::uint64_t seen, std::int64_t untilMicros) const;

private:
  struct State;
  std::shared_ptr<State> state;
};

// Time and the world as the waits see them; replaced in tests.
class WaitEnvironment {
public:
  virtual ~WaitEnvironment() {}
  // A steady clock, in microseconds: a wall-clock step cannot fake a
  // silence or hide one.
  virtual std::int64_t nowMicros() = 0;
  // Sleeps until wake has been notified past seen, a stop signal has come,
  // or nowMicros() reads untilMicros.
  virtual void block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t untilMicros) = 0;
  // The longest sleep between two looks at ROS.
  virtual std::int64_t tickMicros() = 0;
  virtual bool rosRunning() = 0;  // false once ROS has been shut down
};

// The real one: the steady clock, the notifier's and the stop signals'
// wakes, ros::ok().
class SteadyWaitEnvironment : public WaitEnvironment {
public:
  explicit SteadyWaitEnvironment(std::int64_t tickMicros = 100000);
  std::int64_t nowMicros() override;
  void block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t untilMicros) override;
  std::int64_t tickMicros() override { return tick; }
  bool rosRunning() override;

private:
  std::int64_t tick;
};
WaitEnvironment& realWaitEnvironment();

// The force-quit exception of a stream node: no node, the node's name and
// " Force-quit...", the node's source file and the line of the wait.
MURV::NodeException* forceQuit(const std::string& nodeName, const char* file, int line);
// The exception of a node that gave up because ROS has been shut down
// (rosnode kill, a master that shut the node down): no node, the node's
// name and " stopped waiting: ROS has been shut down", file and line.
MURV::NodeException* rosShutDown(const std::string& nodeName, const char* file, int line);
// Whether ROS that had started in this process has been shut down: nothing
// a node does reaches ROS any more. A process that never joined ROS (a
// test's, a host's that runs no ROS node) has none to lose.
bool rosGone();

// From this KILL_TIME_LEN on a data wait never times out: network files
// use a large value to mean "no time-out".
constexpr long long neverTimesOut = 9999999;

// The longest silence, in microseconds, after which a stream ends: its
// KILL_TIME_LEN when KILL_NETWORK is set and KILL_TIME_LEN is below
// neverTimesOut; none otherwise.
inline std::optional<std::int64_t> silenceLimit(long long killTimeLen, bool killNetwork) {
  if (!killNetwork || killTimeLen >= neverTimesOut) return std::nullopt;
  return killTimeLen;
}

class StreamWaiter {
public:
  StreamWaiter(std::string nodeName, const StopFlag& stop, const char* file,
               WaitEnvironment& env = realWaitEnvironment());

  // The notifier that callback holders notify (see the top of this file).
  const WaitNotifier& notifier() const { return wake; }

  // Each wait gives up with the force-quit exception naming line when it
  // finds the stop flag set (or a stop signal come), and with a node
  // exception when ROS has gone.

  // Waits, without a time-out, until arrived() holds.
  void waitFirstMessage(const std::function<bool()>& arrived, int line);
  // Waits until done() holds (true) or until more than timeLimit
  // microseconds have passed on the steady clock (false). A round looks at
  // done(), then at the time, then at the stop flag, so a time-out due in
  // the round of a stop signal wins. A negative timeLimit ends the wait in
  // its first round that finds done() false; from neverTimesOut on there is
  // no time limit.
  bool waitUntil(const std::function<bool()>& done, long long timeLimit, int line);
  // Waits, without a time-out, until done() holds.
  void waitUntil(const std::function<bool()>& done, int line) { waitUntil(done, neverTimesOut, line); }
  // Waits until hasData() holds (true) or, when killNetwork is set, until
  // more than killTimeLen microseconds of silence have passed (false), as
  // waitUntil does.
  bool waitForData(const std::function<bool()>& hasData, long long killTimeLen, bool killNetwork, int line) {
    return waitUntil(hasData, silenceLimit(killTimeLen, killNetwork).value_or(neverTimesOut), line);
  }

  // The waits' steady clock, in microseconds.
  std::int64_t nowMicros() { return env.nowMicros(); }

private:
  void giveUpIfStopped(int line);
  std::string nodeName;
  const StopFlag& stop;
  const char* file;
  WaitEnvironment& env;
  WaitNotifier wake;
};

}  // namespace murvstream

#endif
