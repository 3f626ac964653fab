#include "SignalChain.h"

namespace murvstream {

namespace {

bool disposition(const struct sigaction& a, void (*which)(int)) {
  // sa_handler and sa_sigaction share their storage: SIG_DFL and SIG_IGN
  // mean the same whatever the flags say.
  return a.sa_handler == which;
}

bool isHandler(const struct sigaction& a) { return !disposition(a, SIG_DFL) && !disposition(a, SIG_IGN); }

bool resetsOnCall(const struct sigaction& a) { return isHandler(a) && (a.sa_flags & SA_RESETHAND); }

// The same handler, called the same way.
bool sameDisposition(const struct sigaction& a, const struct sigaction& b) {
  const int how = SA_SIGINFO | SA_RESETHAND;
  return a.sa_handler == b.sa_handler && (!isHandler(a) || (a.sa_flags & how) == (b.sa_flags & how));
}

bool isOurs(const struct sigaction& a, SignalChain::Handler ours) {
  return (a.sa_flags & SA_SIGINFO) && a.sa_sigaction == ours;
}

// The chain as one word: entry numbers of 3 bits, oldest first, and the
// length from bit 24.
const int lengthShift = 24;
int lengthOf(std::uint32_t chain) { return static_cast<int>(chain >> lengthShift); }
int entryAt(std::uint32_t chain, int i) { return static_cast<int>((chain >> (3 * i)) & 7u); }

std::uint32_t withNewest(std::uint32_t chain, int entry) {
  std::uint32_t made = 0;
  int n = 0;
  for (int i = 0; i < lengthOf(chain); ++i)
    if (entryAt(chain, i) != entry) made |= static_cast<std::uint32_t>(entryAt(chain, i)) << (3 * n++);
  made |= static_cast<std::uint32_t>(entry) << (3 * n++);
  return made | static_cast<std::uint32_t>(n) << lengthShift;
}

std::uint32_t withoutNewest(std::uint32_t chain) {
  const int n = lengthOf(chain) - 1;
  const std::uint32_t kept = chain & ((1u << (3 * n)) - 1u);
  return kept | static_cast<std::uint32_t>(n) << lengthShift;
}

}  // namespace

// The entry of the disposition now in place: the one recorded for it, or a
// new one; -1 when all are taken by others.
int SignalChain::entryFor(const struct sigaction& now) {
  const int n = entries.load();
  for (int i = 0; i < n; ++i)
    if (sameDisposition(found[i], now)) return i;
  if (n >= maxFound) return -1;
  found[n] = now;
  entries.store(n + 1);
  return n;
}

void SignalChain::takeOver(Handler handler) {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0) return;
  if (isOurs(now, handler)) return;
  // Ignored (under nohup, in a shell's background, by the host's choice),
  // a signal stays ignored: taken over, it would stop the waits.
  if (disposition(now, SIG_IGN)) return;
  const int entry = entryFor(now);
  if (entry < 0) return;  // ours stays reachable through those found
  // Installed anew, a one-shot handler gets its one call again.
  spent[entry].store(false);
  // Recorded before ours is in place: a signal in between goes to the
  // handler found, whatever ours would pass on.
  const std::uint32_t before = chain.load();
  chain.store(withNewest(before, entry));
  ours.store(handler);
  struct sigaction replacement {};
  replacement.sa_sigaction = handler;
  sigemptyset(&replacement.sa_mask);
  replacement.sa_flags = SA_SIGINFO | SA_RESTART;
  if (sigaction(sig, &replacement, nullptr) != 0) chain.store(before);
}

void SignalChain::giveBack(Handler handler) {
  struct sigaction now;
  const std::uint32_t before = chain.load();
  if (lengthOf(before) == 0 || sigaction(sig, nullptr, &now) != 0 || !isOurs(now, handler)) return;
  const int entry = entryAt(before, lengthOf(before) - 1);
  struct sigaction back = found[entry];
  // The kernel would have reset a one-shot handler that has had its call.
  if (resetsOnCall(back) && spent[entry].load()) {
    back = {};
    back.sa_handler = SIG_DFL;
    sigemptyset(&back.sa_mask);
  }
  sigaction(sig, &back, nullptr);
  chain.store(withoutNewest(before));
}

// The entry in chain of a handler that the kernel called and that called
// ours: one installed over ours again is in place now.
int SignalChain::calledBeforeUs(std::uint32_t links) const {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) != 0 || !isHandler(now) || isOurs(now, ours.load())) return -1;
  for (int i = 0; i < lengthOf(links); ++i)
    if (sameDisposition(found[entryAt(links, i)], now)) return entryAt(links, i);
  return -1;
}

// Each call passes on one step further down the chain: without a thread's
// own storage (which a signal handler may not use), the walk is kept for
// the process. Two deliveries of one signal on two threads at the same
// moment may then skip a handler for the second.
void SignalChain::passOn(siginfo_t* info, void* context) {
  const std::uint32_t links = chain.load();
  const int d = depth.fetch_add(1);
  int at = d == 0 ? lengthOf(links) - 1 : next.load();
  if (d == 0) skipped.store(calledBeforeUs(links));
  for (; at >= 0; --at) {
    const int entry = entryAt(links, at);
    if (entry == skipped.load()) continue;
    next.store(at - 1);
    call(entry, info, context);
    break;
  }
  depth.fetch_sub(1);
}

void SignalChain::call(int entry, siginfo_t* info, void* context) {
  const struct sigaction& handler = found[entry];
  if (disposition(handler, SIG_IGN)) return;
  if (disposition(handler, SIG_DFL) || (resetsOnCall(handler) && spent[entry].exchange(true))) {
    takeDefaultAction();
  } else if (handler.sa_flags & SA_SIGINFO) {
    siginfo_t madeUp {};  // only when ours was called by hand, not by the kernel
    if (!info) {
      madeUp.si_signo = sig;
      info = &madeUp;
    }
    handler.sa_sigaction(sig, info, context);
  } else {
    handler.sa_handler(sig);
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
