// A RosNodeGenerator that cannot join: one stop signal ends its wait for a
// master that does not answer, a master address that accepts and never
// answers is said aloud, and a server that answers but not as a ROS master
// (with XML-RPC faults, or with HTTP alone) is an error naming what it
// answered. Run by the network runner.
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

const char* const stopped = "Node ros: stopped while waiting for the ROS master at ";
const char* const rosRetry = "Failed to contact master";
const char* const waitingNotice = " yet; waiting for a master (SIGINT, SIGTERM or SIGHUP ends the wait)\n";
const char* const notMaster = "Node ros: ROS_MASTER_URI ";

}  // namespace

TEST(RosNodeGenerator, NoMasterOrNotAMasterEndsTheRun) {
  char home[] = "/tmp/murv-master-wait-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  setenv("ROS_HOME", home, 1);
  setenv("ROS_LOG_DIR", home, 1);
  setenv("ROS_IP", "127.0.0.1", 1);
  const std::string script = std::string(home) + "/fault_server.py";
  std::ofstream(script) << faultServer;
  // refused: a port bound but not listening, which no master started by a
  // test beside this one can take; silent: a port that listens and never
  // accepts (the kernel completes the connection, nobody answers).
  enum Server { refused, silent, faults, http };
  const struct {
    const char* tag;
    Server server;
    int sig;  // sent once the wait is under way; 0: none
    int status;
    std::string said, answered, notSaid;  // said, the URI and answered are one text
  } rows[] = {
      {"sigint", refused, SIGINT, 130, stopped, "\n", "ros: nothing answers"},
      {"sigterm", refused, SIGTERM, 143, stopped, "\n", ""},
      {"sighup", refused, SIGHUP, 129, stopped, "\n", ""},
      {"silent", silent, SIGTERM, 143, "ros: nothing answers at the ROS master address ", waitingNotice, rosRetry},
      {"not_a_master", faults, 0, 2, notMaster,
       " does not answer as a ROS master: getPid answered fault 1 \"no such method getPid\"\n", rosRetry},
      {"http_only", http, 0, 2, notMaster,
       " does not answer as a ROS master: getPid answered HTTP/1.0 501 Unsupported method ('POST')\n", rosRetry},
  };
  for (const auto& r : rows) {
    std::unique_ptr<BackgroundCommand> server;
    const int socketFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    if (r.server == silent) {
      ASSERT_EQ(listen(socketFd, 8), 0);
    }
    int port = ntohs(address.sin_port);
    if (r.server == faults || r.server == http) {
      server.reset(new BackgroundCommand(r.server == faults ? "exec /usr/bin/python3 " + script
                                                            : "exec /usr/bin/python3 -u -m http.server --bind "
                                                              "127.0.0.1 0"));
      // Either says its port on its first line ("Serving HTTP on 127.0.0.1
      // port N ..." for the HTTP server).
      ASSERT_TRUE(waitFor([&] { return server->output().find('\n') != std::string::npos || !server->running(); }));
      const std::string out = server->output();
      port = std::atoi(out.c_str() + (r.server == faults ? 0 : out.find(" port ") + 6));
    }
    ASSERT_GT(port, 0) << r.tag;
    // The final slash is optional.
    const std::string uri = "http://127.0.0.1:" + std::to_string(port) + (r.server == http ? "" : "/");
    setenv("ROS_MASTER_URI", uri.c_str(), 1);
    const std::string net = std::string(home) + "/" + r.tag + ".net";
    std::ofstream(net) << "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_" << r.tag
                       << "\noutput ros VALUE\niterations 1\n";
    const auto started = std::chrono::steady_clock::now();
    BackgroundCommand runner(std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_TOOLBOX_PATH + " " + net);
    if (r.server == refused) {
      // roscpp says so once it has found no master.
      ASSERT_TRUE(waitFor([&] { return runner.output().find(rosRetry) != std::string::npos; }))
          << r.tag << "\n" << runner.output();
    }
    if (r.server == silent) {
      // Said a second into the wait (the deadline leaves room for a slow
      // start under the sanitizers).
      ASSERT_TRUE(waitFor([&] { return runner.output().find(waitingNotice) != std::string::npos; },
                          std::chrono::seconds(5)))
          << r.tag << "\n" << runner.output();
    }
    if (!r.notSaid.empty() && r.sig) {
      // Long enough for a notice to be due: it must not come beside
      // roscpp's own line.
      waitFor([&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(1500); });
    }
    if (r.sig) runner.signal(r.sig);
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(10)), r.status) << r.tag << "\n" << runner.output();
    const std::string out = runner.output();
    EXPECT_NE(out.find(r.said + uri + r.answered), std::string::npos) << r.tag << "\n" << out;
    if (r.server == silent) {
      EXPECT_NE(out.find(stopped + uri + "\n"), std::string::npos) << out;
    }
    EXPECT_TRUE(r.notSaid.empty() || out.find(r.notSaid) == std::string::npos) << r.tag << "\n" << out;
    EXPECT_EQ(out.find("generated..."), std::string::npos) << r.tag << "\n" << out;
    close(socketFd);
  }
  std::filesystem::remove_all(home);
}
