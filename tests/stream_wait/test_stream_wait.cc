// The stream nodes' waits, on a simulated clock, and their stop signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <ctime>
#include <functional>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RosMaster.h"
#include "stop/StreamWait.h"

using namespace murvstream;

namespace {

// Each block moves the clock on to the time it was asked to sleep until,
// unless a notification came since the waiter's look.
class FakeEnvironment : public WaitEnvironment {
public:
  std::int64_t nowMicros() override { return now; }
  void block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t until) override {
    ++blocks;
    if (wake.notifications() == seen) now = std::max(now, until);
    if (stopAfter >= 0 && blocks >= stopAfter) flagToSet->set();
  }
  std::int64_t tickMicros() override { return 10000; }
  bool rosRunning() override { return ros; }

  std::int64_t now = 1000000;  // anywhere: only differences count
  long blocks = 0;
  long stopAfter = -1;
  StopFlag* flagToSet = nullptr;
  bool ros = true;
};

struct Failure {
  bool thrown = false;
  std::string message, file;
  int line = 0;
  bool hasNode = true;
};

template <class F> Failure failureOf(F f) {
  Failure r;
  try {
    f();
  } catch (MURV::BaseException* e) {
    MURV::NodeException* ne = dynamic_cast<MURV::NodeException*>(e);
    r.thrown = true;
    if (ne) {
      r.message = ne->message;
      r.file = ne->file;
      r.line = ne->line;
      r.hasNode = ne->node != nullptr;
    }
    delete e;
  }
  return r;
}

}  // namespace

TEST(StreamWait, DataAlreadyQueuedEndsTheWaitWithoutBlocking) {
  static StopFlag stop;
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  EXPECT_TRUE(waiter.waitForData([] { return true; }, 0, true, 766));
  waiter.waitFirstMessage([] { return true; }, 737);
  EXPECT_EQ(env.blocks, 0);
}

// KILL_TIME_LEN below 9,999,999 means what it says on a steady clock, 9 s
// and more included; from 9,999,999 on (network files' "no time-out") and
// without KILL_NETWORK the silence never ends the wait; a negative value
// ends it in its first round. No sleep is longer than a tick.
TEST(StreamWait, KillTimeLenRules) {
  const long long data = 20010000;  // never times out: the data after 20 s of silence ends it, a tick later
  struct Row { long long kill; bool killNetwork; long long endsAfter; };  // endsAfter in microseconds
  const Row rows[] = {{-1, true, 0}, {INT_MIN, true, 0}, {0, true, 1}, {500000, true, 500001},
                      {8999999, true, 9000000}, {9000000, true, 9000001}, {9500000, true, 9500001},
                      {9999998, true, 9999999}, {9999999, true, data}, {10000000, true, data},
                      {15000000, true, data}, {INT_MAX, true, data}, {500000, false, data}, {-1, false, data}};
  for (const Row& r : rows) {
    static StopFlag stop;
    FakeEnvironment env;
    StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
    const std::int64_t start = env.now;
    EXPECT_EQ(waiter.waitForData([&] { return env.now - start > 20000000; }, r.kill, r.killNetwork, 766),
              r.endsAfter == data)
        << r.kill << " " << r.killNetwork;
    EXPECT_EQ(env.now - start, r.endsAfter) << r.kill;
    EXPECT_EQ(env.blocks, (r.endsAfter + env.tickMicros() - 1) / env.tickMicros()) << r.kill;
    // The same time limit on a wait until a condition holds.
    const std::int64_t again = env.now;
    const long long limit = r.killNetwork ? r.kill : neverTimesOut;
    EXPECT_EQ(waiter.waitUntil([&] { return env.now - again > 20000000; }, limit, 1073), r.endsAfter == data);
    EXPECT_EQ(env.now - again, r.endsAfter) << r.kill;
  }
}

TEST(StreamWait, AWaitLooksAtTheStopFlagEveryTick) {
  static StopFlag stop;
  FakeEnvironment env;
  env.stopAfter = 1;
  env.flagToSet = &stop;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  const std::int64_t start = env.now;
  // No time-out is near: the wait still wakes within a tick to find the flag.
  EXPECT_TRUE(failureOf([&] { waiter.waitForData([] { return false; }, 9000000, true, 766); }).thrown);
  EXPECT_EQ(env.now - start, env.tickMicros());
}

TEST(StreamWait, AStopSignalMakesAWaitingNodeGiveUp) {
  static StopFlag stop;
  FakeEnvironment env;
  env.stopAfter = 1000;
  env.flagToSet = &stop;
  StreamWaiter waiter("mic_stream", stop, "MurvMsgsStreamFromRos", env);
  Failure f = failureOf([&] { waiter.waitForData([] { return false; }, 0, false, 807); });
  EXPECT_TRUE(f.thrown);
  EXPECT_EQ(f.message, "mic_stream Force-quit...");
  EXPECT_EQ(f.file, "MurvMsgsStreamFromRos");
  EXPECT_EQ(f.line, 807);
  EXPECT_FALSE(f.hasNode);
  EXPECT_EQ(env.blocks, 1000);

  // The flag stays set: every later wait gives up at its first test, the
  // first-message wait with its own line; data already there still passes.
  Failure first = failureOf([&] { waiter.waitFirstMessage([] { return false; }, 737); });
  EXPECT_EQ(first.line, 737);
  EXPECT_EQ(env.blocks, 1000);
  EXPECT_TRUE(waiter.waitForData([] { return true; }, 0, false, 807));
}

TEST(StreamWait, ATimeOutDueBeforeTheStopTestWins) {
  static StopFlag stop;
  stop.set();
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  EXPECT_FALSE(waiter.waitForData([] { return false; }, -5, true, 766));
}

TEST(StreamWait, RosGoingAwayEndsAWaitWithANodeException) {
  static StopFlag stop;
  FakeEnvironment env;
  env.ros = false;
  StreamWaiter waiter("stream", stop, "AudioStreamFromRos", env);
  Failure f = failureOf([&] { waiter.waitFirstMessage([] { return false; }, 42); });
  EXPECT_TRUE(f.thrown);
  EXPECT_EQ(f.file, "AudioStreamFromRos");
  EXPECT_NE(f.message.find("ROS has been shut down"), std::string::npos) << f.message;
}

TEST(StreamWait, RealClockTimeOutIsNoEarlierThanTheKillTime) {
  static StopFlag stop;
  class NoRos : public SteadyWaitEnvironment {
  public:
    bool rosRunning() override { return true; }
  } env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(waiter.waitForData([] { return false; }, 30000, true, 766));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::microseconds(30000));
}

// Signals are delivered to the process, and flags are never cleared: each
// case runs in a child process of its own. The handler that was there
// before (the network runner's) is still called, once.
volatile sig_atomic_t earlierHandlerCalls = 0;
void earlierHandler(int) { earlierHandlerCalls = earlierHandlerCalls + 1; }

int raiseAndCheckFlags(int sig) {
  static StopFlag classA;
  static StopFlag classB;
  signal(sig, earlierHandler);
  installStopSignals();
  installStopSignals();  // a second node's constructor installs again
  if (classA.isSet() || classB.isSet()) return 3;
  raise(sig);
  return classA.isSet() && classB.isSet() && earlierHandlerCalls == 1 ? 0 : 1;
}

TEST(StopSignals, SigintAndSighupStopEveryStreamNodeClass) {
  for (int sig : {SIGINT, SIGHUP, SIGTERM}) {
    EXPECT_EXIT(_exit(raiseAndCheckFlags(sig)), testing::ExitedWithCode(0), "") << "signal " << sig;
  }
}

// Who installs the handler, and what the signal's disposition was: a
// default one stays the signal's default action until a stream node is
// made (then SIGINT and SIGHUP only stop), and an ignored one stays ignored.
TEST(StopSignals, WhatEachSignalDoesByDispositionFoundAndUser) {
  enum Found { byDefault, ignored };
  enum Users { paced, stream, pacedThenStream };
  const struct {
    int sig;
    Found found;
    Users users;
    int killedBy;  // 0: the process goes on, having seen the stop request iff not ignored
  } rows[] = {{SIGINT, byDefault, paced, SIGINT},         {SIGHUP, byDefault, paced, SIGHUP},
              {SIGTERM, byDefault, paced, SIGTERM},       {SIGINT, byDefault, stream, 0},
              {SIGHUP, byDefault, stream, 0},             {SIGTERM, byDefault, stream, SIGTERM},
              {SIGINT, byDefault, pacedThenStream, 0},    {SIGINT, ignored, stream, 0},
              {SIGTERM, ignored, stream, 0},              {SIGHUP, ignored, stream, 0},
              {SIGTERM, ignored, paced, 0}};
  for (const auto& r : rows) {
    auto body = [&] {
      signal(r.sig, r.found == ignored ? SIG_IGN : SIG_DFL);
      if (r.users != stream) installStopSignals(StopUser::pacedNode);
      if (r.users != paced) installStopSignals(StopUser::streamNode);
      raise(r.sig);
      struct sigaction now;
      sigaction(r.sig, nullptr, &now);
      const bool stillIgnored = now.sa_handler == SIG_IGN;
      return stopRequested() == (r.found != ignored) && stillIgnored == (r.found == ignored) ? 0 : 1;
    };
    auto ends = [&](int status) {
      return r.killedBy ? WIFSIGNALED(status) && WTERMSIG(status) == r.killedBy
                        : WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_EXIT(_exit(body()), ends, "") << "signal " << r.sig << " found " << r.found << " users " << r.users;
  }
}

// Whoever takes a signal over through a chain (the stream nodes, the wait
// for a ROS master), an ignored signal stays ignored.
void anotherHandler(int, siginfo_t*, void*) {}

TEST(StopSignals, AnIgnoredSignalIsNeverTakenOver) {
  static SignalChain chains[] = {{SIGINT, true}, {SIGTERM, true}, {SIGHUP, false}};
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int i = 0; i < 3; ++i) {
    signal(signals[i], SIG_IGN);
    chains[i].takeOver(anotherHandler);
    struct sigaction now;
    sigaction(signals[i], nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN) << "signal " << signals[i];
    chains[i].giveBack(anotherHandler);
    signal(signals[i], SIG_DFL);
  }
}

namespace {

// The real waits and sleeps, with ROS taken as running.
struct RosAlwaysRunning : SteadyWaitEnvironment {
  bool rosRunning() override { return true; }
};

// A host's own handlers, installed before each network: the same one each
// time, or a new one each time (a plugin's or a binding's callback), each
// counting its calls and, when the host chains, calling the disposition it
// found.
const int hostHandlers = 12;
std::atomic<int> hostCalls[hostHandlers];
bool hostChains = false;
struct sigaction hostFound[hostHandlers];

template <int N> void hostHandler(int sig, siginfo_t* info, void* context) {
  ++hostCalls[N];
  const struct sigaction& found = hostFound[N];
  if (!hostChains || found.sa_handler == SIG_DFL || found.sa_handler == SIG_IGN) return;
  if (found.sa_sigaction == hostHandler<N>) return;  // installed over itself
  if (found.sa_flags & SA_SIGINFO)
    found.sa_sigaction(sig, info, context);
  else
    found.sa_handler(sig);
}

template <int... N> std::vector<SignalChain::Handler> handlersOf(std::integer_sequence<int, N...>) {
  return {hostHandler<N>...};
}
const std::vector<SignalChain::Handler> hostHandlerList = handlersOf(std::make_integer_sequence<int, hostHandlers>());

void installHostHandler(int sig, unsigned flags, int n) {
  struct sigaction handler {};
  handler.sa_sigaction = hostHandlerList[n];
  sigemptyset(&handler.sa_mask);
  handler.sa_flags = SA_SIGINFO | static_cast<int>(flags);
  sigaction(sig, &handler, &hostFound[n]);
}

int allHostCalls() { return std::accumulate(std::begin(hostCalls), std::end(hostCalls), 0); }

bool oursInPlace(int sig) {
  struct sigaction now;
  return sigaction(sig, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) && now.sa_sigaction == stopSignalHandler;
}

}  // namespace

// A host that makes networks one after another and installs its handler,
// the same or a new one, again before each: ours is in place for every
// network, the host's handler found the latest time is called once per
// signal (once in all when installed with SA_RESETHAND, after which the
// signal's default applies), and a stop signal still ends a stream wait,
// however many networks came before. Of new handlers, the one found before
// the first network (what the signal had before ours) is called once too
// when the latest calls ours back; those in between, replaced, never.
TEST(StopSignals, AHostHandlerInstalledBeforeEachNetworkIsCalledOncePerSignal) {
  const struct {
    const char* what;
    int sig;
    int networks;
    bool chains;
    unsigned flags;  // of the host's handler
    StopUser user;
    int signals;
    int calls;               // of the host's latest handler, when the host goes on
    int killedBy;            // by the last signal; 0: the host goes on
    bool hostOnTop = false;  // installed again after the last network
    bool distinct = false;    // a new handler before each network
  } rows[] = {{"one network", SIGINT, 1, true, 0, StopUser::streamNode, 1, 1, 0},
              {"two networks", SIGINT, 2, true, 0, StopUser::streamNode, 1, 1, 0},
              {"twelve networks", SIGINT, 12, true, 0, StopUser::streamNode, 1, 1, 0},
              {"twelve networks, two signals", SIGHUP, 12, true, 0, StopUser::streamNode, 2, 2, 0},
              {"twelve networks, a handler that does not chain", SIGINT, 12, false, 0, StopUser::streamNode, 1, 1, 0},
              {"installed again over ours", SIGINT, 3, true, 0, StopUser::streamNode, 1, 1, 0, true},
              {"SA_RESETHAND, stream", SIGINT, 3, true, SA_RESETHAND, StopUser::streamNode, 2, 1, 0},
              {"SA_RESETHAND, SIGTERM", SIGTERM, 3, true, SA_RESETHAND, StopUser::streamNode, 2, 1, SIGTERM},
              {"SA_RESETHAND, paced", SIGINT, 3, true, SA_RESETHAND, StopUser::pacedNode, 2, 1, SIGINT},
              {"SA_RESETHAND installed again over ours", SIGINT, 3, true, SA_RESETHAND, StopUser::streamNode, 2, 1,
               SIGINT, true},
              {"twelve networks, a new handler before each", SIGINT, 12, true, 0, StopUser::streamNode, 1, 1, 0, false,
               true},
              {"twelve new handlers that do not chain, two signals", SIGHUP, 12, false, 0, StopUser::pacedNode, 2, 2, 0,
               false, true},
              {"a new SA_RESETHAND handler before each", SIGTERM, 12, true, SA_RESETHAND, StopUser::streamNode, 2, 1,
               SIGTERM, false, true}};
  auto calls = [](int latest, int first, int all) {
    return "latest " + std::to_string(latest) + ", first " + std::to_string(first) + ", all " + std::to_string(all);
  };
  for (const auto& r : rows) {
    auto expected = [&](int latest) {
      const int first = r.distinct && !r.chains ? 0 : latest;
      return calls(latest, first, r.distinct ? latest + first : latest);
    };
    auto body = [&] {
      hostChains = r.chains;
      for (int n = 0; n < r.networks; ++n) {
        installHostHandler(r.sig, r.flags, r.distinct ? n : 0);
        installStopSignals(r.user);
        if (!oursInPlace(r.sig)) return 2;
      }
      const int latest = r.distinct ? r.networks - 1 : 0;
      if (r.hostOnTop) installHostHandler(r.sig, r.flags, latest);
      static StopFlag stop;
      RosAlwaysRunning env;
      StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
      std::atomic<bool> gaveUp{false};
      std::thread waiting([&] {
        gaveUp = failureOf([&] { waiter.waitUntil([] { return false; }, 5000000, 737); }).thrown;
      });
      murvtest::waitFor([] { return murvtest::aThreadBlockedIn(getpid(), SYS_ppoll); });
      auto seen = [&] { return calls(hostCalls[latest], hostCalls[0], allHostCalls()); };
      for (int s = 0; s < r.signals; ++s) {
        if (s == r.signals - 1) std::fprintf(stderr, "host handler calls: %s\n", seen().c_str());
        raise(r.sig);
        if (s == 0) waiting.join();
      }
      return gaveUp && seen() == expected(r.calls) ? 0 : 1;
    };
    auto ends = [&](int status) {
      return r.killedBy ? WIFSIGNALED(status) && WTERMSIG(status) == r.killedBy
                        : WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    // Before the second signal, the first one's call.
    EXPECT_EXIT(_exit(body()), ends, "host handler calls: " + expected(r.signals - 1)) << r.what;
  }
}

// Idle for half a second, each wait and the pacing sleep sleep until their
// end with a look at ROS every 100 ms: at most about 10 wake-ups a second
// (counted by the kernel), where a 10 ms tick made 50, and next to no CPU
// time, even after a forked child of this process has had a stop signal.
TEST(StreamWait, AnIdleWaitWakesAtMostTenTimesASecond) {
  EXPECT_EXIT((installStopSignals(), raise(SIGINT), _exit(stopRequested() ? 0 : 1)), testing::ExitedWithCode(0), "");
  static StopFlag stop;
  RosAlwaysRunning env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  const long long halfSecond = 500000;
  const struct {
    const char* what;
    std::function<void()> idle;
  } rows[] = {{"data wait", [&] { EXPECT_FALSE(waiter.waitForData([] { return false; }, halfSecond, true, 766)); }},
              {"wait until", [&] { EXPECT_FALSE(waiter.waitUntil([] { return false; }, halfSecond, 1073)); }},
              {"pacing sleep", [&] { EXPECT_FALSE(IterationStop(1).sleep(halfSecond)); }}};
  for (const auto& r : rows) {
    const long before = murvtest::wakeupsOf();
    const std::clock_t cpu = std::clock();
    r.idle();
    const long wakeups = murvtest::wakeupsOf() - before;
    EXPECT_GE(wakeups, 1) << r.what;
    EXPECT_LE(wakeups, 8) << r.what;
    EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC / 10) << r.what << ": a sleep that does not sleep";
  }
  EXPECT_FALSE(IterationStop(2).sleep(0));
  EXPECT_FALSE(IterationStop(2).sleep(-5));
}
