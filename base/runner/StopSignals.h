#ifndef MURV_RUNNER_STOP_SIGNALS_H
#define MURV_RUNNER_STOP_SIGNALS_H

// The runner's stop signals: the first one asks the run to stop after the
// iteration in progress; a second one, before the run has stopped, takes
// the signal's default action.

namespace murvrun {

// Installed whatever the disposition was: a background job of a shell
// starts with SIGINT ignored. Stream nodes install their own handlers later
// and pass the signals on to this one.
void installStopHandlers();

// The signal that asked the run to stop, or 0.
int stopSignal();

}  // namespace murvrun

#endif
