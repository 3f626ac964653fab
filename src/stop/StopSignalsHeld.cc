#include "StopSignalsHeld.h"

#include <pthread.h>

namespace murvstream {

sigset_t stopSignalSet() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, sig);
  return stops;
}

StopSignalsHeld::StopSignalsHeld(bool hold) {
  sigemptyset(&before);
  sigemptyset(&given);
  const sigset_t stops = stopSignalSet();
  held = hold && pthread_sigmask(SIG_BLOCK, &stops, &before) == 0;
  if (!held) return;
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    if (!sigismember(&before, sig)) sigaddset(&given, sig);
}

StopSignalsHeld::~StopSignalsHeld() {
  if (held) pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace murvstream
