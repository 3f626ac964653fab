#include "RosMaster.h"

#include <dirent.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xmlrpcpp/XmlRpc.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace murvtest {

namespace {

int freeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

// Forks a shell running command in a process group of its own, with standard
// output and error sent to outFd. Everything the child needs is made before
// the fork: the parent may have other threads.
pid_t spawnShell(const std::string& command, int outFd) {
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    // A test process that dies (an abort under a sanitizer) takes its
    // master and its ROS tools with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(outFd, 1);
    dup2(outFd, 2);
    execv("/bin/sh", const_cast<char* const*>(argv));
    _exit(127);
  }
  if (pid > 0) setpgid(pid, pid);
  return pid;
}

bool reap(pid_t pid, int* status, std::chrono::milliseconds deadline) {
  return waitFor(
      [&] {
        pid_t r = waitpid(pid, status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
      },
      deadline, std::chrono::milliseconds(5));
}

void endGroup(pid_t pid) {
  int status;
  kill(-pid, SIGTERM);
  if (!reap(pid, &status, std::chrono::seconds(5))) {
    kill(-pid, SIGKILL);
    reap(pid, &status, std::chrono::seconds(5));
  }
}

// What the master on port answers to method (the value after its status
// code and text), or an invalid value when it does not answer.
XmlRpc::XmlRpcValue askMaster(int port, const char* method, const std::string& arg = "") {
  XmlRpc::setVerbosity(0);
  XmlRpc::XmlRpcClient client("127.0.0.1", port, "/");
  XmlRpc::XmlRpcValue args, result;
  args[0] = "/murv_test_fixture";
  if (!arg.empty()) args[1] = arg;
  if (!client.execute(method, args, result) || client.isFault()) return {};
  if (result.getType() != XmlRpc::XmlRpcValue::TypeArray || result.size() < 3) return {};
  return result[2];
}

// The text the master on port answers to method, or "".
std::string askMasterText(int port, const char* method, const std::string& arg) {
  XmlRpc::XmlRpcValue text = askMaster(port, method, arg);
  return text.getType() == XmlRpc::XmlRpcValue::TypeString ? static_cast<std::string>(text) : "";
}

}  // namespace

bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds deadline, std::chrono::milliseconds step) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (true) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(step);
  }
}

RosMaster::RosMaster() {}

RosMaster::~RosMaster() { stop(); }

std::string RosMaster::uri() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

int RosMaster::queryPid() const {
  XmlRpc::XmlRpcValue pid = askMaster(port_, "getPid");
  return pid.getType() == XmlRpc::XmlRpcValue::TypeInt ? static_cast<int>(pid) : -1;
}

std::string RosMaster::lookupService(const std::string& service) const {
  return askMasterText(port_, "lookupService", service);
}

std::string RosMaster::lookupNode(const std::string& node) const { return askMasterText(port_, "lookupNode", node); }
std::string RosMaster::registrationsOf(const std::string& rosName) const {
  XmlRpc::XmlRpcValue state = askMaster(port_, "getSystemState");
  if (state.getType() != XmlRpc::XmlRpcValue::TypeArray || state.size() < 3) return "<no answer>";
  std::string held;
  const char* kinds[] = {"publishes ", "subscribes ", "serves "};
  for (int kind = 0; kind < 3; ++kind)
    for (int i = 0; i < state[kind].size(); ++i)
      for (int j = 0; j < state[kind][i][1].size(); ++j)
        if (static_cast<std::string>(state[kind][i][1][j]) == "/" + rosName)
          held += kinds[kind] + static_cast<std::string>(state[kind][i][0]) + "\n";
  return held;
}

void RosMaster::start() {
  if (pid_ > 0) return;
  if (home_.empty()) {
    char tmpl[] = "/tmp/murv-ros-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    home_ = tmpl;
    std::filesystem::create_directories(home_ + "/log");
  }
  setenv("ROS_HOME", home_.c_str(), 1);
  setenv("ROS_LOG_DIR", (home_ + "/log").c_str(), 1);
  setenv("ROS_IP", "127.0.0.1", 1);
  unsetenv("ROS_HOSTNAME");
#ifdef MURV_MSGS_PYTHONPATH
  {
    std::string path = MURV_MSGS_PYTHONPATH;
    const char* old = getenv("PYTHONPATH");
    if (old && *old) path += std::string(":") + old;
    setenv("PYTHONPATH", path.c_str(), 1);
  }
#endif
#ifdef MURV_MSGS_PACKAGE_PATH
  {
    std::string path = MURV_MSGS_PACKAGE_PATH;
    const char* old = getenv("ROS_PACKAGE_PATH");
    if (old && *old) path += std::string(":") + old;
    setenv("ROS_PACKAGE_PATH", path.c_str(), 1);
  }
#endif
  for (int attempt = 0; attempt < 10; ++attempt) {
    int port = freeLoopbackPort();
    if (port > 0 && startOn(port)) return;
  }
  throw std::runtime_error("could not start a rosmaster on a free loopback port");
}

bool RosMaster::startOn(int port) {
  port_ = port;
  setenv("ROS_MASTER_URI", uri().c_str(), 1);
  std::string log = home_ + "/rosmaster-" + std::to_string(port) + ".log";
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // exec keeps the pid: the master is the shell's own process.
  pid_ = spawnShell("exec /usr/bin/python3 /usr/bin/rosmaster --core -p " + std::to_string(port), fd);
  close(fd);
  if (pid_ <= 0) return false;
  int status;
  bool exited = false;
  // A master on a port that was taken meanwhile does not exit: it is only
  // ours when the one answering reports our pid.
  bool ours = waitFor(
      [&] {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          exited = true;
          return true;
        }
        return queryPid() == pid_;
      },
      std::chrono::seconds(30));
  if (ours && !exited) return true;
  if (!exited) endGroup(pid_);
  pid_ = -1;
  return false;
}

void RosMaster::stop() {
  if (pid_ > 0) {
    int status;
    kill(pid_, SIGTERM);
    if (!reap(pid_, &status, std::chrono::seconds(10))) {
      kill(pid_, SIGKILL);
      reap(pid_, &status, std::chrono::seconds(10));
    }
    pid_ = -1;
  }
  if (!home_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
    home_.clear();
  }
}

ServiceReply rawServiceCall(const std::string& uri, const std::string& service, const std::string& body) {
  auto prefixed = [](const std::string& bytes) {
    const uint32_t n = static_cast<uint32_t>(bytes.size());
    return std::string(reinterpret_cast<const char*>(&n), 4) + bytes;
  };
  const std::string out =
      prefixed(prefixed("callerid=/murv_raw_client") + prefixed("service=" + service) + prefixed("md5sum=*")) +
      prefixed(body);
  ServiceReply reply;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  const size_t colon = uri.rfind(':');
  addr.sin_port = htons(static_cast<uint16_t>(std::atoi(uri.c_str() + colon + 1)));
  if (uri.rfind("rosrpc://", 0) != 0 || inet_pton(AF_INET, uri.substr(9, colon - 9).c_str(), &addr.sin_addr) != 1)
    return reply;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval wait{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  auto take = [&](void* to, size_t n) { return n == 0 || recv(fd, to, n, MSG_WAITALL) == static_cast<ssize_t>(n); };
  auto takePrefixed = [&](std::string& to) {
    uint32_t n;
    if (!take(&n, 4)) return false;
    to.resize(n);
    return take(&to[0], n);
  };
  std::string theirHeader;
  uint8_t ok;
  reply.answered = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                   send(fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size()) &&
                   takePrefixed(theirHeader) && take(&ok, 1) && takePrefixed(reply.body);
  reply.ok = reply.answered && ok != 0;
  close(fd);
  return reply;
}

CommandResult runCommand(const std::string& command, std::chrono::milliseconds deadline) {
  CommandResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  pid_t pid = spawnShell(command, fds[1]);
  close(fds[1]);
  auto end = std::chrono::steady_clock::now() + deadline;
  char buf[4096];
  bool timedOut = false;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (r < 0 && errno != EINTR) break;
    if (r > 0) {
      ssize_t n = read(fds[0], buf, sizeof(buf));
      if (n <= 0) break;
      result.output.append(buf, static_cast<size_t>(n));
    }
  }
  close(fds[0]);
  int status = 0;
  if (timedOut) {
    endGroup(pid);
    return result;
  }
  if (!reap(pid, &status, std::chrono::seconds(10))) {
    endGroup(pid);
    return result;
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

bool rosNodeListed(const std::string& rosName) {
  const std::string list = runCommand("exec /usr/bin/python3 /usr/bin/rosnode list").output;
  return list.find("/" + rosName + "\n") != std::string::npos;
}

BackgroundCommand::BackgroundCommand(const std::string& command) {
  char tmpl[] = "/tmp/murv-bg-XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  file_ = tmpl;
  pid_ = spawnShell(command, fd);
  close(fd);
}

BackgroundCommand::~BackgroundCommand() {
  if (!exited_ && pid_ > 0) endGroup(pid_);
  unlink(file_.c_str());
}

std::string BackgroundCommand::output() const {
  std::ifstream in(file_);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool BackgroundCommand::running() {
  if (exited_) return false;
  int status;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    exited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return !exited_;
}

int BackgroundCommand::waitExit(std::chrono::milliseconds deadline) {
  waitFor([&] { return !running(); }, deadline, std::chrono::milliseconds(5));
  return exited_ ? status_ : -1;
}

void BackgroundCommand::signal(int sig) {
  if (!exited_) kill(pid_, sig);
}

long wakeupsOf(const std::string& statusFile) {
  std::ifstream in(statusFile);
  const std::string key = "voluntary_ctxt_switches:";
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

bool aThreadBlockedIn(pid_t pid, long number) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    long at = -1;
    std::ifstream(tasks + "/" + entry->d_name + "/syscall") >> at;
    if (at == number) found = true;
  }
  closedir(dir);
  return found;
}

std::vector<long> threadsTaking(pid_t pid, int sig) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::vector<long> taking;
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return taking;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(tasks + "/" + entry->d_name + "/status");
    std::string key, mask;
    while (status >> key)
      if (key == "SigBlk:" && status >> mask && !(std::stoull(mask, nullptr, 16) >> (sig - 1) & 1))
        taking.push_back(std::atol(entry->d_name));
  }
  closedir(dir);
  return taking;
}

long syscallOfThread(long tid) {
  long at = -1;
  std::ifstream("/proc/self/task/" + std::to_string(tid) + "/syscall") >> at;
  return at;
}

Suspended::Suspended(pid_t pid) : pid(pid) { kill(pid, SIGSTOP); }
Suspended::~Suspended() { kill(pid, SIGCONT); }

}  // namespace murvtest
