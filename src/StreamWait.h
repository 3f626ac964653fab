#ifndef MURV_STREAM_WAIT_H
#define MURV_STREAM_WAIT_H

// How the stream nodes wait for data: the first-message wait, the data wait
// with its time-out, any other wait until a condition holds, and the stop
// signals that make a waiting node give up.
//
// A wait sleeps until something can have changed: a callback holder has
// queued a message and notified the waiter, a stop signal has come (the
// handler writes a process-wide wake that every wait sleeps on), the
// time-out is due, or a tick of about 100 ms has passed. The tick is there
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
// Nodes that only pace their iterations (they sleep on ROS_LOOP_RATE) call
// installStopSignals(StopUser::pacedNode) when they are made and sleep with
// sleepOrStop(), so that a stop signal cuts their sleep short too.

#include <signal.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "BaseException.h"

namespace murvstream {

// The stop flag of one stream node class, shared by all its instances: 0
// when the library is loaded, set to 1 by SIGINT, SIGHUP or SIGTERM, never
// cleared.
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

// What was in place for one signal before a handler of ours, and how that
// handler passes the signal on. A handler of ours calls passOn() once it has
// done its own work. Objects of this class must have static storage
// duration: a signal may come at any time, and passOn() is async-signal-safe
// (it reads what takeOver() wrote before our handler was installed, and
// touches only lock-free atomics).
class SignalChain {
public:
  // Our handlers take the signal's information and context, so that a
  // handler found that wants them gets what the kernel gave.
  using Handler = void (*)(int, siginfo_t*, void*);

  // defaultEnds: a default disposition found is the signal's default action
  // (the process ends as that signal ends it); otherwise it is left alone
  // and the signal only does what our handler does.
  constexpr SignalChain(int signal, bool defaultEnds) : sig(signal), defaultEnds(defaultEnds), found{} {}
  SignalChain(const SignalChain&) = delete;
  SignalChain& operator=(const SignalChain&) = delete;

  // Puts ours in place for the signal and records what was there. Finding
  // ours in place changes nothing. Someone else's handler found there
  // (installed after ours, by another library) is recorded too: it is
  // called first, and ours, when that handler calls it, passes on to the
  // one found before.
  // An ignored signal is left ignored: a process started under nohup, or in
  // the background of a shell, or by a host that wants none of them, must
  // not be stopped by one because one of our nodes was made.
  void takeOver(Handler ours);
  // Undoes the latest takeOver(): puts back what it found, if ours is still
  // in place.
  void giveBack(Handler ours);
  // Calls the handlers found, newest first and each once, with the
  // information and context our handler received: a handler found that
  // calls its predecessor re-enters ours, which then passes on to the next
  // older one; when none is left it returns instead of bouncing back.
  // A default disposition found either ends the process (defaultEnds: it is
  // put back and the signal raised again, to be taken when our handler
  // returns) or does nothing; an ignored one does nothing.
  void passOn(siginfo_t* info, void* context);
  // Changes what a default disposition found does from now on.
  void setDefaultEnds(bool ends) { defaultEnds.store(ends); }

private:
  void call(const struct sigaction& found, siginfo_t* info, void* context);
  static const int maxFound = 8;
  const int sig;
  std::atomic<bool> defaultEnds;
  struct sigaction found[maxFound];
  std::atomic<int> count{0};  // entries of found the handler may read
  std::atomic<int> depth{0};  // passOn() calls in progress
  static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may only use lock-free atomics");
};

// Who installs the stop-signal handler: a stream node, which waits for data
// and gives up on a stop signal, or a node that only paces its iterations,
// whose pacing sleep a stop signal cuts short.
enum class StopUser { streamNode, pacedNode };

// Installs the stop-signal handler for SIGINT, SIGHUP and SIGTERM. There is
// one handler for the whole process: it sets the flag of every stream node
// class, so stream nodes of several classes in one network all stop, and
// wakes every wait and pacing sleep at once. It then passes the signal on to
// the handler each signal had before (the network runner's, which stops the
// run after the iteration in progress), so a signal that comes while no
// stream node waits still ends the network.
// A signal that was ignored stays ignored. A default disposition found stays
// the signal's default action (the process ends as it would without us),
// except that once a stream node has been made SIGINT and SIGHUP only stop
// the waits, so that the network can end through its nodes.
// Installing again keeps that chain as it is.
void installStopSignals(StopUser user = StopUser::streamNode);
void stopSignalHandler(int signal, siginfo_t* info, void* context);

// True once a stop signal has reached the handler above in this process.
bool stopRequested();

// Sleeps up to micros microseconds on the steady clock. Returns true at
// once, or as soon as it comes, when a stop signal has reached the handler
// above; false when the whole time has passed. Zero or less does not sleep.
bool sleepOrStop(std::int64_t micros);

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

// From this KILL_TIME_LEN on a data wait never times out: network files
// use a large value to mean "no time-out".
constexpr long long neverTimesOut = 9999999;

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
    return waitUntil(hasData, killNetwork ? killTimeLen : neverTimesOut, line);
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
