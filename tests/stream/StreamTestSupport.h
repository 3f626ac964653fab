// What the stream nodes' tests share: their parameter sets, the nodes as a
// network drives them, child processes (forked before this process joins
// ROS, since roscpp's threads do not survive a fork), and networks run by
// the network runner.
#ifndef MURV_STREAM_TEST_SUPPORT_H
#define MURV_STREAM_TEST_SUPPORT_H

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "nodes/AudioStreamFromRos.h"
#include "Matrix.h"
#include "nodes/MurvMsgsStreamFromRos.h"
#include "RosMaster.h"
#include "RosTestSupport.h"
#include "SharedObjects.h"
#include "SubscriberTestSupport.h"
#include "TimeStamp.h"

namespace streamtest {

using subtest::boolParam;
using subtest::intParam;
using subtest::NodePtr;
using subtest::stringParam;
using Overrides = std::map<std::string, MURV::ObjectRef>;

inline MURV::ObjectRef floatParam(float v) { return MURV::ObjectRef(new MURV::NetCType<float>(v)); }

const char* const audioTypeNames[] = {"MURVWAVE",    "MURVFFT",    "MURVFEATURE",    "MURVSOURCE",
                                      "MURVSRCWAVE", "MURVSRCFFT", "MURVSRCFEATURE", "MURVSRCFEATUREMFM"};

// MurvMsgsStreamFromRos's fifteen parameters; topics are <prefix>/<type>.
inline MURV::ParameterSet streamParams(const std::string& selection, const Overrides& overrides = {},
                                       const std::string& prefix = "/stream_test") {
  MURV::ParameterSet p;
  for (const char* n : audioTypeNames) {
    std::string lower(n);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.add(std::string("TOPIC_NAME_") + n, stringParam(prefix + "/" + lower));
  }
  p.add("STREAM_SELECTION", stringParam(selection));
  p.add("ENABLE_DEBUG", boolParam(false));
  p.add("ROS_LOOP_RATE", floatParam(10000.0f));
  p.add("MSG_BUFFER_NUM", intParam(100));
  p.add("DATA_BUFFER_NUM", intParam(5));
  p.add("KILL_TIME_LEN", intParam(200000));
  p.add("KILL_NETWORK", boolParam(true));
  for (const auto& o : overrides) p.add(o.first, o.second);
  return p;
}

// AudioStreamFromRos's seven parameters.
inline MURV::ParameterSet audioParams(const Overrides& overrides = {}) {
  MURV::ParameterSet p;
  p.add("TOPIC_NAME", stringParam("/stream_test/audio"));
  p.add("ROS_LOOP_RATE", floatParam(10000.0f));
  p.add("MSG_BUFFER_NUM", intParam(100));
  p.add("DATA_BUFFER_NUM", intParam(5));
  p.add("DEBUG_PRINT", boolParam(false));
  p.add("KILL_TIME_LEN", intParam(200000));
  p.add("KILL_NETWORK", boolParam(true));
  for (const auto& o : overrides) p.add(o.first, o.second);
  return p;
}

struct Stamp {
  long sec, usec;
  bool operator==(const Stamp& o) const { return sec == o.sec && usec == o.usec; }
};
inline std::ostream& operator<<(std::ostream& out, const Stamp& s) { return out << s.sec << "." << s.usec; }

inline Stamp stampOf(const MURV::ObjectRef& r) {
  const MURV::TimeStamp& ts = MURV::object_cast<MURV::TimeStamp>(r);
  return {ts.sec, ts.usec};
}

// A MurvMsgsStreamFromRos on selection with the given data ports connected,
// initialised.
struct Stream {
  NodePtr node;
  int matout = -1, srcout = -1, mapout = -1, timestamp = -1, notEof = -1;
  Stream(const std::string& name, const std::string& selection, const std::vector<std::string>& ports,
         const Overrides& overrides = {}, const std::string& prefix = "/stream_test") {
    node = subtest::createNode("MurvMsgsStreamFromRos", name, streamParams(selection, overrides, prefix));
    for (const std::string& p : ports) {
      const int id = node->translateOutput(p);
      if (p == "MATOUT") matout = id;
      if (p == "SRCOUT") srcout = id;
      if (p == "MAPOUT") mapout = id;
    }
    timestamp = node->translateOutput("TIMESTAMP");
    notEof = node->translateOutput("NOT_EOF");
    node->initialize();
  }
  // Runs the iterations up to count; answers NOT_EOF of count.
  bool next(int count) { return MURV::dereference_cast<bool>(node->getOutput(notEof, count)); }
  MURV::ObjectRef get(int id, int count) { return node->getOutput(id, count); }
  Stamp stamp(int count) { return stampOf(get(timestamp, count)); }
  callbackFuncMurvMsgsStreamFromRos& holder() { return dynamic_cast<MurvMsgsStreamFromRos&>(*node).callbackHolder(); }
};

// An AudioStreamFromRos, initialised.
struct Audio {
  NodePtr node;
  int output = -1, timestamp = -1, notEof = -1;
  Audio(const std::string& name, const Overrides& overrides = {}) {
    node = subtest::createNode("AudioStreamFromRos", name, audioParams(overrides));
    output = node->translateOutput("OUTPUT");
    timestamp = node->translateOutput("TIMESTAMP");
    notEof = node->translateOutput("NOT_EOF");
    node->initialize();
  }
  bool next(int count) { return MURV::dereference_cast<bool>(node->getOutput(notEof, count)); }
  MURV::ObjectRef get(int id, int count) { return node->getOutput(id, count); }
  Stamp stamp(int count) { return stampOf(get(timestamp, count)); }
  callbackFuncAudioStreamFromRos& holder() { return dynamic_cast<AudioStreamFromRos&>(*node).callbackHolder(); }
};

// Rows of a float matrix.
inline std::vector<std::vector<float>> rowsOf(const MURV::ObjectRef& r) {
  const MURV::Matrix<float>& m = MURV::object_cast<MURV::Matrix<float>>(r);
  std::vector<std::vector<float>> rows(static_cast<size_t>(m.rows));
  for (int c = 0; c < m.rows; ++c) rows[c].assign(m.data + c * m.cols, m.data + (c + 1) * m.cols);
  return rows;
}

// What a host exception says: its message, file and line, whether it names
// a node, and its whole text. The exception is deleted.
struct HostFailure {
  bool thrown = false;
  bool isNodeException = false;
  bool hasNode = false;
  std::string message, file, text;
  int line = 0;
};

template <class F>
HostFailure hostFailure(F f) {
  HostFailure r;
  try {
    f();
  } catch (MURV::BaseException* e) {
    r.thrown = true;
    r.text = e->text();
    if (MURV::NodeException* n = dynamic_cast<MURV::NodeException*>(e)) {
      r.isNodeException = true;
      r.hasNode = n->node != nullptr;
      r.message = n->message;
      r.file = n->file;
      r.line = n->line;
    }
    delete e;
  }
  return r;
}

// Standard output less the ROS log's own console lines: what the nodes and
// holders wrote there themselves.
inline std::string ownLines(const std::string& out) {
  std::istringstream in(out);
  std::string line, own;
  while (std::getline(in, line))
    if (line.find("[ INFO] [") == std::string::npos) own += line + "\n";
  return own;
}

inline double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// A pipe one process waits on until the other opens it.
class Gate {
public:
  Gate() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Gate() {
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  void open() {
    const char c = 1;
    if (write(fds_[1], &c, 1) != 1) perror("gate");
  }
  bool wait() {
    char c;
    return read(fds_[0], &c, 1) == 1;
  }

private:
  int fds_[2];
};

// A child process running body, forked from this one; its exit status is
// what body returns. The child dies with this process.
class Child {
public:
  explicit Child(const std::function<int()>& body) {
    std::cout.flush();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      int status = 99;
      try {
        status = body();
      } catch (MURV::BaseException* e) {
        std::cerr << "child: host exception: " << e->text() << std::endl;
        delete e;
      } catch (std::exception& e) {
        std::cerr << "child: " << e.what() << std::endl;
      }
      std::cout.flush();
      std::cerr.flush();
      _exit(status);
    }
  }
  ~Child() {
    if (pid_ > 0 && status_ == -2) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The exit status (128 + signal for a child killed by one), or -1 when it
  // was still running at the deadline (it is then killed).
  int wait(std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    if (status_ != -2) return status_;
    int status = 0;
    const bool done = murvtest::waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, deadline,
                                        std::chrono::milliseconds(5));
    if (!done) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      status_ = -1;
    } else {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return status_;
  }
  pid_t pid() const { return pid_; }

private:
  pid_t pid_ = -1;
  int status_ = -2;
};

// The network description of a RosNodeGenerator named rosName and one stream
// node "stream" of type (MurvMsgsStreamFromRos on selection, or
// AudioStreamFromRos) whose topics are under topics (the audio node's is
// <topics>/audio), printing its TIMESTAMP and ending on its NOT_EOF.
inline std::string streamNetwork(const std::string& rosName, const std::string& type, const std::string& selection,
                                 const std::string& topics, bool killNetwork, int killTimeLen = 200000) {
  std::string net = "node ros RosNodeGenerator\nparam ros NODE_NAME string " + rosName + "\nnode stream " + type + "\n";
  if (type == "AudioStreamFromRos") {
    net += "param stream TOPIC_NAME string " + topics + "/audio\nparam stream DEBUG_PRINT bool false\n";
  } else {
    for (const char* n : audioTypeNames) {
      std::string lower(n);
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      net += std::string("param stream TOPIC_NAME_") + n + " string " + topics + "/" + lower + "\n";
    }
    net += "param stream STREAM_SELECTION string " + selection + "\nparam stream ENABLE_DEBUG bool false\n";
  }
  net += std::string(
             "param stream ROS_LOOP_RATE float 1000\n"
             "param stream MSG_BUFFER_NUM int 10\n"
             "param stream DATA_BUFFER_NUM int 10\n"
             "param stream KILL_NETWORK bool ") +
         (killNetwork ? "true" : "false") + "\nparam stream KILL_TIME_LEN int " + std::to_string(killTimeLen) +
         "\neof stream NOT_EOF\noutput stream TIMESTAMP\n";
  return net;
}

// Writes description to a file of the build tree and answers the command
// that runs it with the network runner; toolboxes are loaded before the
// toolbox under test.
inline std::string runnerCommand(const std::string& name, const std::string& description,
                                 const std::vector<std::string>& toolboxes = {}) {
  const std::string path = std::string(MURV_BINARY_DIR) + "/" + name + ".net";
  std::ofstream(path) << description;
  std::string command = std::string("exec ") + MURV_RUNNER_PATH;
  for (const std::string& t : toolboxes) command += " --toolbox " + t;
  return command + " --toolbox " + MURV_TOOLBOX_PATH + " " + path;
}

}  // namespace streamtest

#endif
