#ifndef MURV_TEST_MASTER_PROXY_H
#define MURV_TEST_MASTER_PROXY_H

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace murvtest {

// An XML-RPC proxy on a free loopback port in front of a ROS master, for
// tests that need a slow master or one call of it held at a known moment.
// Each connection a client makes gets one connection to the master, so a
// client that keeps its connection open (as xmlrpcpp does) keeps one there
// too. Every request is passed on whole, and its answer back whole, or a
// byte at a time when asked.
class MasterProxy {
public:
  explicit MasterProxy(int masterPort);
  ~MasterProxy();
  MasterProxy(const MasterProxy&) = delete;
  MasterProxy& operator=(const MasterProxy&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/", for ROS_MASTER_URI.
  std::string uri() const;
  // Holds every later call of method ("" for every method) for delay
  // before passing it on; a delay of 0 passes them on at once again.
  void hold(const std::string& method, std::chrono::milliseconds delay);
  // Sends the answers to every later call of method ("" for every method)
  // a byte at a time, each perByte after the one before; 0 sends them whole
  // again.
  void trickle(const std::string& method, std::chrono::milliseconds perByte);
  // Whether a call of method ("" for any) is being held now, or comes to be
  // within deadline.
  bool waitHeld(const std::string& method, std::chrono::milliseconds deadline = std::chrono::seconds(20));
  // The methods of the calls passed on so far, in the order they came.
  std::vector<std::string> calls() const;
  // The same calls, each as its method and the name it is about (the
  // argument after the caller's name, as "registerPublisher /murv/int"),
  // or the method alone when it has no such argument.
  std::vector<std::string> callsNamed() const;

private:
  struct Link;
  void acceptLoop();
  void serve(Link& link);
  static std::chrono::milliseconds setFor(const std::map<std::string, std::chrono::milliseconds>& delays,
                                          const std::string& method);
  bool sendAnswer(int client, const std::string& answer, std::chrono::milliseconds perByte);

  const int masterPort_;
  int port_ = 0;
  int listenFd_ = -1;
  int stopFd_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::chrono::milliseconds> holds_, trickles_;
  std::map<std::string, int> heldNow_;
  std::vector<std::string> calls_;
  std::vector<std::string> callsNamed_;
  std::vector<std::unique_ptr<Link>> links_;
  std::thread acceptor_;
};

}  // namespace murvtest

#endif
