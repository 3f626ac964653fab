#ifndef MURV_SIGNAL_CHAIN_H
#define MURV_SIGNAL_CHAIN_H

// What was in place for one signal before a handler of ours, and how that
// handler passes the signal on, so that a handler of ours and the host's
// (or another library's) each get the signal once.

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>

namespace murvstream {

// A handler of ours calls passOn() once it has done its own work. Objects
// of this class must have static storage duration: a signal may come at
// any time, and passOn() is async-signal-safe (it touches only lock-free
// atomics and makes only async-signal-safe calls). takeOver() and
// giveBack() are called on one thread at a time.
//
// Two dispositions are kept, whatever number of networks and handlers
// come: the latest one found, what was in place the latest time ours was
// put in place; and the original one, what the signal had before ours was
// first put in place (its default, or the host's handler then). A handler
// found between the two, that the host replaced by a new one before a
// later network, is forgotten: the host may have unloaded it since.
class SignalChain {
public:
  // Our handlers take the signal's information and context, so that a
  // handler found that wants them gets what the kernel gave.
  using Handler = void (*)(int, siginfo_t*, void*);

  // defaultEnds: a default disposition found is the signal's default action
  // (the process ends as that signal ends it); otherwise it is left alone
  // and the signal only does what our handler does.
  constexpr SignalChain(int signal, bool defaultEnds) : sig(signal), defaultEnds(defaultEnds), kept{} {}
  SignalChain(const SignalChain&) = delete;
  SignalChain& operator=(const SignalChain&) = delete;

  // Puts ours in place for the signal and records what was there as the
  // latest disposition found (and, the first time, as the original one).
  // Finding ours in place changes nothing. Someone else's handler found
  // there (installed over ours, by the host or another library) is
  // recorded too: ours is called first then, and passes on to it.
  // An ignored signal is left ignored: a process started under nohup, or in
  // the background of a shell, or by a host that wants none of them, must
  // not be stopped by one because one of our nodes was made.
  void takeOver(Handler ours);
  // Undoes the latest takeOver(): puts back what it found, if ours is still
  // in place, and forgets both dispositions.
  void giveBack(Handler ours);
  // Calls the latest disposition found, with the information and context
  // our handler received. When that one calls ours back (a handler
  // installed over ours calls what it found), ours passes on to the
  // original disposition, unless it is the same; when that calls ours back
  // in turn, ours returns instead of bouncing back. So each is called once.
  // A handler that the kernel called before ours (installed over ours
  // again) is not called a second time: ours goes on as if it had called
  // it.
  // A handler recorded that was installed with SA_RESETHAND is called once;
  // after that it is a default disposition, as the kernel would make it.
  // The kernel resets such a handler as it calls it: when ours finds the
  // default in place, a one-shot handler installed over ours has had its
  // call, and a one-shot handler recorded is taken for it.
  // A default disposition recorded either ends the process (defaultEnds: it
  // is put back and the signal raised again, to be taken when our handler
  // returns) or does nothing.
  void passOn(siginfo_t* info, void* context);
  // Changes what a default disposition found does from now on.
  void setDefaultEnds(bool ends) { defaultEnds.store(ends); }

private:
  enum Kind { nothing, ignored, byDefault, handler };
  // A disposition as the signal handler reads it.
  struct Disposition {
    int kind = nothing;
    void (*plain)(int) = nullptr;
    Handler withInfo = nullptr;
    int flags = 0;  // those that change how it is called
    bool operator==(const Disposition& o) const {
      return kind == o.kind && plain == o.plain && withInfo == o.withInfo && flags == o.flags;
    }
  };
  // Both, and since when each is recorded: a one-shot handler has one call
  // per recording.
  struct Found {
    Disposition latest, original;
    std::uint32_t version, originalSince;
  };
  struct Atomic {
    std::atomic<int> kind{nothing};
    std::atomic<void (*)(int)> plain{nullptr};
    std::atomic<Handler> withInfo{nullptr};
    std::atomic<int> flags{0};
    void store(const Disposition& d);
    Disposition load() const;
  };
  // One of the two copies of what is recorded. takeOver() writes the copy
  // that is not current, then makes it current, so a handler that
  // interrupts it reads a whole copy.
  struct Copy {
    Atomic latest, original;
    std::atomic<std::uint32_t> originalSince{0};
  };
  // A thread passing the signal on (0: free), and whether the original is
  // still to be called when the latest calls ours back.
  struct Passing {
    std::atomic<pid_t> thread{0};
    std::atomic<bool> originalDue{false};
  };
  static Disposition dispositionOf(const struct sigaction& a);
  void record(const struct sigaction* found, bool asOriginal);
  Found current() const;
  Disposition onTop(const Found& found) const;
  bool takeOneShotCall(std::atomic<std::uint32_t>& spent, std::uint32_t since);
  void call(const Disposition& d, std::atomic<std::uint32_t>& spent, std::uint32_t since, siginfo_t* info,
            void* context);
  void callOriginal(siginfo_t* info, void* context);
  void takeDefaultAction();

  const int sig;
  std::atomic<bool> defaultEnds;
  // The latest disposition found, whole, for giveBack(); written and read
  // by takeOver() and giveBack() only.
  struct sigaction kept;
  bool keeping = false;
  Copy copies[2];
  std::atomic<std::uint32_t> version{0};  // copies[version & 1] is current
  // Since when the one-shot handler recorded has had its call: a new
  // recording, even of the same handler installed again, gets its call
  // anew, as the kernel gives it.
  std::atomic<std::uint32_t> latestSpent{~0u};
  std::atomic<std::uint32_t> originalSpent{~0u};
  std::atomic<Handler> ours{nullptr};
  // A handler called that calls ours re-enters it on the same thread: without
  // a thread's own storage, which a signal handler may not use, that is how
  // ours knows. Deliveries on more threads at once than there are entries
  // only set our flags.
  static const int passingThreads = 8;
  Passing passing[passingThreads];
  static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<pid_t>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<Handler>::is_always_lock_free, "a signal handler may only use lock-free atomics");
  static_assert(std::atomic<void (*)(int)>::is_always_lock_free, "a signal handler may only use lock-free atomics");
};

}  // namespace murvstream

#endif
