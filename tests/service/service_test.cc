// The integer service pair through a real master: rosservice as the outside
// client of the server, and the client against servers in this process and
// in a network run by the network runner.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <limits>

#include "BufferedNode.h"
#include "RosMaster.h"
#include "ServiceTestSupport.h"

using namespace MURV;
using namespace servicetest;
using murvtest::runCommand;

namespace {
const std::string rosservice = "/usr/bin/python3 /usr/bin/rosservice ";
bool offered() { return runCommand(rosservice + "list").output.find("/add\n") != std::string::npos; }
}  // namespace

TEST(RosAddMurvIntServer, AnswersRosserviceWithTheWrapped64BitSumAndKeepsItsLow32Bits) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("add_int_server_test");
  Node* srv = server("add", 0.0f);
  srv->initialize();
  int count = 0;
  EXPECT_EQ(output(srv, count++), 0) << "nothing served yet";
  ASSERT_TRUE(murvtest::waitFor(offered));
  struct Case {
    const char *first, *second, *sum;
    int stored;
  };
  for (const Case& c : {Case{"2", "3", "5", 5}, Case{"2147483647", "1", "2147483648", INT_MIN},
                        Case{"4294967296", "7", "4294967303", 7},
                        Case{"9223372036854775807", "1", "-9223372036854775808", 0},
                        Case{"-9223372036854775808", "-1", "9223372036854775807", -1}}) {
    auto r = runCommand(rosservice + "call /add '{first: " + c.first + ", second: " + c.second + "}'");
    EXPECT_NE(r.output.find(std::string("sum: ") + c.sum + "\n"), std::string::npos) << c.first << " " << r.output;
    EXPECT_EQ(output(srv, count++), c.stored) << c.first << " + " << c.second;
  }

  srv->unref();
  EXPECT_FALSE(offered()) << "destroying the server withdraws the service";
  ros->unref();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("constructor end"), std::string::npos) << out;
  EXPECT_NE(out.find("server initialized...\nserver Output : [0]\n"), std::string::npos) << out;
  EXPECT_NE(out.find("server Output : [-2147483648]\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Request [9223372036854775807 + 1 = -9223372036854775808] [thread="), std::string::npos) << out;
}

TEST(RosAddMurvIntClient, CallsServersInAndOutOfProcessWrapsItsOperandsAndKeepsItsLastResult) {
  murvtest::RosMaster master;
  master.start();
  testing::internal::CaptureStdout();
  Node* ros = generator("add_int_client_test");
  Node* cli = client("add", 10);
  cli->initialize();
  EXPECT_EQ(output(cli, 0), 0) << "no server yet: the call fails";

  const float pause = 0.2f;
  Node* srv = server("add", pause);
  srv->initialize();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(output(cli, 1), 12);
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), pause)
      << "the answer goes out after the server's pause";
  EXPECT_EQ(output(cli, 2), 14);
  EXPECT_EQ(output(srv, 0), 14);

  // PARAM + count wraps in 32 bits before it is widened (the log line shows
  // the operands); the result is the low 32 bits of the sum.
  struct Case {
    int param, count, result;
    const char* request;
  };
  for (const Case& c : {Case{INT_MAX, 1, INT_MIN + 1, "Request [1 + -2147483648 = -2147483647]"},
                        Case{INT_MAX - 1, 1, INT_MIN, "Request [1 + 2147483647 = 2147483648]"},
                        Case{-5, 2, -1, "Request [2 + -3 = -1]"}}) {
    Node* other = client("add", c.param);
    other->initialize();
    Buffer buffer(1);
    static_cast<BufferedNode*>(other)->calculate(0, c.count, buffer);
    EXPECT_EQ(dereference_cast<int>(buffer.get(c.count)), c.result) << c.request;
    other->unref();
  }

  std::string net = std::string(MURV_BINARY_DIR) + "/add-int-client.net";
  std::ofstream(net) << "node ros RosNodeGenerator\nparam ros NODE_NAME string add_int_runner\n"
                        "node c RosAddMurvIntClient\nparam c TOPIC_NAME string /add\nparam c PARAM int 100\n"
                        "output c OUTPUT1\niterations 3\n";
  auto r = runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + net + " 2>&1");
  for (const char* line : {"[0] c.OUTPUT1 = <Int 100 >", "[1] c.OUTPUT1 = <Int 102 >", "[2] c.OUTPUT1 = <Int 104 >"})
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  EXPECT_EQ(output(srv, 1), 104);

  srv->unref();
  EXPECT_EQ(output(cli, 3), 14) << "the server has gone: the last result stays";
  cli->unref();
  ros->unref();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("client constructor end...\nclient initialized...\nclient Published : [0]\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("client Published : [14]\n", out.find("client Published : [14]\n") + 1), std::string::npos)
      << out;
  for (const char* request : {"Request [1 + -2147483648 = -2147483647]", "Request [1 + 2147483647 = 2147483648]"})
    EXPECT_NE(out.find(request), std::string::npos) << out;
}

TEST(RosAddMurvIntServer, UnusableDurationsAreRefusedNamingTheParameter) {
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {-0.5f, -inf, inf, std::numeric_limits<float>::quiet_NaN(), 3e9f}) {
    try {
      server("add", bad)->unref();
      ADD_FAILURE() << "accepted " << bad;
    } catch (BaseException* e) {
      EXPECT_NE(e->text().find("ROS_DURATION"), std::string::npos) << e->text();
      delete e;
    }
  }
  for (float good : {0.0f, 0.25f}) server("add", good)->unref();
}
