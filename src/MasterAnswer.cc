#include "MasterAnswer.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xmlrpcpp/XmlRpcUtil.h>
#include <xmlrpcpp/XmlRpcValue.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace murvmaster {

namespace {

// A getPid answer is a few hundred bytes; more than this is not one.
const size_t answerLimit = 65536;
const int sliceMillis = 50;

MasterAnswer notMaster(const std::string& what) {
  std::string text = what;
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  const size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  if (text.empty()) text = "an empty answer";
  return {MasterAnswer::notMaster, text.size() > 200 ? text.substr(0, 200) + "..." : text};
}

// The socket's fd, closed whatever ends the call.
struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

enum class Ready { yes, failed, stopped };

// Waits until fd is ready for events, asking keepWaiting() every slice.
Ready waitReady(int fd, short events, const std::function<bool()>& keepWaiting) {
  while (true) {
    if (!keepWaiting()) return Ready::stopped;
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, sliceMillis);
    if (r > 0) return Ready::yes;
    if (r < 0 && errno != EINTR) return Ready::failed;
  }
}

// Whether response holds a whole HTTP answer: its header, and as much body
// as its Content-Length says (without one, the answer ends when the server
// closes the connection).
bool complete(const std::string& response) {
  const size_t headerEnd = response.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return false;
  std::string header = response.substr(0, headerEnd);
  for (char& c : header) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t length = header.find("\ncontent-length:");
  if (length == std::string::npos) return false;
  return response.size() - headerEnd - 4 >= std::strtoul(header.c_str() + length + 16, nullptr, 10);
}

enum class Attempt { answered, failed, timedOut, stopped };

Attempt attempt(const addrinfo& address, const std::string& request, const std::function<bool()>& keepWaiting,
                std::string& response) {
  Socket s;
  s.fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s.fd < 0) return Attempt::failed;
  if (connect(s.fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return Attempt::failed;
    const Ready ready = waitReady(s.fd, POLLOUT, keepWaiting);
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
    const Ready ready = waitReady(s.fd, POLLOUT, keepWaiting);
    if (ready != Ready::yes) return ready == Ready::stopped ? Attempt::stopped : Attempt::failed;
  }
  char buffer[4096];
  while (!complete(response) && response.size() < answerLimit) {
    const ssize_t n = recv(s.fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      response.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) break;
    if (errno == ETIMEDOUT) return response.empty() ? Attempt::timedOut : Attempt::answered;
    if (errno != EAGAIN && errno != EINTR) break;
    const Ready ready = waitReady(s.fd, POLLIN, keepWaiting);
    if (ready == Ready::stopped) return Attempt::stopped;
    if (ready == Ready::failed) break;
  }
  // Closed or reset without a word: roscpp's own call fails the same way,
  // and its wait says so.
  return response.empty() ? Attempt::failed : Attempt::answered;
}

}  // namespace

MasterAnswer readMasterAnswer(const std::string& response) {
  const size_t lineEnd = response.find("\r\n");
  const std::string statusLine = response.substr(0, lineEnd);
  std::istringstream status(statusLine);
  std::string version;
  int code = 0;
  if (!(status >> version >> code) || version.compare(0, 5, "HTTP/") != 0) return notMaster(response);
  if (code != 200) return notMaster(statusLine);
  const size_t headerEnd = response.find("\r\n\r\n");
  const std::string body = headerEnd == std::string::npos ? "" : response.substr(headerEnd + 4);
  const MasterAnswer notXmlRpc = notMaster(statusLine + " " + body);
  int offset = 0;
  if (!XmlRpc::XmlRpcUtil::findTag("<methodResponse>", body, &offset)) return notXmlRpc;
  XmlRpc::XmlRpcValue value;
  std::ostringstream answer;
  if (XmlRpc::XmlRpcUtil::nextTagIs("<fault>", body, &offset)) {
    if (!value.fromXml(body, &offset) || value.getType() != XmlRpc::XmlRpcValue::TypeStruct ||
        !value.hasMember("faultCode") || !value.hasMember("faultString"))
      return notXmlRpc;
    answer << "fault " << value["faultCode"] << " \"" << value["faultString"] << "\"";
    return notMaster(answer.str());
  }
  if (!XmlRpc::XmlRpcUtil::nextTagIs("<params>", body, &offset) ||
      !XmlRpc::XmlRpcUtil::nextTagIs("<param>", body, &offset) || !value.fromXml(body, &offset))
    return notXmlRpc;
  // A master's answer: status code 1, a status message and the pid, as
  // roscpp wants it.
  if (value.getType() == XmlRpc::XmlRpcValue::TypeArray && value.size() == 3 &&
      value[0].getType() == XmlRpc::XmlRpcValue::TypeInt && static_cast<int>(value[0]) == 1)
    return {MasterAnswer::master, ""};
  answer << value;
  return notMaster(answer.str());
}

MasterAnswer askMasterPid(const std::string& host, int port, const std::string& callerId,
                          const std::function<bool()>& keepWaiting) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
    return {MasterAnswer::noAnswer, ""};
  // roscpp reaches the master over IPv4 when it can.
  const addrinfo* address = found;
  for (const addrinfo* a = found; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      address = a;
      break;
    }
  const std::string body = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>getPid</methodName>\r\n<params><param>" +
                           XmlRpc::XmlRpcValue(callerId).toXml() + "</param></params></methodCall>\r\n";
  const std::string request = "POST / HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
                              "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body;
  MasterAnswer result{MasterAnswer::noAnswer, ""};
  while (true) {
    std::string response;
    const Attempt a = attempt(*address, request, keepWaiting, response);
    if (a == Attempt::timedOut) continue;
    if (a == Attempt::answered) result = readMasterAnswer(response);
    if (a == Attempt::stopped) result.kind = MasterAnswer::stopped;
    break;
  }
  freeaddrinfo(found);
  return result;
}

}  // namespace murvmaster
