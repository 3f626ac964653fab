// The stream nodes' stop signals in a host that is not the network runner
// and has no handler of its own: SIGTERM still ends it as SIGTERM does,
// SIGINT and SIGHUP only set the stop flags, a handler that another library
// put in place between two stream nodes is called once, an ignored signal
// stays ignored, and a host's handler that takes the signal's information
// gets the sender's pid and the context.
#include <gtest/gtest.h>

#include "RosMaster.h"

TEST(StopSignalsInAnotherHost, TermEndsTheHostIntAndHupOnlyStop) {
  const struct {
    const char *mode, *sig;
    int status;
    const char* output;  // after the nodes' constructor lines
  } rows[] = {{"plain", "INT", 0, "flags 1\n"},
              {"plain", "HUP", 0, "flags 1\n"},
              {"plain", "TERM", 143, ""},
              {"library", "INT", 0, "library: flags 1\nflags 1\n"},
              {"library", "HUP", 0, "library: flags 1\nflags 1\n"},
              {"library", "TERM", 143, "library: flags 1\n"},
              {"ignored", "HUP", 0, "flags 0\n"},
              {"ignored", "TERM", 0, "flags 0\n"},
              {"ignored", "INT", 0, "flags 0\n"},
              {"siginfo", "INT", 0, "host: si_pid ok, context ok\nflags 1\n"},
              {"siginfo", "TERM", 0, "host: si_pid ok, context ok\nflags 1\n"}};
  for (const auto& r : rows) {
    const murvtest::CommandResult run =
        murvtest::runCommand(std::string("exec ") + MURV_SIGNAL_HOST_PATH + " " + r.mode + " " + r.sig);
    // A handler bouncing a signal back writes its line until the stack runs out.
    const std::string output = run.output.substr(0, 500);
    EXPECT_EQ(run.status, r.status) << r.mode << " " << r.sig << "\n" << output;
    EXPECT_EQ(output, std::string("first constructor end...\nsecond constructor end...\n") + r.output)
        << r.mode << " " << r.sig;
  }
}
