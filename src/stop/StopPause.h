#ifndef MURV_STOP_PAUSE_H
#define MURV_STOP_PAUSE_H

// The pause a ROS callback takes once it has handled a message, a service
// call or a reconfiguration (a node's ROS_DURATION), and what ends it early:
// a stop signal (SIGINT, SIGHUP, SIGTERM) that comes while the callback
// runs, or its node being destroyed. Neither a long pause nor a /clock that
// stands still can then hold a stop or a teardown: the callback returns at
// once, a service call or set request in its pause is answered, and what
// the callback handled before its pause stays handled.
//
// A callback marks its start and pauses last:
//
//   const murvnode::StopPause::Since since;  // the first thing it does
//   ...
//   pause.sleep(since);
//
// and the node's destructor calls end() before it stops its spinner or its
// subscriptions, which wait for a callback in progress. The node's
// constructor calls installStopSignals(), so that the signals reach the
// pause whatever host runs the node.
//
// A host that handles a stop signal itself and goes on gets its pauses
// back: a signal ends the pauses of the callbacks running when it comes,
// and on a network's thread (a callback run by a node's ros::spinOnce())
// those of the iteration it comes in.

#include <ros/duration.h>

#include <atomic>
#include <cstdint>

namespace murvnode {

class StopPause {
public:
  // When a callback began: a stop signal that comes after it ends the
  // callback's pause. On a thread inside a SetUp, the start of the set-up.
  class Since {
  public:
    Since();

  private:
    friend class StopPause;
    std::uint32_t signals;
  };

  // While one lives, callbacks that begin on its thread count stop signals
  // from its making: a reconfiguration node's set-up runs the first
  // callback itself, and a stop anywhere in the set-up ends that pause.
  // Scopes nest; the outermost counts.
  class SetUp {
  public:
    SetUp();
    ~SetUp();
    SetUp(const SetUp&) = delete;
    SetUp& operator=(const SetUp&) = delete;

  private:
    bool outermost;
  };

  // A pause of seconds (0 or more, below 2^31) on ROS time.
  explicit StopPause(double seconds = 0.0);
  ~StopPause();
  StopPause(const StopPause&) = delete;
  StopPause& operator=(const StopPause&) = delete;

  // Installs the toolbox's stop-signal handler (see StopSignals.h); called
  // by the constructor of every node that pauses in its callbacks or waits
  // in a call, on the thread that will run it.
  static void installStopSignals();

  // Sleeps the pause on ROS time (the wall clock, or /clock under
  // /use_sim_time). Returns at once, or as soon as it comes, when a stop
  // signal has come since since, end() has been called or ROS has been shut
  // down. Any number of threads may pause at once.
  void sleep(const Since& since) const;

  // Ends the pauses in progress and every later one at once, for good:
  // the node is going. Any thread may call it, also during a pause.
  void end();
  bool ended() const { return over.load(); }

  // Sleeps at most micros of the steady clock; answers true when a stop
  // signal since since, or end(), ended the sleep (at once when either has
  // come already), false when the time has passed.
  bool wait(const Since& since, std::int64_t micros) const;

private:
  ros::Duration duration;
  std::atomic<bool> over{false};
  const int endFd;  // readable from end() on, never emptied; -1: looked at on a short tick
};

}  // namespace murvnode

#endif
