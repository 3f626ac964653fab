#include "LeaveWatch.h"

#include <fcntl.h>
// The kernel's own tcp_info: glibc's ends before the byte counters.
#include <linux/tcp.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "StopSignalsHeld.h"
#include "TeardownProgress.h"
#include "support/NodeSupport.h"

namespace murvmaster {

namespace {

using Clock = std::chrono::steady_clock;

static_assert(leaveLimitMillis % 1000 == 0, "the notice says the limit in whole seconds");

// Once the master counts as gone, a call of ours seen waiting this long is
// cut; and how often the threads are looked at meanwhile.
constexpr std::chrono::milliseconds goneGrace{20}, lookEvery{10};

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

pid_t threadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Tells the host that a stop's teardown moves on, when it offers to hear it.
void progressed() {
  if (MURV::teardownProgressed) MURV::teardownProgressed();
}

// What thread tid of this process is doing, as the kernel shows it: the
// number and arguments of the system call it is blocked in, with its stack
// and instruction pointers. The same text twice means the same call still
// under way.
std::string systemCallOf(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string line;
  std::getline(in, line);
  return line;
}

// Where the array of a poll() without a time limit on one descriptor lies,
// as call shows it (xmlrpcpp waits so for an answer); 0 for any other call.
std::uintptr_t untimedPollOnOne(const std::string& call) {
  std::istringstream in(call);
  long number = -1;
  std::string args[3];
  if (!(in >> number >> args[0] >> args[1] >> args[2])) return 0;
  unsigned long value[3];
  for (int i = 0; i < 3; ++i) value[i] = std::strtoul(args[i].c_str(), nullptr, 16);
  // poll's time-out is an int, whose register may or may not be
  // sign-extended; ppoll has none when its pointer is null.
  const bool untimed = (number == SYS_poll && static_cast<std::int32_t>(value[2]) == -1) ||
                       (number == SYS_ppoll && value[2] == 0);
  return untimed && value[1] == 1 ? static_cast<std::uintptr_t>(value[0]) : 0;
}

// Reads the descriptor a pollfd at address of this process holds. The
// memory may have gone meanwhile: read through the process's memory file,
// that fails instead of faulting.
bool polledDescriptor(std::uintptr_t address, int& fd) {
  const int memory = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  if (memory < 0) return false;
  pollfd entry{};
  const ssize_t got = pread(memory, &entry, sizeof entry, static_cast<off_t>(address));
  close(memory);
  fd = entry.fd;
  return got == static_cast<ssize_t>(sizeof entry);
}

// The first file the watch reads that this process cannot open, with why;
// "" when it can open them all. A process that is not dumpable (one given
// file capabilities, or one that says so with prctl) may open neither,
// unless root.
std::string unreadableFile() {
  const std::string call = "/proc/self/task/" + std::to_string(threadId()) + "/syscall";
  for (const std::string& file : {std::string("/proc/self/mem"), call}) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return file + " (" + std::strerror(errno) + ")";
    close(fd);
  }
  return "";
}

// TCP_ESTABLISHED, as the kernel numbers a connection's states.
constexpr std::uint8_t established = 1;

// The connection to the master on which thread tid waits for an answer,
// pinned: a descriptor of our own for the socket (the caller closes it),
// and the socket's inode. fd is -1 when the thread waits on no such
// connection. The thread's call and its descriptor are read again once the
// socket is pinned, so that a descriptor closed and reused meanwhile is
// never taken for the one the call waits on.
struct Pinned {
  int fd = -1;
  ino_t socket = 0;
  // The bytes the client has written on it: a new request once it grows.
  std::uint64_t written = 0;
  // When the request waited on was last sent, and whether an answer came
  // in before that: an answer to an earlier request on the connection,
  // whole, since the client writes its next request only then.
  Clock::time_point sent, answeredAt;
  bool answeredBefore = false;
};

// Whether fd is a TCP connection to the master that waits for an answer:
// established, with nothing come to read. What it has carried in p.
bool waitsOnMaster(int fd, const std::vector<MasterAddress>& master, struct stat& st, Pinned& p) {
  int protocol = 0;
  socklen_t size = sizeof protocol;
  if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode) || getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 ||
      protocol != IPPROTO_TCP)
    return false;
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
  bool ours = false;
  for (const MasterAddress& m : master) ours = ours || sameEndpoint(peer, m.address);
  tcp_info info{};
  socklen_t infoLength = sizeof info;
  int unread = 0, unacknowledged = 0;
  if (!ours || getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoLength) != 0 ||
      ioctl(fd, SIOCOUTQ, &unacknowledged) != 0)
    return false;
  // What the peer has acknowledged, and what still waits in the queue:
  // counted once, however often the link resends it.
  p.written = info.tcpi_bytes_acked + static_cast<std::uint64_t>(unacknowledged);
  const Clock::time_point now = Clock::now();
  p.sent = now - std::chrono::milliseconds(info.tcpi_last_data_sent);
  p.answeredAt = now - std::chrono::milliseconds(info.tcpi_last_data_recv);
  // In milliseconds: a fast master's answer and the next request may come
  // within the same one.
  p.answeredBefore = info.tcpi_bytes_received > 0 && info.tcpi_last_data_recv >= info.tcpi_last_data_sent;
  return info.tcpi_state == established && ioctl(fd, FIONREAD, &unread) == 0 && unread == 0;
}

// The inode of the socket that descriptor fd of this process stands for
// now, 0 if none. Read from /proc, not through the descriptor, which roscpp
// may close on another thread at any moment.
ino_t socketInode(int fd) {
  char link[64];
  const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
  if (n <= 0) return 0;
  link[n] = '\0';
  unsigned long long inode = 0;
  return std::sscanf(link, "socket:[%llu]", &inode) == 1 ? static_cast<ino_t>(inode) : 0;
}

Pinned pinWait(pid_t tid, const std::vector<MasterAddress>& master) {
  const std::string call = systemCallOf(tid);
  const std::uintptr_t array = untimedPollOnOne(call);
  int fd = -1;
  if (!array || !polledDescriptor(array, fd) || fd < 0) return {};
  Pinned pinned;
  pinned.fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (pinned.fd < 0) return {};
  struct stat st;
  int again = -1;
  if (waitsOnMaster(pinned.fd, master, st, pinned) && systemCallOf(tid) == call && polledDescriptor(array, again) &&
      again == fd && socketInode(fd) == st.st_ino) {
    pinned.socket = st.st_ino;
    return pinned;
  }
  close(pinned.fd);
  return {};
}

// One thread's marks, the request it was last seen waiting on, and since
// when that request has waited for its answer.
struct Leaving {
  int depth = 0;
  int cutting = 0;  // LeaveCall marks among them: the others only look
  Clock::time_point began;  // when the outermost mark began
  ino_t waitingOn = 0;  // 0: none seen
  std::uint64_t written = 0;  // the bytes written on it by then
  Clock::time_point since;
  bool cut = false;
};

// The watch's state, for the whole process: a LeaveCall may be made on any
// thread at any time, so it is never destroyed.
struct Watch {
  std::mutex lock;
  std::condition_variable changed;
  std::map<pid_t, Leaving> leaving;  // by thread
  int users = 0;
  bool over = false;
  std::thread thread;
  std::string who, rosName, uri;  // as the notice shows them
  std::vector<MasterAddress> addresses;
  // Whether the master counts as gone, since when, and whether that has
  // been said.
  bool gone = false, said = false;
  Clock::time_point goneSince;
  // Whether the files the watch reads have been tried.
  bool tried = false;

  void run();
  // A call of ours had its whole answer, or ended without being cut: the
  // master answers again, and the teardown moves on.
  void answered() {
    gone = said = false;
    progressed();
  }
  // Looks at one thread; answers whether it cut a call the master has let
  // wait its whole limit.
  bool look(pid_t tid, Leaving& l, Clock::time_point now);
};

Watch& watch() {
  static Watch* const w = new Watch;
  return *w;
}

bool Watch::look(pid_t tid, Leaving& l, Clock::time_point now) {
  const Pinned p = pinWait(tid, addresses);
  if (p.fd < 0) return false;
  // The master keeps a connection open for the next call: each request
  // has its own limit, from when it was sent until its whole answer. Bytes
  // of an answer that trickle in do not count: a request is only over once
  // the client writes the next one, or waits on another connection.
  if (p.socket != l.waitingOn || p.written != l.written) {
    // The request seen before, unless cut, had its answer (or ended
    // otherwise, its connection closed); so did earlier ones on this
    // connection, answered between two looks, when the answer came while
    // marked (and after the master was taken for gone).
    const bool earlier = p.answeredBefore && p.answeredAt >= l.began &&
                         (!gone || p.answeredAt > goneSince + lookEvery);
    if ((l.waitingOn && !l.cut) || earlier) answered();
    l.waitingOn = p.socket;
    l.written = p.written;
    l.since = std::max(std::min(p.sent, now), l.began);
    l.cut = false;
  }
  bool stalled = false;
  if (l.cutting && !l.cut && now - l.since >= (gone ? goneGrace : std::chrono::milliseconds(leaveLimitMillis))) {
    shutdown(p.fd, SHUT_RDWR);
    l.cut = true;
    stalled = !gone;
    if (!gone) goneSince = now;
    gone = true;
  }
  close(p.fd);
  return stalled;
}

void Watch::run() {
  std::unique_lock<std::mutex> guard(lock);
  while (!over) {
    if (leaving.empty()) {
      changed.wait(guard, [&] { return over || !leaving.empty(); });
      continue;
    }
    // Under the lock: a marked thread stays inside its mark, and so alive,
    // while it is looked at.
    const Clock::time_point now = Clock::now();
    bool stalled = false;
    for (auto& l : leaving) stalled = look(l.first, l.second, now) || stalled;
    if (stalled && !said) {
      said = true;
      const std::string line = who + ": the master at " + uri + " did not answer within " +
                               std::to_string(leaveLimitMillis / 1000) + " s while the ROS node " + rosName +
                               " was leaving; " + rosName + " may still be listed there\n";
      guard.unlock();
      std::cerr << line << std::flush;
      guard.lock();
    }
    changed.wait_for(guard, lookEvery);
  }
}

// Marks thread, for a LeaveCall (cutting) or a SetUpCall.
void mark(pid_t thread, bool cutting) {
  Watch& w = watch();
  bool first;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    Leaving& l = w.leaving[thread];
    first = l.depth++ == 0;
    if (first) l.began = Clock::now();
    if (cutting) ++l.cutting;
  }
  if (first) w.changed.notify_all();
}

void unmark(pid_t thread, bool cutting) {
  Watch& w = watch();
  std::lock_guard<std::mutex> guard(w.lock);
  const auto l = w.leaving.find(thread);
  if (l == w.leaving.end()) return;
  if (cutting) --l->second.cutting;
  if (--l->second.depth > 0) return;
  // Calls the master answered before the watch saw them wait are progress
  // all the same; a cut call is none.
  if (!l->second.cut) {
    if (l->second.waitingOn)
      w.answered();
    else
      progressed();
  }
  w.leaving.erase(l);
}

}  // namespace

MasterCallMark::MasterCallMark(pid_t thread, bool cutting) : thread(thread), cutting(cutting) { mark(thread, cutting); }

MasterCallMark::~MasterCallMark() { unmark(thread, cutting); }

LeaveCall::LeaveCall() : LeaveCall(threadId()) {}

SetUpCall::SetUpCall() : MasterCallMark(threadId(), false) {}

void watchLeave(const std::string& who, const std::string& rosName, const std::string& uri,
                const std::vector<MasterAddress>& addresses) {
  Watch& w = watch();
  std::string unreadable;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    w.who = murvnode::shown(who);
    w.rosName = murvnode::shown(rosName);
    w.uri = murvnode::shown(uri);
    w.addresses = addresses;
    if (!w.tried) {
      w.tried = true;
      unreadable = unreadableFile();
    }
    if (w.users++ == 0) {
      w.over = false;
      w.gone = w.said = false;
      w.thread = murvstream::threadWithoutStopSignals([&w] { w.run(); });
    }
  }
  // The watch runs all the same, and cuts nothing.
  if (!unreadable.empty())
    std::cerr << murvnode::shown(who) << ": cannot read " << unreadable
              << ", so a ROS master that stops answering can hold the end of this network" << std::endl;
}

void endWatchingLeave() {
  Watch& w = watch();
  std::thread ending;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    if (w.users == 0 || --w.users > 0) return;
    w.over = true;
    ending.swap(w.thread);
  }
  w.changed.notify_all();
  if (ending.joinable()) ending.join();
}

}  // namespace murvmaster
