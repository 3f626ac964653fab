// Leaving a ROS master that has stopped answering, inside a host that talks
// to the same master itself: the toolbox cuts only its own unregistering
// calls, whatever the host does with xmlrpcpp's verbosity and log. A host
// whose threads the watch may not look at is told so.
#include <arpa/inet.h>
#include <grp.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xmlrpcpp/XmlRpc.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "Node.h"
#include "RosMaster.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;
using murvtest::waitFor;

namespace {

// The host's own xmlrpcpp log.
struct HostLog : XmlRpc::XmlRpcLogHandler {
  std::mutex lock;
  std::string text;
  void log(int level, const char* msg) override {
    std::lock_guard<std::mutex> guard(lock);
    text += std::to_string(level) + " " + msg + "\n";
  }
};

// A getPid for the master over the host's own connection fd: what came
// back until the master closed it, or why nothing could be sent.
std::string askPid(int fd) {
  const std::string body = "<?xml version=\"1.0\"?><methodCall><methodName>getPid</methodName><params><param>"
                           "<value>/host</value></param></params></methodCall>";
  const std::string request = "POST / HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
    return std::string("send: ") + strerror(errno);
  std::string answer;
  char piece[4096];
  pollfd p{fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, 10000) == 1 && (n = recv(fd, piece, sizeof piece, 0)) > 0;) answer.append(piece, n);
  return answer;
}

ObjectRef text(const char* s) { return ObjectRef(new String(s)); }
template <typename T> ObjectRef number(T n) { return ObjectRef(new NetCType<T>(n)); }

Node* make(const char* type, const std::string& name, const std::vector<std::pair<const char*, ObjectRef>>& values) {
  ParameterSet params;
  for (const auto& v : values) params.add(v.first, v.second);
  Node* node = Node::getFactoryNamed(type)->Create(name, params);
  node->initialize();
  return node;
}

}  // namespace

TEST(RosNodeGenerator, LeavingAStalledMasterCutsOnlyItsOwnCalls) {
  murvtest::RosMaster master;
  master.start();
  HostLog hostLog;
  XmlRpc::XmlRpcLogHandler::setLogHandler(&hostLog);
  Node* gen = make("RosNodeGenerator", "gen\x1b[2J", {{"NODE_NAME", text("murv_leave")}});
  Node* pub = make("RosMurvIntPublisher", "pub",
                   {{"TOPIC_NAME", text("/murv_leave_out")}, {"BUFFER_NUM", number(10)}, {"PARAM", number(1)}});
  Node* sub = make("RosMurvIntSubscriber", "sub",
                   {{"TOPIC_NAME", text("/murv_leave_in")}, {"BUFFER_NUM", number(10)}, {"ROS_DURATION", number(0.f)}});
  // The host, once the toolbox is in: quiet xmlrpcpp, an idle connection
  // of its own to the master, and a call of its own waiting on it.
  XmlRpc::setVerbosity(0);
  const int idle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(master.port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(idle, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  auto suspended = std::make_unique<murvtest::Suspended>(master.pid());
  auto hostGetPid = [&] {
    XmlRpc::XmlRpcClient client("127.0.0.1", master.port(), "/");
    XmlRpc::XmlRpcValue args, result;
    args[0] = "/host";
    return client.execute("getPid", args, result) && !client.isFault();
  };
  std::atomic<pid_t> hostThread{0};
  std::future<bool> hostCall = std::async(std::launch::async, [&] {
    hostThread = static_cast<pid_t>(syscall(SYS_gettid));
    return hostGetPid();
  });
  ASSERT_TRUE(waitFor([&] {
    const long call = hostThread.load() ? murvtest::syscallOfThread(hostThread) : -1;
    return call == SYS_poll || call == SYS_ppoll;
  }));

  testing::internal::CaptureStderr();
  const auto began = std::chrono::steady_clock::now();
  std::future<void> teardown = std::async(std::launch::async, [&] {
    for (Node* node : {pub, sub, gen}) node->unref();
  });
  EXPECT_EQ(teardown.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "teardown held by the master";
  suspended.reset();
  teardown.wait();
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  const std::string said = testing::internal::GetCapturedStderr();
  const std::string notice = "gen\\x1b[2J: the master at " + master.uri() +
                             " did not answer within 1 s while the ROS node /murv_leave was leaving; /murv_leave "
                             "may still be listed there\n";
  EXPECT_NE(said.find(notice), std::string::npos) << said;
  EXPECT_EQ(said.find(notice), said.rfind(notice)) << "said once\n" << said;

  // The host's call and connection were left alone: the master, resumed,
  // answers both.
  EXPECT_TRUE(hostCall.get());
  EXPECT_NE(askPid(idle).find("</methodResponse>"), std::string::npos);
  close(idle);
  // The host's log hears xmlrpcpp at the verbosity the host sets.
  XmlRpc::setVerbosity(1);
  EXPECT_TRUE(hostGetPid());
  XmlRpc::setVerbosity(0);
  std::lock_guard<std::mutex> guard(hostLog.lock);
  EXPECT_NE(hostLog.text.find("1 XmlRpcClient::execute: method getPid"), std::string::npos) << hostLog.text;
}

// A host that is not dumpable is told once what the watch cannot read,
// and its networks run. Root reads its /proc files all the same, so is
// given up first. In a process of its own.
TEST(RosNodeGenerator, AHostTheWatchCannotLookIntoIsToldSo) {
  murvtest::RosMaster master;
  master.start();
  auto undumpableHost = [] {
    const gid_t nobody = 65534;
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
                           setresuid(nobody, nobody, nobody) != 0))
      _exit(3);
    if (prctl(PR_SET_DUMPABLE, 0) != 0) _exit(3);
    for (int network = 0; network < 2; ++network)
      make("RosNodeGenerator", "gen\x1b[2J", {{"NODE_NAME", text("murv_undumpable")}})->unref();
    _exit(0);
  };
  const std::string line = "gen\\x1b[2J: cannot read /proc/self/mem (Permission denied), so a ROS master that stops "
                           "answering can hold the end of this network\n";
  EXPECT_EXIT(undumpableHost(), testing::ExitedWithCode(0), testing::Truly([&](const std::string& said) {
                return said.find(line) != std::string::npos && said.find(line) == said.rfind(line);
              }));
}
