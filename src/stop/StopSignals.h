#ifndef MURV_STOP_SIGNALS_H
#define MURV_STOP_SIGNALS_H

// The stop signals, SIGINT, SIGHUP and SIGTERM, as the toolbox's nodes take
// them: one handler for the process sets the stream nodes' stop flags, ends
// the pacing sleeps of the iteration in progress and passes the signal on
// to the handler that was there before (the host's).
//
// A host may handle a stop signal itself and go on, make many networks one
// after another (their nodes on one thread, their runs on another), or
// install a handler of its own, the same or a new one, before each: a stop
// ends the iteration's sleeps only, later iterations pace as usual, and
// what is kept of the host's handlers does not grow with the networks.

#include <poll.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "SignalChain.h"

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

// Who installs the stop-signal handler: a stream node, which waits for data
// and gives up on a stop signal, or a node that only paces its iterations,
// whose pacing sleep a stop signal cuts short.
enum class StopUser { streamNode, pacedNode };

// When a node was made, as its iterations tell a new network from the
// one its thread ran before.
struct NodeMade {
  std::uint64_t serial = 0;      // nodes made in the process, this one included
  std::uint32_t generation = 0;  // stop signals that had come by then, modulo 2^32
};

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
// Installing again while ours is in place keeps what it passes on to; a
// handler the host has installed over ours since is taken over in turn.
// Nodes call it when they are made, on whatever thread, and keep what it
// answers for their iterations (see IterationStop).
NodeMade installStopSignals(StopUser user = StopUser::streamNode);
void stopSignalHandler(int signal, siginfo_t* info, void* context);

// True once a stop signal has reached the handler above in this process;
// the stream nodes' waits give up for good then.
bool stopRequested();

// The number of stop signals that have reached the handler above, as a
// counter that wraps: a wait that remembers it is over once it has moved.
std::uint32_t stopSignalCount();

// The count above as the calling thread's iteration in progress began (see
// IterationStop), or as it is now on a thread that runs no iteration (a
// spinner's). A ROS callback run on a network's thread, inside a node's
// ros::spinOnce(), counts the stops of the whole iteration, as the
// iteration's sleeps do: a stop that came before the callback began still
// ends its pause.
std::uint32_t iterationStopCount();

// The steady clock, in microseconds.
std::int64_t steadyMicros();

// Sleeps until one of fds is readable, a signal interrupts, or micros have
// passed. An entry of -1 is left out, and the sleep then looks again at
// least every 10 ms.
void pollFor(pollfd* fds, nfds_t n, std::int64_t micros);

// A wake that the stop-signal handler writes: an eventfd taken from a
// small pool for the time of one sleep, empty when taken. Poll its fd()
// with whatever else the sleep waits for, and drain() it once it was
// readable before looking again. fd() is -1 when the pool had none free;
// pollFor() then looks on a short tick.
class StopWake {
public:
  StopWake();
  ~StopWake();
  StopWake(const StopWake&) = delete;
  StopWake& operator=(const StopWake&) = delete;
  int fd() const { return wakeFd; }
  void drain() const;

private:
  int slot = -1;
  int wakeFd = -1;
};

// Sleeps up to micros microseconds on the steady clock until over()
// answers true, looking at it first and again whenever a stop signal comes
// or wake (an eventfd of the caller's, -1 for none) turns readable; wake is
// not drained, so once it is readable over() should answer true. Answers
// over()'s last answer.
bool sleepUnless(std::int64_t micros, const std::function<bool()>& over, int wake = -1);

// The stop signals as one iteration of a network sees them. The iteration
// is the calling thread's, the one that runs the network, keyed by the
// network's count and by when its nodes were made: the first IterationStop
// of a new count on a thread, or of a node made after the thread's
// iteration began (a new network run on it, its count starting again),
// begins a new iteration. Which thread made the nodes does not matter.
// A stop signal ends every sleep of the iteration it comes in, the one in
// progress and those still to come, so that a host that stops after the
// iteration in progress stops soon whatever the nodes' rates. Later
// iterations sleep as usual: a host that handles the signal and goes on
// gets its pace back. A signal that comes between two iterations counts
// for the next one, and one that comes before the node that begins a
// network's first iteration was made counts for none.
class IterationStop {
public:
  IterationStop(int count, const NodeMade& node);
  // As for the node made last in the process, on whatever thread, for a
  // caller that kept nothing of installStopSignals().
  explicit IterationStop(int count);
  // A stop signal has come in this iteration.
  bool stopped() const;
  // Sleeps up to micros microseconds on the steady clock. Returns true at
  // once, or as soon as it comes, when a stop signal has come in this
  // iteration; false when the whole time has passed. Zero or less does not
  // sleep. On the thread the IterationStop was made on.
  bool sleep(std::int64_t micros) const;

private:
  std::uint32_t generation;
};

}  // namespace murvstream

#endif
