#include "MasterCheck.h"

#include "SignalWake.h"
#include "StopSignalsHeld.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xmlrpcpp/XmlRpcValue.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace murvmaster {

namespace {

// A master's answer is a few hundred bytes; more than this is not one.
const size_t answerLimit = 65536;
// How often keepWaiting() is asked, and how long a fault of the moment (a
// resolver that fails for now, an answer cut short) waits before the next
// try.
const int sliceMillis = 100;
const int retryMillis = 1000;

using Clock = std::chrono::steady_clock;

// The socket's fd, closed whatever ends the call.
struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

// How the call waits: on the wake descriptor, asking keepWaiting() every
// slice.
struct Wait {
  int wakeFd;
  const std::function<bool()>& keepWaiting;
};

enum class Ready { yes, failed, stopped, timedOut };

// Waits until fd (none when negative) is ready for events, the wait is
// ended, or until passes.
Ready waitReady(int fd, short events, const Wait& w, Clock::time_point until = Clock::time_point::max()) {
  while (true) {
    if (!w.keepWaiting()) return Ready::stopped;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return Ready::timedOut;
    pollfd p[2] = {{w.wakeFd, POLLIN, 0}, {fd, events, 0}};
    const int r = poll(p, 2, static_cast<int>(std::min<long long>(left, sliceMillis)));
    if (r > 0 && p[0].revents) return Ready::stopped;
    if (r > 0) return Ready::yes;
    if (r < 0 && errno != EINTR) return Ready::failed;
  }
}

// The host name resolved on a thread of its own, which may outlive the
// wait: it holds the result, which is freed by whichever of the two ends
// last.
struct Resolution {
  Resolution(std::string host, std::string service) : host(std::move(host)), service(std::move(service)) {}
  ~Resolution() {
    if (found) freeaddrinfo(found);
    if (done >= 0) close(done);
  }
  Resolution(const Resolution&) = delete;
  Resolution& operator=(const Resolution&) = delete;
  void resolve() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    finished.store(true, std::memory_order_release);
    murvwake::wake(done);
  }
  const std::string host, service;
  const int done = eventfd(0, EFD_CLOEXEC);
  int error = 0;
  addrinfo* found = nullptr;
  std::atomic<bool> finished{false};
};

enum class Resolved { yes, failed, again, stopped };

Resolved resolve(const std::shared_ptr<Resolution>& r, const Wait& w) {
  bool started = false;
  if (r->done >= 0) {
    try {
      murvstream::threadWithoutStopSignals([r] { r->resolve(); }).detach();
      started = true;
    } catch (std::system_error&) {
    }
  }
  if (!started) r->resolve();
  while (!r->finished.load(std::memory_order_acquire)) {
    const Ready ready = waitReady(r->done, POLLIN, w);
    if (ready == Ready::stopped) return Resolved::stopped;
    if (ready == Ready::failed) return Resolved::failed;
  }
  if (r->error == EAI_AGAIN) return Resolved::again;
  return r->error == 0 && r->found ? Resolved::yes : Resolved::failed;
}

enum class Attempt { answered, failed, timedOut, stopped };

Attempt attempt(const addrinfo& address, const std::string& request, const Wait& w, std::string& response) {
  Socket s;
  s.fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s.fd < 0) return Attempt::failed;
  if (connect(s.fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return Attempt::failed;
    const Ready ready = waitReady(s.fd, POLLOUT, w);
    if (ready != Ready::yes) return ready == Ready::stopped ? Attempt::stopped : Attempt::failed;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return Attempt::failed;
    // A host that never answers the connection: the kernel gives up after
    // about two minutes, and the call is made again.
    if (error == ETIMEDOUT) return Attempt::timedOut;
    if (error != 0) return Attempt::failed;
  }
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(s.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Attempt::failed;
    const Ready ready = waitReady(s.fd, POLLOUT, w);
    if (ready != Ready::yes) return ready == Ready::stopped ? Attempt::stopped : Attempt::failed;
  }
  char buffer[4096];
  while (!answerComplete(response) && response.size() < answerLimit) {
    const ssize_t n = recv(s.fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      response.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) break;
    if (errno == ETIMEDOUT) return response.empty() ? Attempt::timedOut : Attempt::answered;
    if (errno != EAGAIN && errno != EINTR) break;
    const Ready ready = waitReady(s.fd, POLLIN, w);
    if (ready == Ready::stopped) return Attempt::stopped;
    if (ready == Ready::failed) break;
  }
  // Closed or reset without a word: roscpp's own call fails the same way,
  // and its wait says so.
  return response.empty() ? Attempt::failed : Attempt::answered;
}

}  // namespace

MasterAnswer askMaster(const std::string& host, int port, const std::string& callerId, int wakeFd,
                       const std::function<bool()>& keepWaiting, std::vector<MasterAddress>* addresses) {
  const Wait w{wakeFd, keepWaiting};
  // A fault of the moment: the wait goes on after a pause.
  auto pause = [&] { return waitReady(-1, 0, w, Clock::now() + std::chrono::milliseconds(retryMillis)); };
  std::shared_ptr<Resolution> r;
  while (true) {
    r = std::make_shared<Resolution>(host, std::to_string(port));
    const Resolved resolved = resolve(r, w);
    if (resolved == Resolved::yes) break;
    if (resolved == Resolved::failed) return {MasterAnswer::noAnswer, ""};
    if (resolved == Resolved::stopped || pause() == Ready::stopped) return {MasterAnswer::stopped, ""};
  }
  // roscpp reaches the master over IPv4 when it can.
  const addrinfo* address = r->found;
  for (const addrinfo* a = r->found; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      address = a;
      break;
    }
  if (addresses)
    for (const addrinfo* a = r->found; a; a = a->ai_next) {
      MasterAddress m{};
      std::memcpy(&m.address, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof m.address));
      m.length = a->ai_addrlen;
      addresses->push_back(m);
    }
  const std::string caller = "<param>" + XmlRpc::XmlRpcValue(callerId).toXml() + "</param>";
  for (const char* method : {"getPid", "lookupNode"}) {
    // lookupNode asks for the caller itself: a name the master takes.
    const std::string params = std::string(method) == "lookupNode" ? caller + caller : caller;
    const std::string body = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>" + std::string(method) +
                             "</methodName>\r\n<params>" + params + "</params></methodCall>\r\n";
    const std::string request = "POST / HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
                                "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: close\r\n\r\n" + body;
    while (true) {
      std::string response;
      const Attempt a = attempt(*address, request, w, response);
      if (a == Attempt::timedOut) continue;
      if (a == Attempt::stopped) return {MasterAnswer::stopped, ""};
      if (a == Attempt::failed) return {MasterAnswer::noAnswer, ""};
      const MasterAnswer answer = readMasterAnswer(response, method);
      if (answer.kind == MasterAnswer::notMaster)
        return {MasterAnswer::notMaster, std::string(method) + " answered " + answer.text};
      if (answer.kind == MasterAnswer::master) break;
      if (pause() == Ready::stopped) return {MasterAnswer::stopped, ""};
    }
  }
  return {MasterAnswer::master, ""};
}

}  // namespace murvmaster
