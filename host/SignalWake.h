#ifndef MURV_SIGNAL_WAKE_H
#define MURV_SIGNAL_WAKE_H

// Waking a waiting thread from a signal handler or another thread, through
// an eventfd that the waiter polls, and asking whether a signal is ignored.
// Everything here but newWake() and signalIgnored() is async-signal-safe.

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace murvwake {

// A wake, unset; -1 when none could be made (the waiter then looks on a
// tick of its own).
inline int newWake() { return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

// Sets the wake fd, when there is one. Only a counter at 2^64 - 2 unread
// refuses the write, and it is readable all the same.
inline void wake(int fd) {
  if (fd < 0) return;
  const std::uint64_t one = 1;
  ssize_t written = write(fd, &one, sizeof one);
  (void)written;
}

// Unsets the wake fd; one that is not set stays so.
inline void drain(int fd) {
  if (fd < 0) return;
  std::uint64_t drained;
  ssize_t got = read(fd, &drained, sizeof drained);
  (void)got;
}

// Whether a disposition ignores its signal. sa_handler and sa_sigaction
// share their storage, so SIG_IGN means the same whatever the flags say.
inline bool ignores(const struct sigaction& a) { return a.sa_handler == SIG_IGN; }

// Whether sig is ignored now (under nohup, or in a shell's background job).
inline bool signalIgnored(int sig) {
  struct sigaction now;
  return sigaction(sig, nullptr, &now) == 0 && ignores(now);
}

}  // namespace murvwake

#endif
