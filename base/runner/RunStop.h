#ifndef MURV_RUNNER_RUN_STOP_H
#define MURV_RUNNER_RUN_STOP_H

// How murv-run is asked to stop: by SIGINT, SIGTERM or SIGHUP. The first one
// asks the run to stop, while the description is read, during set-up or
// after the iteration in progress. Any stop signal within 100 ms of the
// first, from any sender, is part of the same stop (a wrapper's forwarded
// copy, timeout's second copy); so is a SIGHUP at any time after it. A
// SIGINT or SIGTERM later than that, before the run has stopped, takes the
// signal's default action. (The toolbox's nodes take these signals in any
// host through src/stop/StopSignals; this is the runner's own.)
//
// The stop signals are taken by one thread that does nothing else; every
// other thread of the runner (the network's, and every thread it or
// roscpp starts) has them blocked, so that a signal never breaks off a
// system call of theirs (a call of roscpp to the master, which it would
// send again). The handlers run on that thread and wake the waits through
// their eventfds.

namespace murvrun {

// Installs the runner's handlers and starts the thread that takes the stop
// signals; the calling thread, and the threads it starts later, then have
// them blocked. Called first thing in main. SIGINT and SIGTERM are taken
// whatever their disposition was: a background job of a shell starts with
// SIGINT ignored. A SIGHUP ignored when the runner starts (nohup) stays
// ignored. Stream nodes install their own handlers later and pass the
// signals on to this one.
void installStopHandlers();

// The signal that asked the run to stop, or 0.
int stopSignal();

// The same, for a run that has just failed: a node may have seen a stop
// (the toolbox's handler, which runs before the runner's, sets the nodes'
// stop flags) a moment before the runner's handler has recorded it. Once a
// stop signal's handlers that are running have returned, at most a second
// later.
int settledStopSignal();

// A descriptor that turns readable once the first stop signal has come (-1
// before installStopHandlers(), or when none could be made); never read.
int stopWakeFd();

}  // namespace murvrun

#endif
