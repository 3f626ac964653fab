#include "MasterProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace murvtest {

struct MasterProxy::Link {
  int client = -1;
  int master = -1;
  std::thread thread;
};

namespace {

int connectToMaster(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// Reads one HTTP message (headers and a Content-Length body) from fd into
// message, keeping what came after it in pending. A message without a
// length runs to the end of the connection. False when the connection
// ended before a whole message.
bool readMessage(int fd, std::string& pending, std::string& message) {
  char buffer[65536];
  for (;;) {
    const size_t headerEnd = pending.find("\r\n\r\n");
    if (headerEnd != std::string::npos) {
      std::string headers = pending.substr(0, headerEnd);
      for (char& c : headers) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const size_t at = headers.find("content-length:");
      if (at != std::string::npos) {
        const size_t whole = headerEnd + 4 + std::strtoul(headers.c_str() + at + 15, nullptr, 10);
        if (pending.size() >= whole) {
          message = pending.substr(0, whole);
          pending.erase(0, whole);
          return true;
        }
      }
    }
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (headerEnd == std::string::npos || pending.empty()) return false;
      message.swap(pending);
      pending.clear();
      return true;
    }
    pending.append(buffer, static_cast<size_t>(n));
  }
}

bool sendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string methodOf(const std::string& request) {
  const size_t begin = request.find("<methodName>");
  const size_t end = request.find("</methodName>");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "";
  return request.substr(begin + 12, end - begin - 12);
}

// The method of request and its second argument, when that is a string.
std::string methodAndName(const std::string& request) {
  std::string named = methodOf(request);
  size_t at = request.find("<param>");
  if (at != std::string::npos) at = request.find("<param>", at + 7);
  if (at == std::string::npos || (at = request.find("<value>", at)) == std::string::npos) return named;
  at += 7;
  if (request.compare(at, 8, "<string>") == 0) at += 8;
  const size_t end = request.find('<', at);
  if (end != std::string::npos) named += " " + request.substr(at, end - at);
  return named;
}

}  // namespace

MasterProxy::MasterProxy(int masterPort) : masterPort_(masterPort) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || stopFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 64) != 0 || getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("MasterProxy: cannot listen on loopback");
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

MasterProxy::~MasterProxy() {
  const uint64_t one = 1;
  if (write(stopFd_, &one, sizeof one) < 0) std::abort();
  acceptor_.join();
  {
    // Both ends are shut down so that a link blocked in a read wakes.
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto& link : links_) {
      shutdown(link->client, SHUT_RDWR);
      if (link->master >= 0) shutdown(link->master, SHUT_RDWR);
    }
  }
  for (auto& link : links_) {
    link->thread.join();
    close(link->client);
    if (link->master >= 0) close(link->master);
  }
  close(listenFd_);
  close(stopFd_);
}

std::string MasterProxy::uri() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

void MasterProxy::hold(const std::string& method, std::chrono::milliseconds delay) {
  const std::lock_guard<std::mutex> lock(mutex_);
  holds_[method] = delay;
}

bool MasterProxy::waitHeld(const std::string& method, std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, deadline, [&] { return heldNow_[method] > 0; });
}

std::vector<std::string> MasterProxy::calls() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> MasterProxy::callsNamed() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return callsNamed_;
}

void MasterProxy::trickle(const std::string& method, std::chrono::milliseconds perByte) {
  const std::lock_guard<std::mutex> lock(mutex_);
  trickles_[method] = perByte;
}

std::chrono::milliseconds MasterProxy::setFor(const std::map<std::string, std::chrono::milliseconds>& delays,
                                              const std::string& method) {
  for (const std::string& key : {method, std::string()}) {
    const auto found = delays.find(key);
    if (found != delays.end() && found->second.count() > 0) return found->second;
  }
  return std::chrono::milliseconds(0);
}

// Each byte once the time per byte has passed; the rest at once when the
// proxy ends.
bool MasterProxy::sendAnswer(int client, const std::string& answer, std::chrono::milliseconds perByte) {
  if (perByte.count() == 0) return sendAll(client, answer);
  for (size_t at = 0; at < answer.size(); ++at) {
    pollfd stop = {stopFd_, POLLIN, 0};
    if (poll(&stop, 1, static_cast<int>(perByte.count())) > 0) return sendAll(client, answer.substr(at));
    if (!sendAll(client, answer.substr(at, 1))) return false;
  }
  return true;
}

void MasterProxy::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const std::lock_guard<std::mutex> lock(mutex_);
    links_.push_back(std::unique_ptr<Link>(new Link));
    Link& link = *links_.back();
    link.client = client;
    link.master = connectToMaster(masterPort_);
    link.thread = std::thread([this, &link] { serve(link); });
  }
}

void MasterProxy::serve(Link& link) {
  std::string fromClient, fromMaster, request, answer;
  while (link.master >= 0 && readMessage(link.client, fromClient, request)) {
    const std::string method = methodOf(request);
    std::chrono::milliseconds delay, perByte;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(method);
      callsNamed_.push_back(methodAndName(request));
      delay = setFor(holds_, method);
      perByte = setFor(trickles_, method);
      if (delay.count() > 0) ++heldNow_[method], ++heldNow_[""];
    }
    if (delay.count() > 0) {
      changed_.notify_all();
      pollfd stop = {stopFd_, POLLIN, 0};
      poll(&stop, 1, static_cast<int>(delay.count()));
      const std::lock_guard<std::mutex> lock(mutex_);
      --heldNow_[method], --heldNow_[""];
    }
    if (!sendAll(link.master, request) || !readMessage(link.master, fromMaster, answer) ||
        !sendAnswer(link.client, answer, perByte))
      break;
  }
  // The client sees its connection end as it would with the master's.
  shutdown(link.client, SHUT_RDWR);
}

}  // namespace murvtest
