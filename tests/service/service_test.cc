// The integer service pair through a real master, in one run: the client
// and rosservice calling the server, a network run by the network runner
// calling it too, and the server's refused pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <fstream>

#include "ServiceTestSupport.h"

using namespace servicetest;
using murvtest::runCommand;

namespace {
const std::string rosservice = "/usr/bin/python3 /usr/bin/rosservice ";
bool has(const std::string& out, const std::string& part) { return out.find(part) != std::string::npos; }
bool offered() { return has(runCommand(rosservice + "list").output, "/add\n"); }
}  // namespace

TEST(RosAddMurvIntService, ServerAndClientWrapTheirSumsWithRosserviceAndTheRunnerAsPeers) {
  RosNetwork network("add_int_test");
  testing::internal::CaptureStdout();
  NodePtr cli = client(10);
  EXPECT_EQ(output(cli, 0), 0) << "no server yet: the call fails";
  NodePtr srv = server(0.2f);
  EXPECT_EQ(output(srv, 0), 0) << "nothing served yet";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(output(cli, 1), 12);
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.2)
      << "the answer goes out after the server's pause";
  EXPECT_EQ(output(cli, 2), 14);
  EXPECT_EQ(output(srv, 1), 14);

  // From rosservice: the sum wraps in 64 bits, the server outputs its low 32.
  ASSERT_TRUE(murvtest::waitFor(offered));
  struct Call { const char *first, *second, *sum; int low; };
  int count = 2;
  for (const Call& c : {Call{"2", "3", "5", 5}, Call{"2147483647", "1", "2147483648", INT_MIN},
                        Call{"4294967296", "7", "4294967303", 7},
                        Call{"9223372036854775807", "1", "-9223372036854775808", 0},
                        Call{"-9223372036854775808", "-1", "9223372036854775807", -1}}) {
    const auto r = runCommand(rosservice + "call /add '{first: " + c.first + ", second: " + c.second + "}'");
    EXPECT_TRUE(has(r.output, std::string("sum: ") + c.sum + "\n")) << c.first << " " << r.output;
    EXPECT_EQ(output(srv, count++), c.low) << c.first << " + " << c.second;
  }

  // PARAM + count wraps in 32 bits before it is widened (the server's log
  // shows the operands); the result is the low 32 bits of the sum.
  struct Case { int param, count, result; const char* request; };
  const Case cases[] = {{INT_MAX, 1, INT_MIN + 1, "Request [1 + -2147483648 = -2147483647]"},
                        {INT_MAX - 1, 1, INT_MIN, "Request [1 + 2147483647 = 2147483648]"},
                        {-5, 2, -1, "Request [2 + -3 = -1]"}};
  for (const Case& c : cases) EXPECT_EQ(output(client(c.param), c.count), c.result) << c.request;

  const std::string file = std::string(MURV_BINARY_DIR) + "/add-int-client.net";
  std::ofstream(file) << "node ros RosNodeGenerator\nparam ros NODE_NAME string add_int_runner\n"
                         "node c RosAddMurvIntClient\nparam c TOPIC_NAME string /add\nparam c PARAM int 100\n"
                         "output c OUTPUT1\niterations 3\n";
  const auto r = runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + file + " 2>&1");
  for (const char* line : {"[0] c.OUTPUT1 = <Int 100 >", "[1] c.OUTPUT1 = <Int 102 >", "[2] c.OUTPUT1 = <Int 104 >"})
    EXPECT_TRUE(has(r.output, line)) << r.output;
  EXPECT_EQ(output(srv, count), 104);

  // SIGINT ends a network whose server has a call in its pause: the pause
  // ends, and the call is answered before the service goes.
  const std::string served = std::string(MURV_BINARY_DIR) + "/add-int-sigint.net";
  std::ofstream(served) << "node ros RosNodeGenerator\nparam ros NODE_NAME string add_int_sigint\n"
                           "node s RosAddMurvIntServer\nparam s TOPIC_NAME string /add_sigint\n"
                           "param s ROS_DURATION float 0.5\nnode w StdMsgsStreamFromRos\n"
                           "param w ROS_MESSAGE_TYPE string Int32\nparam w OUT_ARRAY_FORMAT string Vector<>\n"
                           "param w TOPIC_NAME string /add_sigint_wait\nparam w ENABLE_DEBUG bool false\n"
                           "param w ROS_LOOP_RATE float 100\nparam w MSG_BUFFER_NUM int 1\n"
                           "param w DATA_BUFFER_NUM int 5\nparam w KILL_TIME_LEN int 0\n"
                           "param w KILL_NETWORK bool false\npull s OUTPUT1\neof w NOT_EOF\n";
  // The server's log line shows when the call is in its pause.
  murvtest::BackgroundCommand runner(std::string("ROSCONSOLE_STDOUT_LINE_BUFFERED=1 exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_TOOLBOX_PATH +
                                     " " + served);
  ASSERT_TRUE(murvtest::waitFor([] { return has(runCommand(rosservice + "list").output, "/add_sigint\n"); }))
      << runner.output();
  murvtest::BackgroundCommand caller("exec " + rosservice + "call /add_sigint '{first: 20, second: 22}'");
  ASSERT_TRUE(murvtest::waitFor([&] { return has(runner.output(), "Request [20 + 22 = 42]"); })) << runner.output();
  runner.signal(SIGINT);
  EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), 130) << runner.output();
  EXPECT_EQ(caller.waitExit(std::chrono::seconds(30)), 0) << caller.output();
  EXPECT_EQ(caller.output(), "sum: 42\n");

  srv.reset();
  EXPECT_FALSE(offered()) << "destroying the server withdraws the service";
  EXPECT_EQ(output(cli, 3), 14) << "the server has gone: the last result stays";
  cli.reset();
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char* part : {"client constructor end...\nclient initialized...\nclient Published : [0]\n",
                           "server initialized...\nserver Output : [0]\n",
                           "Request [9223372036854775807 + 1 = -9223372036854775808] [thread="})
    EXPECT_TRUE(has(out, part)) << out;
  for (const Case& c : cases) EXPECT_TRUE(has(out, c.request)) << out;
  EXPECT_FALSE(has(out, "server constructor end")) << out;

  EXPECT_EQ(subtest::hostError([] { server(0.0f); }), "") << "no pause at all";
  for (float bad : {-0.5f, -HUGE_VALF, HUGE_VALF, NAN, 3e9f}) {
    const std::string error = subtest::hostError([&] { server(bad); });
    EXPECT_TRUE(has(error, "ROS_DURATION")) << bad << ": " << error;
  }
}
