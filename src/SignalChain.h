#ifndef MURV_SIGNAL_CHAIN_H
#define MURV_SIGNAL_CHAIN_H

// What was in place for one signal before a handler of ours, and how that
// handler passes the signal on, so that a handler of ours and the host's
// (or another library's) each get the signal once.

#include <signal.h>

#include <atomic>
#include <cstdint>

namespace murvstream {

// A handler of ours calls passOn() once it has done its own work. Objects
// of this class must have static storage duration: a signal may come at
// any time, and passOn() is async-signal-safe (it reads only entries that
// takeOver() wrote before they could be reached, and touches only lock-free
// atomics). takeOver() and giveBack() are called on one thread at a time.
class SignalChain {
public:
  // Our handlers take the signal's information and context, so that a
  // handler found that wants them gets what the kernel gave.
  using Handler = void (*)(int, siginfo_t*, void*);

  // defaultEnds: a default disposition found is the signal's default action
  // (the process ends as that signal ends it); otherwise it is left alone
  // and the signal only does what our handler does.
  constexpr SignalChain(int signal, bool defaultEnds) : sig(signal), defaultEnds(defaultEnds), found{}, spent{} {}
  SignalChain(const SignalChain&) = delete;
  SignalChain& operator=(const SignalChain&) = delete;

  // Puts ours in place for the signal and records what was there. Finding
  // ours in place changes nothing. Someone else's handler found there
  // (installed after ours, by the host or another library) is recorded
  // too: it is called first, and ours, when that handler calls it, passes
  // on to the one found before.
  // A handler found again (a host that installs its handler anew before
  // each network) is not recorded twice: it moves up to be the newest, so
  // the chain does not grow and the handler is still called once.
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
  // older one; when none is left it returns instead of bouncing back. A
  // handler found that the kernel called before ours (one installed over
  // ours again) is not called a second time.
  // A handler found that was installed with SA_RESETHAND is called once;
  // after that it is a default disposition, as the kernel would make it.
  // A default disposition found either ends the process (defaultEnds: it is
  // put back and the signal raised again, to be taken when our handler
  // returns) or does nothing; an ignored one does nothing.
  void passOn(siginfo_t* info, void* context);
  // Changes what a default disposition found does from now on.
  void setDefaultEnds(bool ends) { defaultEnds.store(ends); }

private:
  static const int maxFound = 8;
  int entryFor(const struct sigaction& now);
  int calledBeforeUs(std::uint32_t chain) const;
  void call(int entry, siginfo_t* info, void* context);
  void takeDefaultAction();

  const int sig;
  std::atomic<bool> defaultEnds;
  // Each disposition found, once: an entry is written before it is counted
  // and never written again.
  struct sigaction found[maxFound];
  std::atomic<bool> spent[maxFound];  // a SA_RESETHAND handler that has been called
  std::atomic<int> entries{0};
  // The chain, oldest first: entry numbers of 3 bits each, and the length
  // from bit 24. One word, so the handler reads a whole chain or none.
  std::atomic<std::uint32_t> chain{0};
  std::atomic<Handler> ours{nullptr};
  // The walk in progress: how deep ours is re-entered, where the next call
  // goes, and the entry the kernel called before ours (-1 if none).
  std::atomic<int> depth{0};
  std::atomic<int> next{0};
  std::atomic<int> skipped{-1};
  static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<Handler>::is_always_lock_free, "a signal handler may only use lock-free atomics");
};

}  // namespace murvstream

#endif
