#ifndef MURV_TEST_ROS_MASTER_H
#define MURV_TEST_ROS_MASTER_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace murvtest {

// Polls cond until it holds or the deadline passes; answers whether it held.
bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds deadline = std::chrono::seconds(20),
             std::chrono::milliseconds step = std::chrono::milliseconds(10));

// A private rosmaster on a free loopback port, for one test process. The
// process environment is pointed at it (ROS_MASTER_URI, ROS_IP, a temporary
// ROS_HOME and ROS_LOG_DIR), so ROS clients started afterwards, in this
// process or as children, use it.
class RosMaster {
public:
  RosMaster();
  ~RosMaster();
  RosMaster(const RosMaster&) = delete;
  RosMaster& operator=(const RosMaster&) = delete;

  void start();
  void stop();
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  std::string uri() const;
  // The pid the master on our port reports, or -1 when none answers.
  int queryPid() const;
  // The address ("rosrpc://host:port") the master knows for a service, or ""
  // while none is registered.
  std::string lookupService(const std::string& service) const;
  // The XML-RPC address the master knows for a ROS node, or "".
  std::string lookupNode(const std::string& node) const;
  // What the master holds for the ROS node rosName (given without its
  // leading slash): a line "publishes T", "subscribes T" or "serves S" for
  // each of its topics and services; "" when nothing, "<no answer>" when the
  // master does not answer.
  std::string registrationsOf(const std::string& rosName) const;

private:
  bool startOn(int port);
  pid_t pid_ = -1;
  int port_ = 0;
  std::string home_;
};

struct CommandResult {
  int status = -1;      // exit status, or -1 when it did not exit in time
  std::string output;   // standard output and standard error together
};

// What a ROS service answered to one request on a raw connection: its ok
// byte and the body (the response, or the error text). answered is false when
// the connection broke or nothing came back within 20 s.
struct ServiceReply {
  bool answered = false;
  bool ok = false;
  std::string body;
};

// Sends body, as it is, as one request to the service at uri
// ("rosrpc://host:port") on a fresh TCPROS connection that accepts any md5sum.
ServiceReply rawServiceCall(const std::string& uri, const std::string& service, const std::string& body);

// Runs a shell command with a deadline; a command still running then is
// killed (its whole process group).
CommandResult runCommand(const std::string& command, std::chrono::milliseconds deadline = std::chrono::seconds(60));

// Whether `rosnode list`, run against the master the environment names,
// lists the ROS node rosName (given without its leading slash).
bool rosNodeListed(const std::string& rosName);

// How often a thread has gone to sleep and been woken: its voluntary context
// switches, from the kernel's account of it in statusFile (0 when unread).
long wakeupsOf(const std::string& statusFile = "/proc/thread-self/status");

// Whether a thread of process pid is blocked in the system call number
// (SYS_ppoll, say): a sure sign that a node has reached its wait, where
// what it prints or registers comes a little before.
bool aThreadBlockedIn(pid_t pid, long number);
// The system call number the thread tid of this process is blocked in, or -1.
long syscallOfThread(long tid);
// The threads of process pid that take signal sig (have it unblocked).
std::vector<long> threadsTaking(pid_t pid, int sig);

// A process suspended with SIGSTOP, resumed whatever ends the test.
struct Suspended {
  explicit Suspended(pid_t pid);
  ~Suspended();
  const pid_t pid;
};

// A running child whose output goes to a file, killed by the destructor.
class BackgroundCommand {
public:
  explicit BackgroundCommand(const std::string& command);
  ~BackgroundCommand();
  std::string output() const;
  bool running();
  int waitExit(std::chrono::milliseconds deadline);
  void signal(int sig);
  pid_t pid() const { return pid_; }

private:
  pid_t pid_ = -1;
  std::string file_;
  int status_ = -1;
  bool exited_ = false;
};

}  // namespace murvtest

#endif
