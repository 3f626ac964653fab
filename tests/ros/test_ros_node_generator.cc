// Joining and leaving a real ROS master through RosNodeGenerator.
#include <gtest/gtest.h>
#include <ros/ros.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>

#include "ExampleNetworks.h"
#include "RosMaster.h"
#include "nodes/RosNodeGenerator.h"
#include "String.h"
#include "net_types.h"
#include "std_msgs/Int32.h"

using namespace MURV;
using murvtest::runCommand;
using murvtest::waitFor;

namespace {

Node* makeGenerator(const ObjectRef& nodeName) {
  ParameterSet params;
  params.add("NODE_NAME", nodeName);
  _NodeFactory* factory = Node::getFactoryNamed("RosNodeGenerator");
  if (!factory) throw std::runtime_error("RosNodeGenerator is not registered");
  return factory->Create("gen", params);
}

std::string refusal(const std::string& name) {
  try {
    Node* n = makeGenerator(ObjectRef(new String(name)));
    n->unref();
  } catch (BaseException* e) {
    std::string text = dynamic_cast<NodeException*>(e) ? e->text() : "not a NodeException: " + e->text();
    delete e;
    return text;
  }
  return "accepted";
}

}  // namespace

TEST(RosNodeGenerator, JoinsAndLeavesARealMaster) {
  murvtest::RosMaster master;
  master.start();

  testing::internal::CaptureStdout();
  Node* gen = makeGenerator(ObjectRef(new String("murv_gen_test")));
  ASSERT_NE(__MasterRosNodeHandler__, nullptr);
  gen->initialize();
  std::string traces = testing::internal::GetCapturedStdout();
  EXPECT_EQ(traces, "ROS node : murv_gen_test generated...\nROS initialized...\n");
  // The threads roscpp and the toolbox started take no stop signal: the
  // host's own thread does.
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    EXPECT_EQ(murvtest::threadsTaking(getpid(), sig), std::vector<long>{static_cast<long>(syscall(SYS_gettid))}) << sig;
  // The stop handler of the master wait is gone, the dispositions found are back.
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now;
    sigaction(sig, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << sig;
  }

  // roscpp registers with the master once the node handle starts it.
  std::string listed;
  EXPECT_TRUE(waitFor([&] {
    listed = runCommand("/usr/bin/python3 /usr/bin/rosnode list").output;
    return listed.find("/murv_gen_test\n") != std::string::npos;
  })) << listed;

  ObjectRef a = gen->getOutput(0, 4), b = gen->getOutput(0, 4);
  EXPECT_NE(a.get(), b.get()) << "every request makes a new object";
  EXPECT_EQ(dereference_cast<int>(a), 0);
  EXPECT_EQ(dereference_cast<int>(b), 0);
  try {
    gen->getOutput(1, 0);
    FAIL() << "no exception";
  } catch (BaseException* e) {
    NodeException* ne = dynamic_cast<NodeException*>(e);
    ASSERT_NE(ne, nullptr);
    EXPECT_EQ(ne->message, "Unknown output id");
    EXPECT_EQ(ne->file, "RosNodeGenerator");
    EXPECT_EQ(ne->line, 103);
    EXPECT_EQ(ne->node, gen);
    delete e;
  }

  // roscpp keeps one ROS node per process: a second generator joins as the
  // first one's node and says why its name and master address cannot take
  // effect (the address, which is not one, is not refused: it is not read),
  // and gives the nodes initialised after it a new shared handle.
  auto kept = [&](const std::string& what) {
    return "gen: " + what + " cannot take effect: roscpp keeps one ROS node per process, and this process joined ROS "
           "as /murv_gen_test with the master at " + master.uri() + "\n";
  };
  ros::NodeHandle* firstHandle = __MasterRosNodeHandler__;
  setenv("ROS_MASTER_URI", "127.0.0.1:1\x1b[2J", 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Node* second = makeGenerator(ObjectRef(new String("murv_gen_second")));
  second->initialize();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            kept("NODE_NAME \"murv_gen_second\" and ROS_MASTER_URI 127.0.0.1:1\\x1b[2J"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ROS node : murv_gen_test generated...\nROS initialized...\n");
  setenv("ROS_MASTER_URI", master.uri().c_str(), 1);
  ASSERT_NE(__MasterRosNodeHandler__, firstHandle);
  {
    ros::Publisher pub = __MasterRosNodeHandler__->advertise<std_msgs::Int32>("murv_gen_second_topic", 1);
    EXPECT_TRUE(waitFor([&] {
      return runCommand("/usr/bin/python3 /usr/bin/rostopic list").output.find("/murv_gen_second_topic\n") !=
             std::string::npos;
    }));
  }

  // Destroying either generator shuts ROS down for the whole process; the
  // other one's destruction afterwards finds it down.
  testing::internal::CaptureStdout();
  second->unref();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ROS destructed...\n");
  EXPECT_FALSE(ros::ok());
  EXPECT_TRUE(waitFor([&] {
    return runCommand("/usr/bin/python3 /usr/bin/rosnode list").output.find("/murv_gen_test") == std::string::npos;
  }));
  testing::internal::CaptureStdout();
  gen->unref();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ROS destructed...\n");
  EXPECT_FALSE(ros::ok());
  EXPECT_EQ(__MasterRosNodeHandler__, nullptr) << "the shared handle goes with its generator";

  // A later network joins ROS again, as a host that makes networks one
  // after another needs.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Node* third = makeGenerator(ObjectRef(new String("murv_gen_third")));
  third->initialize();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kept("NODE_NAME \"murv_gen_third\""));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ROS node : murv_gen_test generated...\nROS initialized...\n");
  EXPECT_TRUE(ros::ok());
  ASSERT_NE(__MasterRosNodeHandler__, nullptr);
  EXPECT_TRUE(__MasterRosNodeHandler__->advertise<std_msgs::Int32>("murv_gen_third_topic", 1));
  testing::internal::CaptureStdout();
  third->unref();
  testing::internal::GetCapturedStdout();
}

TEST(RosNodeGenerator, EmptyNodeNameIsANodeException) {
  EXPECT_NE(refusal("").find("NODE_NAME"), std::string::npos);
  EXPECT_EQ(__MasterRosNodeHandler__, nullptr);
}

TEST(RosNodeGenerator, NodeNameWithASlashIsANodeException) {
  EXPECT_NE(refusal("bad/name").find("bad/name"), std::string::npos);
}

TEST(RosNodeGenerator, NodeNameStartingWithADigitIsANodeException) {
  EXPECT_NE(refusal("9lives").find("9lives"), std::string::npos);
}

// roscpp would stop the process with a breakpoint trap on these.
TEST(RosNodeGenerator, AMasterAddressRosCannotReadIsANodeException) {
  for (const char* uri : {"127.0.0.1:11311", "http://localhost", "http://localhost:port/", "http://:11311/"}) {
    setenv("ROS_MASTER_URI", uri, 1);
    const std::string text = refusal("murv_uri_test");
    EXPECT_NE(text.find(std::string("Node gen: ROS_MASTER_URI \"") + uri +
                        "\" is not a master address: it needs the form http://HOST:PORT (the final "
                        "slash is optional)"),
              std::string::npos)
        << text;
  }
  EXPECT_FALSE(ros::isInitialized());
}

TEST(RosNodeGenerator, NodeNameOfAnotherTypeIsACastErrorBeforeAnyRosCall) {
  try {
    makeGenerator(ObjectRef(new NetCType<int>(3)));
    FAIL() << "no exception";
  } catch (BaseException* e) {
    EXPECT_NE(dynamic_cast<CastException<String>*>(e), nullptr);
    EXPECT_EQ(e->text(), "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6StringE\n");
    delete e;
  }
  EXPECT_EQ(__MasterRosNodeHandler__, nullptr);
  EXPECT_FALSE(ros::isInitialized());
}

TEST(NetworkRunner, AWholeRunPrintsTheTracesInOrder) {
  murvtest::RosMaster master;
  master.start();
  std::string net = std::string(MURV_BINARY_DIR) + "/generator-run.net";
  std::ofstream(net) << "node ros RosNodeGenerator\n"
                        "param ros NODE_NAME string murv_run_test  # joins under this name\n"
                        "output ros VALUE\n"
                        "iterations 2\n";
  murvtest::CommandResult r =
      runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + net + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "ROS node : murv_run_test generated...\n"
            "ROS initialized...\n"
            "[0] ros.VALUE = <Int 0 >\n"
            "[1] ros.VALUE = <Int 0 >\n"
            "ROS destructed...\n");
}

TEST(NetworkRunner, AMistypedParameterIsPrintedAndTheRunFails) {
  std::string net = std::string(MURV_BINARY_DIR) + "/generator-bad.net";
  std::ofstream(net) << "node ros RosNodeGenerator\nparam ros NODE_NAME int 5\noutput ros VALUE\n";
  murvtest::CommandResult r =
      runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + net + " 2>&1");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("generator-bad.net:2: node ros (RosNodeGenerator): parameter NODE_NAME: expected string, given "
                          "int: Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6StringE\n"),
            std::string::npos)
      << r.output;
}

// Restarting a network under its own name replaces the running one, as
// ROS does: the master shuts the older one down, which ends its run at its
// next pacing sleep, and that node's first log line ("Shutdown request
// received.") does not take the name back from the newer one, which goes
// on publishing.
TEST(NetworkRunner, ANetworkReplacingOneOfTheSameNameRunsOn) {
  murvtest::RosMaster master;
  master.start();
  size_t replaced = 0;
  const std::string net = std::string(MURV_BINARY_DIR) + "/generator-replaced.net";
  std::ofstream(net) << murvtest::exampleNetwork("RosStdMsgsPublisher",
                                                 {murvtest::paramChange("ros", "NODE_NAME string murv_replaced"),
                                                  murvtest::paramChange("pub", "TOPIC_NAME string /murv_replaced"),
                                                  {"iterations", "iterations 100000"}},
                                                 replaced);
  ASSERT_EQ(replaced, 3u);
  const std::string run = std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_EXAMPLES_PATH +
                          " --toolbox " + MURV_TOOLBOX_PATH + " " + net;
  murvtest::BackgroundCommand older(run);
  ASSERT_TRUE(waitFor([&] { return older.output().find("pub initialized") != std::string::npos || !older.running(); }))
      << older.output();
  murvtest::BackgroundCommand newer(run);
  EXPECT_EQ(older.waitExit(std::chrono::seconds(20)), 1) << older.output();
  EXPECT_NE(older.output().find("Shutdown request received."), std::string::npos) << older.output();
  EXPECT_NE(older.output().find("pub stopped waiting: ROS has been shut down"), std::string::npos)
      << older.output();
  const murvtest::CommandResult echoed =
      runCommand("exec /usr/bin/python3 /usr/bin/rostopic echo -n 1 /murv_replaced", std::chrono::seconds(20));
  EXPECT_NE(echoed.output.find("label: \"cols\""), std::string::npos) << echoed.output;
  EXPECT_TRUE(newer.running()) << newer.output();
  EXPECT_EQ(newer.output().find("Shutdown request"), std::string::npos) << newer.output();
  newer.signal(SIGINT);
  EXPECT_EQ(newer.waitExit(std::chrono::seconds(10)), 130) << newer.output();
  EXPECT_TRUE(waitFor([&] { return !murvtest::rosNodeListed("murv_replaced"); }));
}
