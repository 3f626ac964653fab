#include "SignalChain.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "SignalWake.h"

namespace murvstream {

namespace {

// sa_handler and sa_sigaction share their storage: SIG_DFL means the same
// whatever the flags say, as SIG_IGN does.
bool defaults(const struct sigaction& a) { return a.sa_handler == SIG_DFL; }

bool isHandler(const struct sigaction& a) { return !defaults(a) && !murvwake::ignores(a); }

bool resetsOnCall(const struct sigaction& a) { return isHandler(a) && (a.sa_flags & SA_RESETHAND); }

bool isOurs(const struct sigaction& a, SignalChain::Handler ours) {
  return (a.sa_flags & SA_SIGINFO) && a.sa_sigaction == ours;
}

}  // namespace

void SignalChain::Atomic::store(const Disposition& d) {
  kind.store(d.kind);
  plain.store(d.plain);
  withInfo.store(d.withInfo);
  flags.store(d.flags);
}

SignalChain::Disposition SignalChain::Atomic::load() const {
  Disposition d;
  d.kind = kind.load();
  d.plain = plain.load();
  d.withInfo = withInfo.load();
  d.flags = flags.load();
  return d;
}

SignalChain::Disposition SignalChain::dispositionOf(const struct sigaction& a) {
  Disposition d;
  if (murvwake::ignores(a)) {
    d.kind = ignored;
  } else if (defaults(a)) {
    d.kind = byDefault;
  } else {
    d.kind = handler;
    d.flags = a.sa_flags & (SA_SIGINFO | SA_RESETHAND);
    if (a.sa_flags & SA_SIGINFO)
      d.withInfo = a.sa_sigaction;
    else
      d.plain = a.sa_handler;
  }
  return d;
}

void SignalChain::record(const struct sigaction* found, bool asOriginal) {
  const Disposition d = found ? dispositionOf(*found) : Disposition();
  const std::uint32_t next = version.load() + 1;
  const Copy& before = copies[(next - 1) & 1];
  Copy& copy = copies[next & 1];
  copy.latest.store(d);
  copy.original.store(asOriginal ? d : before.original.load());
  copy.originalSince.store(asOriginal ? next : before.originalSince.load());
  version.store(next);
  keeping = found != nullptr;
  if (found) kept = *found;
}

// A copy that takeOver() began to write again while it was read is read
// anew; takeOver() is never held up by a signal handler, so this ends.
SignalChain::Found SignalChain::current() const {
  for (;;) {
    const std::uint32_t v = version.load();
    const Copy& copy = copies[v & 1];
    const Found found{copy.latest.load(), copy.original.load(), v, copy.originalSince.load()};
    if (version.load() == v) return found;
  }
}

void SignalChain::takeOver(Handler handler) {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0) return;
  if (isOurs(now, handler)) return;
  // Ignored (under nohup, in a shell's background, by the host's choice),
  // a signal stays ignored: taken over, it would stop the waits.
  if (murvwake::ignores(now)) return;
  // Recorded before ours is in place: a signal in between goes to the
  // handler found, whatever ours would pass on.
  const bool first = !keeping;
  const struct sigaction before = kept;
  record(&now, first);
  ours.store(handler);
  struct sigaction replacement {};
  replacement.sa_sigaction = handler;
  sigemptyset(&replacement.sa_mask);
  replacement.sa_flags = SA_SIGINFO | SA_RESTART;
  if (sigaction(sig, &replacement, nullptr) != 0) record(first ? nullptr : &before, first);
}

void SignalChain::giveBack(Handler handler) {
  struct sigaction now;
  if (!keeping || sigaction(sig, nullptr, &now) != 0 || !isOurs(now, handler)) return;
  struct sigaction back = kept;
  // The kernel would have reset a one-shot handler that has had its call.
  if (resetsOnCall(back) && latestSpent.load() == version.load()) {
    back = {};
    back.sa_handler = SIG_DFL;
    sigemptyset(&back.sa_mask);
  }
  sigaction(sig, &back, nullptr);
  record(nullptr, true);
}

// The disposition in place when it is not ours: a handler installed over
// ours, which the kernel called and which called ours; or, when the kernel
// has reset a one-shot handler as it called it, the one-shot handler
// recorded. Nothing when ours is in place.
SignalChain::Disposition SignalChain::onTop(const Found& found) const {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0 || isOurs(now, ours.load())) return Disposition();
  if (!defaults(now)) return dispositionOf(now);
  for (const Disposition& d : {found.latest, found.original})
    if (d.kind == handler && (d.flags & SA_RESETHAND)) return d;
  return Disposition();
}

// True for the first caller of a one-shot handler recorded since then.
bool SignalChain::takeOneShotCall(std::atomic<std::uint32_t>& spent, std::uint32_t since) {
  std::uint32_t seen = spent.load();
  while (seen != since)
    if (spent.compare_exchange_weak(seen, since)) return true;
  return false;
}

void SignalChain::passOn(siginfo_t* info, void* context) {
  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  for (Passing& p : passing)
    if (p.thread.load() == self) {  // called back by the handler we called
      if (p.originalDue.exchange(false)) callOriginal(info, context);
      return;
    }
  Passing* mine = nullptr;
  for (Passing& p : passing) {
    pid_t free = 0;
    if (p.thread.compare_exchange_strong(free, self)) {
      mine = &p;
      break;
    }
  }
  if (!mine) return;
  const Found found = current();
  const Disposition top = onTop(found);
  const bool calledFirst = top.kind == handler;
  // A one-shot handler the kernel called has had its call.
  if (calledFirst && (top.flags & SA_RESETHAND)) {
    if (top == found.latest) takeOneShotCall(latestSpent, found.version);
    if (top == found.original) takeOneShotCall(originalSpent, found.originalSince);
  }
  const bool originalDue =
      found.original.kind != nothing && !(found.original == found.latest) && !(calledFirst && top == found.original);
  if (calledFirst && top == found.latest) {
    if (originalDue) callOriginal(info, context);
  } else {
    mine->originalDue.store(originalDue);
    call(found.latest, latestSpent, found.version, info, context);
  }
  mine->originalDue.store(false);
  mine->thread.store(0);
}

void SignalChain::callOriginal(siginfo_t* info, void* context) {
  const Found found = current();
  call(found.original, originalSpent, found.originalSince, info, context);
}

void SignalChain::call(const Disposition& d, std::atomic<std::uint32_t>& spent, std::uint32_t since, siginfo_t* info,
                       void* context) {
  if (d.kind != handler && d.kind != byDefault) return;
  if (d.kind == byDefault || ((d.flags & SA_RESETHAND) && !takeOneShotCall(spent, since))) {
    takeDefaultAction();
  } else if (d.withInfo) {
    siginfo_t madeUp {};  // only when ours was called by hand, not by the kernel
    if (!info) {
      madeUp.si_signo = sig;
      info = &madeUp;
    }
    d.withInfo(sig, info, context);
  } else {
    d.plain(sig);
  }
}

void SignalChain::takeDefaultAction() {
  if (!defaultEnds.load()) return;
  // Blocked while a handler for it runs, the signal raised again is taken
  // once ours returns, with its default action.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);
}

}  // namespace murvstream
