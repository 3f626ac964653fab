// A RosNodeGenerator that cannot join: one stop signal ends its wait for a
// master that does not answer, and a server that answers but not as a ROS
// master is an error naming it. Run by the network runner.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "RosMaster.h"

using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

// Answers every XML-RPC call with a fault; prints its port once it listens.
const char* const faultServer =
    "import xmlrpc.server, xmlrpc.client\n"
    "class Refuse:\n"
    "    def _dispatch(self, method, params):\n"
    "        raise xmlrpc.client.Fault(1, 'no such method ' + method)\n"
    "server = xmlrpc.server.SimpleXMLRPCServer(('127.0.0.1', 0), logRequests=False)\n"
    "server.register_instance(Refuse())\n"
    "print(server.server_address[1], flush=True)\n"
    "server.serve_forever()\n";

}  // namespace

TEST(RosNodeGenerator, NoMasterOrNotAMasterEndsTheRun) {
  char home[] = "/tmp/murv-master-wait-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  setenv("ROS_HOME", home, 1);
  setenv("ROS_LOG_DIR", home, 1);
  setenv("ROS_IP", "127.0.0.1", 1);
  const std::string script = std::string(home) + "/fault_server.py";
  std::ofstream(script) << faultServer;
  const struct {
    const char* tag;
    int sig;  // 0: ROS_MASTER_URI names the fault server
    int status;
    const char* error;  // followed by the URI
  } rows[] = {{"sigint", SIGINT, 130, "Node ros: stopped while waiting for the ROS master at "},
              {"sigterm", SIGTERM, 143, "Node ros: stopped while waiting for the ROS master at "},
              {"sighup", SIGHUP, 129, "Node ros: stopped while waiting for the ROS master at "},
              {"not_a_master", 0, 2, "Node ros: ROS_MASTER_URI "}};
  for (const auto& r : rows) {
    std::unique_ptr<BackgroundCommand> server;
    // A port bound but not listening refuses connections, and no master
    // started by a test running beside this one can take it meanwhile.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    int port = ntohs(address.sin_port);
    if (!r.sig) {
      server.reset(new BackgroundCommand("exec /usr/bin/python3 " + script));
      ASSERT_TRUE(waitFor([&] { return server->output().find('\n') != std::string::npos || !server->running(); }));
      port = std::atoi(server->output().c_str());
    }
    ASSERT_GT(port, 0) << r.tag;
    const std::string uri = "http://127.0.0.1:" + std::to_string(port) + "/";
    setenv("ROS_MASTER_URI", uri.c_str(), 1);
    const std::string net = std::string(home) + "/" + r.tag + ".net";
    std::ofstream(net) << "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_" << r.tag
                       << "\noutput ros VALUE\niterations 1\n";
    BackgroundCommand runner(std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_TOOLBOX_PATH + " " + net);
    if (r.sig) {
      // roscpp says so once it has found no master.
      ASSERT_TRUE(waitFor([&] { return runner.output().find("Failed to contact master") != std::string::npos; }))
          << r.tag << "\n" << runner.output();
      runner.signal(r.sig);
    }
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(10)), r.status) << r.tag << "\n" << runner.output();
    const std::string out = runner.output();
    EXPECT_NE(out.find(std::string(r.error) + (r.sig ? uri + "\n" : uri + " does not answer as a ROS master: "
                                                                        "getPid answered fault 1 \"no such method "
                                                                        "getPid\"\n")),
              std::string::npos)
        << r.tag << "\n" << out;
    EXPECT_EQ(out.find("generated..."), std::string::npos) << r.tag << "\n" << out;
    close(silent);
  }
  std::filesystem::remove_all(home);
}
