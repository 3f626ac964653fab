#include "MasterLeave.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xmlrpcpp/XmlRpcUtil.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace murvmaster {

namespace {

using Clock = std::chrono::steady_clock;

// Whether two addresses are the same host and port.
bool sameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
  if (a.ss_family != b.ss_family) return false;
  if (a.ss_family == AF_INET) {
    const sockaddr_in& x = reinterpret_cast<const sockaddr_in&>(a);
    const sockaddr_in& y = reinterpret_cast<const sockaddr_in&>(b);
    return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
  }
  if (a.ss_family == AF_INET6) {
    const sockaddr_in6& x = reinterpret_cast<const sockaddr_in6&>(a);
    const sockaddr_in6& y = reinterpret_cast<const sockaddr_in6&>(b);
    return x.sin6_port == y.sin6_port && std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
  }
  return false;
}

// A connection of this process to the master that waits for an answer:
// still connecting, or connected with nothing to read. One the master has
// answered and closed (roscpp keeps it until its next call) is not one.
struct Waiting {
  int fd;
  ino_t inode;
};

std::vector<Waiting> waitingConnections(const std::vector<MasterAddress>& master) {
  std::vector<Waiting> found;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return found;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = std::atoi(entry->d_name);
    struct stat st;
    if (fd == dirfd(dir) || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    bool ours = false;
    for (const MasterAddress& m : master) ours = ours || sameEndpoint(peer, m.address);
    if (!ours) continue;
    tcp_info info{};
    socklen_t infoLength = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoLength) != 0) continue;
    int unread = 0;
    const bool waiting = info.tcpi_state == TCP_SYN_SENT ||
                         (info.tcpi_state == TCP_ESTABLISHED && ioctl(fd, FIONREAD, &unread) == 0 && unread == 0);
    if (waiting) found.push_back({fd, st.st_ino});
  }
  closedir(dir);
  return found;
}

// Whether thread tid of this process is blocked in poll() without a time
// limit, as an XML-RPC call waits for its answer.
bool blockedInPoll(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string number, fds, count, timeout;
  // The time-out is an int: its register may or may not be sign-extended.
  return in >> number >> fds >> count >> timeout && number == std::to_string(SYS_poll) &&
         static_cast<std::int32_t>(std::strtoull(timeout.c_str(), nullptr, 16)) == -1;
}

// The watch's state, for the whole process: the hook below may be called
// on any thread at any time, so it is never destroyed.
struct Watch {
  std::mutex lock;
  std::condition_variable changed;
  // The unregistering calls under way, by the thread that makes each, and
  // when each began. A thread that begins another call is done with the
  // one before, answered or failed.
  std::map<pid_t, Clock::time_point> calls;
  bool answered = false;  // an unregistering call was answered
  int users = 0;
  bool over = false;
  std::thread thread;
  std::string who, rosName, uri;
  std::vector<MasterAddress> addresses;

  void run();
};

Watch& watch() {
  static Watch* const w = new Watch;
  return *w;
}

// Sees each XML-RPC call roscpp makes, through xmlrpcpp's log at level 1
// ("XmlRpcClient::execute: method NAME (...)." as it begins, "... NAME
// completed." once answered), and passes on what the log in place before
// would have shown.
class CallLog : public XmlRpc::XmlRpcLogHandler {
public:
  CallLog(XmlRpc::XmlRpcLogHandler* before, int verbosity) : before(before), verbosity(verbosity) {}
  void log(int level, const char* msg) override {
    static const char prefix[] = "XmlRpcClient::execute: method ";
    if (level == 1 && std::strncmp(msg, prefix, sizeof prefix - 1) == 0) {
      const char* method = msg + sizeof prefix - 1;
      const bool leaving = std::strncmp(method, "unregister", 10) == 0 || std::strncmp(method, "unsubscribe", 11) == 0;
      const bool done = std::strstr(method, " completed.") != nullptr;
      const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
      Watch& w = watch();
      bool began = false;
      {
        std::lock_guard<std::mutex> guard(w.lock);
        w.calls.erase(tid);
        if (leaving && done) w.answered = true;
        if (leaving && !done) {
          w.calls[tid] = Clock::now();
          began = true;
        }
      }
      if (began) w.changed.notify_all();
    }
    if (before && level <= verbosity) before->log(level, msg);
  }

private:
  XmlRpc::XmlRpcLogHandler* const before;
  const int verbosity;
};

void Watch::run() {
  std::unique_lock<std::mutex> guard(lock);
  // Once a call has waited its limit, the master is taken for gone until
  // it answers one again: later calls are not given the limit each.
  bool gone = false, said = false;
  while (!over) {
    if (calls.empty()) {
      changed.wait(guard, [&] { return over || !calls.empty(); });
      continue;
    }
    if (answered) gone = false;
    answered = false;
    const Clock::time_point now = Clock::now();
    bool stuck = false;
    for (auto c = calls.begin(); c != calls.end();) {
      if (access(("/proc/self/task/" + std::to_string(c->first)).c_str(), F_OK) != 0) {
        c = calls.erase(c);
        continue;
      }
      if ((gone || now - c->second >= std::chrono::milliseconds(leaveLimitMillis)) && blockedInPoll(c->first))
        stuck = true;
      ++c;
    }
    if (stuck) {
      const std::vector<MasterAddress> master = addresses;
      guard.unlock();
      for (const Waiting& c : waitingConnections(master)) shutdown(c.fd, SHUT_RDWR);
      guard.lock();
      gone = true;
      if (!said) {
        said = true;
        std::cerr << who << ": the ROS node " << rosName << " could not be unregistered, because the master at "
                  << uri << " does not answer" << std::endl;
      }
    }
    changed.wait_for(guard, std::chrono::milliseconds(gone ? 20 : 100));
  }
}

}  // namespace

void seeUnregistering() {
  static std::once_flag once;
  std::call_once(once, [] {
    static CallLog* const hook = new CallLog(XmlRpc::XmlRpcLogHandler::getLogHandler(), XmlRpc::getVerbosity());
    XmlRpc::XmlRpcLogHandler::setLogHandler(hook);
    if (XmlRpc::getVerbosity() < 1) XmlRpc::setVerbosity(1);
  });
}

void watchLeave(const std::string& who, const std::string& rosName, const std::string& uri,
                const std::vector<MasterAddress>& addresses) {
  seeUnregistering();
  Watch& w = watch();
  std::lock_guard<std::mutex> guard(w.lock);
  w.who = who;
  w.rosName = rosName;
  w.uri = uri;
  w.addresses = addresses;
  if (w.users++ == 0) {
    w.over = false;
    w.thread = std::thread([&w] { w.run(); });
  }
}

void endWatchingLeave() {
  Watch& w = watch();
  std::thread ending;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    if (w.users == 0 || --w.users > 0) return;
    w.over = true;
    w.calls.clear();
    ending.swap(w.thread);
  }
  w.changed.notify_all();
  if (ending.joinable()) ending.join();
}

}  // namespace murvmaster
