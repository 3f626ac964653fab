// A RosNodeGenerator that cannot join or leave: one stop signal ends its
// wait for a master that does not answer (also while a name server that
// does not answer holds the master's host name), a master address that
// accepts and never answers is said aloud with the signals that end the
// wait, an answer cut short is waited past, and a server that answers but
// not as a ROS master (with XML-RPC faults, with HTTP alone, or as a ROS
// node, which answers getPid as a master does, and getUri too when it is a
// rospy node) is an error naming what it answered. A master that stops
// answering once the network runs does not hold a stop, and a stop while
// roscpp registers with a master leaves nothing there, as does a stop while
// the nodes are set up: no later node is initialised, and no call of
// roscpp is broken off (and sent again); nor does a stop against a master
// that answers every call late, however many calls its teardown takes, or
// one whose answers trickle in. Run by the network runner.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "Node.h"
#include "String.h"

#include "MasterProxy.h"
#include "RosMaster.h"

using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

// Prints its port once it listens. faults: answers every XML-RPC call with
// a fault; pid: answers getPid as a master and every other call with a
// fault; cut: answers every request with 60 bytes of an HTTP answer that
// announces more, then closes.
const char* const oddServer =
    "import os, socket, sys, xmlrpc.server, xmlrpc.client\n"
    "if sys.argv[1] == 'cut':\n"
    "    s = socket.socket()\n"
    "    s.bind(('127.0.0.1', 0))\n"
    "    s.listen(8)\n"
    "    print(s.getsockname()[1], flush=True)\n"
    "    while True:\n"
    "        c = s.accept()[0]\n"
    "        c.recv(65536)\n"
    "        c.sendall(b'HTTP/1.0 200 OK\\r\\nContent-Length: 500\\r\\n\\r\\n<?xml version=\"1.0\"?>')\n"
    "        c.close()\n"
    "class Odd:\n"
    "    def _dispatch(self, method, params):\n"
    "        if sys.argv[1] == 'pid' and method == 'getPid':\n"
    "            return [1, '', os.getpid()]\n"
    "        raise xmlrpc.client.Fault(1, 'no such method ' + method)\n"
    "server = xmlrpc.server.SimpleXMLRPCServer(('127.0.0.1', 0), logRequests=False)\n"
    "server.register_instance(Odd())\n"
    "print(server.server_address[1], flush=True)\n"
    "server.serve_forever()\n";

// A TCP socket bound to a free loopback port, not listening; -1 when none.
int loopbackPort(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  port = ntohs(address.sin_port);
  return fd;
}

// A UDP socket on a loopback address's DNS port that never answers, and a
// resolver configuration that names it; -1 when the port cannot be had.
int silentNameServer(const std::string& conf) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  inet_pton(AF_INET, "127.53.0.1", &address.sin_addr);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  std::ofstream(conf) << "nameserver 127.53.0.1\noptions timeout:5 attempts:2\n";
  return fd;
}

const char* const unknownHost = "murv-master.invalid";

const char* const stopped = "Node ros: stopped while waiting for the ROS master at ";
const char* const rosRetry = "Failed to contact master";
const char* const waitingNotice = " yet; waiting for a master (SIGINT, SIGTERM or SIGHUP ends the wait)\n";
const char* const leaveNotice =
    " did not answer within 1 s while the ROS node /murv_stalled was leaving; /murv_stalled may still be listed there\n";
const char* const runnerEnds = "murv-run: the network did not end within 2 s of the stop signal";
const char* const notMaster = "Node ros: ROS_MASTER_URI ";

}  // namespace

TEST(RosNodeGenerator, NoMasterOrNotAMasterEndsTheRun) {
  char home[] = "/tmp/murv-master-wait-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  const std::string script = std::string(home) + "/odd_server.py";
  std::ofstream(script) << oddServer;
  // refused: a port bound but not listening, which no master started by a
  // test beside this one can take; silent: a port that listens and never
  // accepts (the kernel completes the connection, nobody answers); stalled:
  // a real master suspended once the network runs; node: the address of a
  // running network's ROS node, as rosnode info shows it; rospy: that of a
  // rospy node (rostopic pub), which answers getUri as well; dns: a master
  // host name that a name server which never answers is asked for; slow
  // and recovering: a real master behind a proxy that holds unregistering
  // calls (below); heldStart: a real master behind a proxy that holds the
  // calls of the method held, one of roscpp's start-up, for heldMillis;
  // setUp: the same, with a network of three subscribers, whose set-up
  // the signal comes in ("" holds every call); late, lateSetUp: the same
  // for a publishing network, stopped once it runs, or as its nodes are set
  // up; trickled: a real master behind a proxy that sends the answers to
  // unregistering calls a byte at a time.
  enum Server {
    refused, silent, faults, http, cut, pid, stalled, node, rospy, dns, slow, recovering, heldStart, setUp, late,
    lateSetUp, trickled
  };
  const struct {
    const char* tag;
    Server server;
    const char* launch;  // before the runner's command
    int sig;  // sent once the wait is under way; 0: none
    int status;
    std::string said, answered, notSaid;  // said, the URI and answered are one text
    const char* held = "";
    int heldMillis = 300;
    const char* signalAt = nullptr;  // the held call the signal comes in; held's when null
  } rows[] = {
      {"sigint", refused, "", SIGINT, 130, stopped, "\n", "ros: nothing answers"},
      {"sigterm", refused, "", SIGTERM, 143, stopped, "\n", ""},
      {"sighup", refused, "", SIGHUP, 129, stopped, "\n", ""},
      {"silent", silent, "", SIGTERM, 143, "ros: nothing answers at the ROS master address ", waitingNotice, rosRetry},
      {"nohup", silent, "trap '' HUP; ", SIGINT, 130, "ros: nothing answers at the ROS master address ",
       " yet; waiting for a master (SIGINT or SIGTERM ends the wait)\n", rosRetry},
      {"not_a_master", faults, "", 0, 2, notMaster,
       " does not answer as a ROS master: getPid answered fault 1 \"no such method getPid\"\n", rosRetry},
      {"http_only", http, "", 0, 2, notMaster,
       " does not answer as a ROS master: getPid answered HTTP/1.0 501 Unsupported method ('POST')\n", rosRetry},
      {"cut_short", cut, "", SIGINT, 130, "ros: nothing answers at the ROS master address ", waitingNotice,
       "as a ROS master"},
      {"only_getpid", pid, "", 0, 2, notMaster,
       " does not answer as a ROS master: lookupNode answered fault 1 \"no such method lookupNode\"\n", rosRetry},
      {"stalled", stalled, "", SIGINT, 130, "ros: the master at ", leaveNotice, runnerEnds},
      {"node_address", node, "", 0, 2, notMaster,
       " does not answer as a ROS master: lookupNode answered fault -1 \"lookupNode: unknown method name\"\n", rosRetry},
      {"rospy_address", rospy, "", 0, 2, notMaster,
       " does not answer as a ROS master: lookupNode answered fault 1 \"<class 'Exception'>:method \"lookupNode\" is "
       "not supported\"\n", rosRetry},
      {"dns", dns, "", SIGINT, 130, "ros: nothing answers at the ROS master address ", waitingNotice, rosRetry},
      // ros::shutdown() makes four calls on one connection. A first cut is
      // said, so nothing said means nothing cut.
      {"slow", slow, "", 0, 0, "", "", " did not answer within"},
      {"recovering", recovering, "", 0, 0, "", "", ""},
      {"held_rosout", heldStart, "", SIGINT, 130, stopped, "\n", "did not answer", "registerPublisher"},
      {"held_service", heldStart, "", SIGINT, 130, stopped, "\n", "did not answer", "registerService"},
      {"held_has_param", heldStart, "", SIGINT, 130, stopped, "\n", "did not answer", "hasParam"},
      {"held_subscribe", heldStart, "", SIGINT, 130, stopped, "\n", "did not answer", "subscribeParam"},
      // A slow master: every call answered in 0.3 s, within the limit.
      {"held_slow", heldStart, "", SIGINT, 130, stopped, "\n", runnerEnds, "", 300, "registerService"},
      // Held beyond the leave limit: cut, and then the next try too.
      {"held_long", heldStart, "", SIGINT, 130, "ros: the master at ",
       " did not answer within 1 s while the ROS node /murv_held_long was leaving; /murv_held_long may still be listed "
       "there\n",
       runnerEnds, "registerPublisher", 5000},
      // The first subscriber's registration held: it ends, the other two
      // are not initialised.
      {"set_up_held", setUp, "", SIGINT, 130, "", "", rosRetry, "registerSubscriber"},
      // A master a little late with every answer.
      {"set_up_slow", setUp, "", SIGTERM, 143, "", "", rosRetry, "", 50, "registerSubscriber"},
      // A master on a slow link: every call answered 0.6 s late, within the
      // leave limit, and the teardown (five calls) runs to its end.
      {"late", late, "", SIGINT, 130, "", "", "did not end", "", 600},
      {"late_set_up", lateSetUp, "", SIGINT, 130, "", "", "did not end", "", 600},
      // An answer a byte every 10 ms: not whole within the limit, so cut,
      // however steadily the bytes come.
      {"trickled", trickled, "", SIGINT, 130, "ros: the master at ",
       " did not answer within 1 s while the ROS node /murv_trickled was leaving; /murv_trickled may still be listed "
       "there\n",
       "did not end", "", 10},
  };
  // The runner of a network that joins ROS as murv_NAME; publishing: one
  // that goes on, publishing 20 times a second, until it is stopped; with
  // subscribers sub1, sub2... of their own topics after the generator.
  auto runnerCommand = [&](const std::string& name, bool publishing, int subscribers = 0) {
    const std::string net = std::string(home) + "/" + name + ".net";
    std::ofstream described(net);
    described << "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_" << name
              << "\noutput ros VALUE\niterations " << (publishing || subscribers ? "100000" : "1") << "\n"
              << (publishing ? "node pub RosStdMsgsPublisher\n"
                               "param pub ENABLE_DEBUG bool false\n"
                               "param pub ROS_MESSAGE_TYPE string Int32\n"
                               "param pub TOPIC_NAME string /murv_" + name + "\n"
                               "param pub BUFFER_NUM int 10\n"
                               "param pub MAX_FREQUENCY float 0\n"
                               "param pub ROS_LOOP_RATE float 20\n"
                               "connect pub INPUT ros VALUE\n"
                               "pull pub OUTPUT\n"
                             : "");
    for (int i = 1; i <= subscribers; ++i) {
      const std::string sub = "sub" + std::to_string(i);
      described << "node " << sub << " RosStdMsgsSubscriber\nparam " << sub << " ROS_MESSAGE_TYPE string Int32\n"
                << "param " << sub << " OUT_ARRAY_FORMAT string Vector<>\nparam " << sub << " TOPIC_NAME string /murv_"
                << name << "/" << sub << "\n";
      for (const char* p : {"BOOL_DEFAULT bool false", "INT_DEFAULT int 0", "FLOAT_DEFAULT float 0",
                            "ENABLE_DEBUG bool false", "ROS_LOOP_RATE float 20", "MSG_BUFFER_NUM int 10",
                            "DATA_BUFFER_NUM int 10", "REMAIN_LATEST bool false"})
        described << "param " << sub << " " << p << "\n";
      described << "pull " << sub << " OUTPUT\n";
    }
    described.close();
    return std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + net;
  };
  for (const auto& r : rows) {
    // The master of a row before may have pointed them elsewhere.
    setenv("ROS_HOME", home, 1);
    setenv("ROS_LOG_DIR", home, 1);
    setenv("ROS_IP", "127.0.0.1", 1);
    std::unique_ptr<BackgroundCommand> server;
    std::unique_ptr<murvtest::RosMaster> master;
    std::unique_ptr<murvtest::Suspended> suspended;
    std::unique_ptr<murvtest::MasterProxy> proxy;
    int port = 0;
    const int socketFd = loopbackPort(port);
    ASSERT_GE(socketFd, 0);
    if (r.server == silent) {
      ASSERT_EQ(listen(socketFd, 8), 0);
    }
    std::string host = "127.0.0.1", launch = r.launch;
    if (r.server == faults || r.server == http || r.server == cut || r.server == pid) {
      const char* mode = r.server == faults ? "faults" : r.server == cut ? "cut" : "pid";
      server.reset(new BackgroundCommand(r.server == http ? "exec /usr/bin/python3 -u -m http.server --bind 127.0.0.1 0"
                                                          : "exec /usr/bin/python3 " + script + " " + mode));
      // Each says its port on its first line ("Serving HTTP on 127.0.0.1
      // port N ..." for the HTTP server).
      ASSERT_TRUE(waitFor([&] { return server->output().find('\n') != std::string::npos || !server->running(); }));
      const std::string out = server->output();
      port = std::atoi(out.c_str() + (r.server == http ? out.find(" port ") + 6 : 0));
    }
    const bool slowLeave = r.server == slow || r.server == recovering;
    const bool held = r.server == heldStart || r.server == setUp;
    // A network that runs against a master that answers, however slowly.
    const bool slowStop = r.server == late || r.server == lateSetUp || r.server == trickled;
    const bool proxied = slowLeave || held || slowStop;
    if (r.server == stalled || r.server == node || r.server == rospy || proxied) {
      master.reset(new murvtest::RosMaster);
      master->start();
      port = master->port();
    }
    if (proxied) {
      proxy.reset(new murvtest::MasterProxy(port));
      port = proxy->port();
      // slow: each 0.3 s; recovering: the first past the limit, the two
      // services not at all, the last 0.3 s.
      const char* const methods[] = {"unregisterPublisher", "unregisterService", "unsubscribeParam"};
      const int millis[] = {r.server == slow ? 300 : 1500, r.server == slow ? 300 : 0, 300};
      for (int i = 0; slowLeave && i < 3; ++i) proxy->hold(methods[i], std::chrono::milliseconds(millis[i]));
      if (r.server == trickled)
        for (const char* method : {"unregisterPublisher", "unregisterService", "unsubscribeParam"})
          proxy->trickle(method, std::chrono::milliseconds(r.heldMillis));
      else if (!slowLeave)
        proxy->hold(r.held, std::chrono::milliseconds(r.heldMillis));
    }
    if (r.server == node || r.server == rospy) {
      server.reset(new BackgroundCommand(
          "exec " + (r.server == node ? runnerCommand("node_peer", true)
                                      : "/usr/bin/python3 /usr/bin/rostopic pub -r 20 /murv_rospy_peer std_msgs/Int32 1 "
                                        "__name:=murv_rospy_peer")));
      const std::string peer = r.server == node ? "/murv_node_peer" : "/murv_rospy_peer";
      std::string nodeUri;
      ASSERT_TRUE(waitFor([&] { return !(nodeUri = master->lookupNode(peer)).empty(); }))
          << server->output();
      port = std::atoi(nodeUri.c_str() + nodeUri.rfind(':') + 1);
    }
    int nameServer = -1;
    if (r.server == dns) {
      std::ifstream hosts("/etc/hosts");
      const std::string known((std::istreambuf_iterator<char>(hosts)), std::istreambuf_iterator<char>());
      ASSERT_EQ(known.find(unknownHost), std::string::npos);
      const std::string conf = std::string(home) + "/resolv.conf";
      nameServer = silentNameServer(conf);
      const murvtest::CommandResult unshared =
          murvtest::runCommand("unshare -m sh -c 'mount --bind " + conf + " /etc/resolv.conf' 2>&1");
      if (nameServer < 0 || unshared.status != 0) {
        // This row alone cannot run here; the others count. (Not gtest's
        // skip marker, which ctest would take for the whole test's.)
        std::cout << "row " << r.tag
                  << " not run here: a private resolver configuration needs port 53 on a loopback address and unshare -m: "
                  << (nameServer < 0 ? "port 53 refused" : unshared.output) << std::endl;
        if (nameServer >= 0) close(nameServer);
        close(socketFd);
        continue;
      }
      host = unknownHost;
      launch = "exec unshare -m sh -c 'mount --bind " + conf + " /etc/resolv.conf && exec \"$0\" \"$@\"' ";
    }
    ASSERT_GT(port, 0) << r.tag;
    // The final slash is optional.
    const std::string uri = "http://" + host + ":" + std::to_string(port) + (r.server == http ? "" : "/");
    setenv("ROS_MASTER_URI", uri.c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    BackgroundCommand runner(launch + (r.server == dns ? "" : "exec ") +
                             runnerCommand(r.tag, r.server == stalled || slowStop, r.server == setUp ? 3 : 0));
    if (r.server == refused) {
      // roscpp says so once it has found no master.
      ASSERT_TRUE(waitFor([&] { return runner.output().find(rosRetry) != std::string::npos; }))
          << r.tag << "\n" << runner.output();
    }
    if (r.server == silent || r.server == cut || r.server == dns) {
      // Said a second into the wait (the deadline leaves room for a slow
      // start under the sanitizers).
      ASSERT_TRUE(waitFor([&] { return runner.output().find(r.answered) != std::string::npos; },
                          std::chrono::seconds(5)))
          << r.tag << "\n" << runner.output();
    }
    if (r.server == stalled || slowStop) {
      // Registered: the master goes quiet while the network runs; or the
      // stop comes as the first node is set up.
      const char* const when = r.server == lateSetUp ? "ROS initialized..." : "pub initialized";
      ASSERT_TRUE(waitFor([&] { return runner.output().find(when) != std::string::npos; }, std::chrono::seconds(30)))
          << r.tag << "\n" << runner.output();
      if (r.server == stalled) suspended.reset(new murvtest::Suspended(master->pid()));
    }
    if (held) {
      ASSERT_TRUE(proxy->waitHeld(r.signalAt ? r.signalAt : r.held)) << r.tag << "\n" << runner.output();
    }
    if (!r.notSaid.empty() && r.sig && r.server != stalled && !held) {
      // Until a notice is due, and a little after: it must not come beside
      // roscpp's own line.
      const auto due = started + std::chrono::milliseconds(1500) - std::chrono::steady_clock::now();
      EXPECT_FALSE(waitFor([&] { return runner.output().find(r.notSaid) != std::string::npos; },
                           std::chrono::duration_cast<std::chrono::milliseconds>(due)))
          << r.tag << "\n" << runner.output();
    }
    const auto signalled = std::chrono::steady_clock::now();
    if (r.sig) runner.signal(r.sig);
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(slowStop ? 60 : 10)), r.status) << r.tag << "\n" << runner.output();
    if (r.sig && !slowStop) {
      // A stop within about 2 s, whatever the master does.
      EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(4)) << r.tag;
    }
    const std::string out = runner.output();
    const std::string line = r.said + (r.said.empty() ? "" : uri) + r.answered;
    EXPECT_TRUE(line.empty() || out.find(line) != std::string::npos) << r.tag << "\n" << out;
    EXPECT_TRUE(line.empty() || out.find(line) == out.rfind(line)) << r.tag << " said once\n" << out;
    if (r.server == silent || r.server == cut || r.server == dns) {
      EXPECT_NE(out.find(stopped + uri + "\n"), std::string::npos) << r.tag << "\n" << out;
    }
    EXPECT_TRUE(r.notSaid.empty() || out.find(r.notSaid) == std::string::npos) << r.tag << "\n" << out;
    if (r.server != stalled && !slowLeave && !slowStop && r.server != setUp) {
      EXPECT_EQ(out.find("generated..."), std::string::npos) << r.tag << "\n" << out;
    }
    if (r.server == setUp) {
      // The subscriber whose set-up the signal came in ends it; the later
      // ones are not initialised. Its call was sent once, and the teardown
      // ended without the runner's last resort.
      EXPECT_NE(out.find("sub1 initialized...\n"), std::string::npos) << r.tag << "\n" << out;
      EXPECT_EQ(out.find("sub2 initialized..."), std::string::npos) << r.tag << "\n" << out;
      EXPECT_EQ(out.find("sub3 initialized..."), std::string::npos) << r.tag << "\n" << out;
      const std::vector<std::string> calls = proxy->calls();
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "registerSubscriber"), 1) << r.tag << "\n" << out;
      EXPECT_EQ(out.find(runnerEnds), std::string::npos) << r.tag << "\n" << out;
    }
    if (slowStop) {
      // The teardown ran to its end: nothing left at the master, and no
      // call of roscpp broken off by the signal.
      EXPECT_EQ(out.find(rosRetry), std::string::npos) << r.tag << "\n" << out;
      EXPECT_EQ(master->registrationsOf(std::string("murv_") + r.tag), "") << r.tag << "\n" << out;
      EXPECT_EQ(master->lookupNode(std::string("/murv_") + r.tag), "") << r.tag << "\n" << out;
    }
    if (slowLeave) {
      // The last call had its whole second (once the master has answered
      // again after a cut), so it was sent once.
      const std::vector<std::string> calls = proxy->calls();
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "unsubscribeParam"), 1) << r.tag << "\n" << out;
      EXPECT_TRUE(r.server != slow || master->lookupNode("/murv_slow").empty()) << out;
    }
    if (held && r.heldMillis < 1000) {
      // The held call was answered before the runner ended.
      EXPECT_EQ(master->registrationsOf(std::string("murv_") + r.tag), "") << r.tag << "\n" << out;
      EXPECT_EQ(master->lookupNode(std::string("/murv_") + r.tag), "") << r.tag << "\n" << out;
    }
    if (nameServer >= 0) close(nameServer);
    close(socketFd);
  }
  std::filesystem::remove_all(home);
}

// A host that ignores all three stop signals: the notice names none, and
// shows the instance name as a terminal can take it. In a process of its
// own, since ROS keeps the first master address it is given.
TEST(RosNodeGenerator, TheNoticeNamesOnlyTheSignalsThatEndTheWait) {
  auto waitIgnoringSignals = [] {
    int port = 0;
    const int listener = loopbackPort(port);
    if (listener < 0 || listen(listener, 8) != 0) _exit(3);
    setenv("ROS_MASTER_URI", ("http://127.0.0.1:" + std::to_string(port) + "/").c_str(), 1);
    // Answers, but not as a master, once the notice is due.
    std::thread late([&] {
      const int c = accept(listener, nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      const char answer[] = "HTTP/1.0 501 No\r\n\r\n";
      if (send(c, answer, sizeof answer - 1, MSG_NOSIGNAL) < 0) _exit(4);
      close(c);
    });
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_IGN);
    MURV::ParameterSet params;
    params.add("NODE_NAME", MURV::ObjectRef(new MURV::String("murv_ignoring")));
    try {
      MURV::Node::getFactoryNamed("RosNodeGenerator")->Create("ros\x1b[2J", params)->unref();
    } catch (MURV::BaseException* e) {
      delete e;
    }
    late.join();
    _exit(0);
  };
  EXPECT_EXIT(waitIgnoringSignals(), testing::ExitedWithCode(0),
              "ros\\\\x1b\\[2J: nothing answers at the ROS master address http://127.0.0.1:[0-9]+/ yet; waiting for a "
              "master\n");
}

// A host whose only thread that takes the stop signals makes the generator:
// while roscpp starts (its first registration held past the leave limit)
// that thread holds them, and the toolbox's watcher takes them in its
// place, so a stop still ends the start-up, and the host's handler still
// gets it once. In a process of its own.
TEST(RosNodeGenerator, AStopEndsTheStartUpInAHostWithOneThreadTakingSignals) {
  murvtest::RosMaster master;
  master.start();
  static std::atomic<int> hostCalls{0};
  auto host = [&] {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // for the proxy's threads and the sender
    murvtest::MasterProxy proxy(master.port());
    proxy.hold("registerPublisher", std::chrono::milliseconds(5000));
    setenv("ROS_MASTER_URI", proxy.uri().c_str(), 1);
    std::thread sender([&] {
      if (proxy.waitHeld("registerPublisher")) kill(getpid(), SIGINT);
    });
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    signal(SIGINT, [](int) { ++hostCalls; });
    MURV::ParameterSet params;
    params.add("NODE_NAME", MURV::ObjectRef(new MURV::String("murv_one_taker")));
    std::string made = "made";
    try {
      MURV::Node::getFactoryNamed("RosNodeGenerator")->Create("ros", params)->unref();
    } catch (MURV::BaseException* e) {
      made = e->text();
      delete e;
    }
    sender.join();
    std::cerr << made << "host calls " << hostCalls.load() << std::endl;
    _exit(0);
  };
  EXPECT_EXIT(host(), testing::ExitedWithCode(0), testing::Truly([](const std::string& said) {
                return said.find(" while the ROS node /murv_one_taker was leaving") != std::string::npos &&
                       said.find(std::string(stopped) + "http://127.0.0.1:") != std::string::npos &&
                       said.find("host calls 1\n") != std::string::npos;
              }));
}
