#include "RosNodeGenerator.h"

#include <poll.h>
#include <pthread.h>
#include <ros/network.h>
#include <ros/param.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "MasterAnswer.h"
#include "MasterLeave.h"
#include "NodeSupport.h"
#include "SignalWake.h"
#include "StreamWait.h"
#include "String.h"
#include "net_types.h"

ros::NodeHandle* __MasterRosNodeHandler__ = nullptr;

namespace {

// roscpp stops the process with a breakpoint trap when it cannot split the
// master's address into host and port; say what it needs instead. Its
// reader wants the scheme, a host, a colon and a port. Unset, the address
// is roscpp's default one.
std::string masterUriProblem() {
  const char* env = std::getenv("ROS_MASTER_URI");
  if (!env) return "";
  const std::string uri = env;
  std::string rest;
  for (const char* scheme : {"http://", "rosrpc://"})
    if (uri.compare(0, std::string(scheme).size(), scheme) == 0) rest = uri.substr(std::string(scheme).size());
  const size_t colon = rest.find(':');
  const std::string port = colon == std::string::npos ? "" : rest.substr(colon + 1, rest.find('/', colon) - colon - 1);
  const bool portOk = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
                      std::atoi(port.c_str()) > 0 && std::atoi(port.c_str()) <= 65535;
  if (colon == 0 || colon == std::string::npos || !portOk)
    return "ROS_MASTER_URI \"" + murvnode::shown(uri) +
           "\" is not a master address: it needs the form http://HOST:PORT (the final slash is optional), for "
           "instance http://localhost:11311/";
  return "";
}

// roscpp keeps one ROS node per process: once ros::init has run, it does
// nothing, and every later generator joins under the name and with the
// master of the first. Which of nodeName and ROS_MASTER_URI cannot take
// effect for such a generator, and why, in one line; "" when both can.
std::string keptFromFirst(const std::string& nodeName, const std::string& nameInEffect) {
  std::vector<std::string> ignored;
  if (nodeName != nameInEffect) ignored.push_back("NODE_NAME \"" + murvnode::shown(nodeName) + "\"");
  const char* env = std::getenv("ROS_MASTER_URI");
  std::string host;
  uint32_t port = 0;
  if (env && (!masterUriProblem().empty() || !ros::network::splitURI(env, host, port) ||
              host != ros::master::getHost() || port != ros::master::getPort()))
    ignored.push_back("ROS_MASTER_URI " + murvnode::shown(env));
  if (ignored.empty()) return "";
  return murvnode::listed(ignored, "and") +
         " cannot take effect: roscpp keeps one ROS node per process, and this process joined ROS as " +
         ros::this_node::getName() + " with the master at " + murvnode::shown(ros::master::getURI());
}

// roscpp waits for a master that does not answer without end while the
// first node handle is made (it retries registering /rosout), and gives up
// once it is shut down. ROS is initialised without its own SIGINT handler,
// and the network runner's handler only records a signal: for the time of
// that wait a stop signal is recorded, wakes the wait, then goes on to the
// handler that was in place (a default disposition found is the signal's
// default action).
std::atomic<int> masterWaitStop{0};      // the stop signal that came, or 0
std::atomic<bool> masterWaitActive{false};
// Whether no watcher runs (it could not be made): the handler then asks
// roscpp to shut down itself.
std::atomic<bool> masterWaitAlone{false};
// The wait's wake-up, written by the handler: made once and never closed,
// since a handler may write it at any time; drained when a wait starts.
std::atomic<int> masterWake{-1};
murvstream::SignalChain masterWaitChains[] = {{SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}};
const int masterWaitSignals[] = {SIGINT, SIGTERM, SIGHUP};
const char* const masterWaitSignalNames[] = {"SIGINT", "SIGTERM", "SIGHUP"};

void stopWhileWaitingForMaster(int sig, siginfo_t* info, void* context) {
  // The interrupted code may be about to read errno.
  const int savedErrno = errno;
  if (masterWaitActive.load()) {
    masterWaitStop.store(sig);
    if (masterWaitAlone.load()) ros::requestShutdown();
    murvwake::wake(masterWake.load());
  }
  for (size_t i = 0; i < sizeof masterWaitSignals / sizeof masterWaitSignals[0]; ++i)
    if (masterWaitSignals[i] == sig) masterWaitChains[i].passOn(info, context);
  errno = savedErrno;
}

// The stop signals blocked on the calling thread while it lives, when
// asked for. Taken there, a signal breaks off the call to the master that
// roscpp makes (its poll fails with EINTR, and the call with it), though
// the master may still take what was sent: roscpp would then not know of a
// registration the master keeps. Another thread (the wait's watcher, when
// none other does) takes them meanwhile; one sent to this thread alone
// comes when the block ends.
class StopSignalsHeld {
public:
  explicit StopSignalsHeld(bool held) : held(held) {
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : masterWaitSignals) sigaddset(&stops, sig);
    if (held) pthread_sigmask(SIG_BLOCK, &stops, &before);
  }
  ~StopSignalsHeld() {
    if (held) pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
  const bool held;
  sigset_t before;
};

int masterWakeFd() {
  static std::once_flag once;
  std::call_once(once, [] { masterWake.store(murvwake::newWake()); });
  return masterWake.load();
}

// The signals that end the wait, as the notice names them: those not
// ignored ("SIGINT, SIGTERM or SIGHUP"); empty when all are.
std::string endingSignals() {
  std::vector<std::string> names;
  for (size_t i = 0; i < sizeof masterWaitSignals / sizeof masterWaitSignals[0]; ++i) {
    if (!murvwake::signalIgnored(masterWaitSignals[i])) names.push_back(masterWaitSignalNames[i]);
  }
  return murvnode::listed(names, "or");
}

// Our handler for the stop signals while it lives, the ones found put back
// afterwards. A stop that comes while roscpp starts asks roscpp to shut
// down, which it does on a thread of its own, at a point of its start-up
// where it can; the start-up then skips the registrations still to come.
// roscpp unregisters what it has listed so far, and the master may take the
// registration under way after that; so once the start-up has ended, the
// node unregisters what the master still holds. The request comes from a
// watcher, an ordinary thread, which also marks the starting thread as
// leaving, so that a call the master lets wait is cut after the leave
// limit. Before a stop the watcher sleeps.
class MasterWait {
public:
  // who and uri name the node and the master in the wait's notices.
  MasterWait(std::string who, std::string uri)
      : who(std::move(who)), uri(std::move(uri)), signals(endingSignals()) {
    masterWaitStop.store(0);
    wake = masterWakeFd();
    murvwake::drain(wake);
    masterWaitAlone.store(ending < 0);
    masterWaitActive.store(true);
    for (murvstream::SignalChain& chain : masterWaitChains) chain.takeOver(stopWhileWaitingForMaster);
    if (ending >= 0) watcher = std::thread([this] { watch(); });
  }
  ~MasterWait() {
    if (ending >= 0) {
      murvwake::wake(ending);
      watcher.join();
      close(ending);
    }
    masterWaitActive.store(false);
    for (murvstream::SignalChain& chain : masterWaitChains) chain.giveBack(stopWhileWaitingForMaster);
  }
  MasterWait(const MasterWait&) = delete;
  MasterWait& operator=(const MasterWait&) = delete;
  bool stopped() const { return masterWaitStop.load() != 0; }
  int wakeFd() const { return wake; }
  // Called on the thread that starts roscpp, before it does.
  void startingRos() { starting.store(static_cast<pid_t>(syscall(SYS_gettid))); }
  // Whether the watcher runs, to take the stop signals.
  bool watched() const { return ending >= 0; }

  // Whether to go on waiting for an answer: until a stop signal. While
  // nothing answers it says so on standard error, a second into the wait
  // and every 30 s after that, naming the signals that end it.
  bool goOn() {
    if (stopped()) return false;
    const long waited = static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
    const int due = waited < 1 ? 0 : 1 + static_cast<int>((waited - 1) / 30);
    if (due > notices) {
      notices = due;
      std::cerr << who << ": "
                << (due == 1 ? "nothing answers at the ROS master address " + uri + " yet"
                             : "still nothing answers at " + uri + " after " + std::to_string(waited) + " s")
                << "; waiting for a master" << (signals.empty() ? "" : " (" + signals + " ends the wait)")
                << std::endl;
    }
    return true;
  }

private:
  void watch() {
    pollfd fds[2] = {{ending, POLLIN, 0}, {wake, POLLIN, 0}};
    std::unique_ptr<murvmaster::LeaveCall> startup;  // the starting thread's mark
    while (!(fds[0].revents & POLLIN)) {
      const bool stop = stopped();
      const pid_t thread = starting.load();
      if (stop && thread && !startup) startup.reset(new murvmaster::LeaveCall(thread));
      // Again and again while the wait lasts: roscpp forgets a shutdown
      // requested before it starts.
      if (stop) ros::requestShutdown();
      fds[0].revents = 0;
      if (poll(fds, stop ? 1 : 2, stop ? 10 : -1) < 0 && errno != EINTR) break;
    }
  }

  const std::string who, uri, signals;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  int notices = 0;
  int wake = -1;
  const int ending = eventfd(0, EFD_CLOEXEC);
  std::atomic<pid_t> starting{0};  // the thread that starts roscpp, once it does
  std::thread watcher;
};
}  // namespace

RosNodeGenerator::RosNodeGenerator(std::string nodeName, MURV::ParameterSet params)
    : MURV::Node(std::move(nodeName), params) {
  valueID = addOutput("VALUE");
  rosNodeName = MURV::object_cast<MURV::String>(parameters.get("NODE_NAME"));
  const bool joinedBefore = ros::isInitialized();
  // ROS_MASTER_URI is read by the first ros::init of the process only.
  const std::string uriProblem = joinedBefore ? "" : masterUriProblem();
  if (!uriProblem.empty()) throw new MURV::NodeException(this, uriProblem, "RosNodeGenerator", __LINE__);
  // ROS leaves SIGINT to the process: the stream nodes handle it.
  std::vector<std::pair<std::string, std::string> > remappings;
  try {
    ros::init(remappings, rosNodeName, ros::init_options::NoSigintHandler);
  } catch (ros::Exception& e) {
    // A name ROS refuses (empty, with a slash, starting with a digit) is a
    // configuration error of this node, reported as such.
    throw new MURV::NodeException(
        this, "Invalid NODE_NAME \"" + murvnode::shown(rosNodeName) + "\": " + murvnode::shown(e.what()),
        "RosNodeGenerator", __LINE__);
  }
  const std::string uri = ros::master::getURI();
  std::vector<murvmaster::MasterAddress> addresses;
  {
    MasterWait wait(murvnode::shownName(*this), murvnode::shown(uri));
    // Asked first over a connection of our own: roscpp's own wait says
    // nothing while a server accepts and never answers, or a host cannot be
    // reached, and retries for ever against a server that is not a master.
    // A refused connection is left to roscpp, which says so itself.
    const murvmaster::MasterAnswer answer =
        murvmaster::askMaster(ros::master::getHost(), static_cast<int>(ros::master::getPort()),
                              ros::this_node::getName(), wait.wakeFd(), [&] { return wait.goOn(); }, &addresses);
    if (answer.kind == murvmaster::MasterAnswer::notMaster)
      throw new MURV::NodeException(this,
                                    "ROS_MASTER_URI " + murvnode::shown(uri) + " does not answer as a ROS master: " +
                                        answer.text,
                                    "RosNodeGenerator", __LINE__);
    // From here on the network's nodes register with the master, and
    // unregister when they go; a stop may come while roscpp registers.
    murvmaster::watchLeave(getName(), ros::this_node::getName(), uri, addresses);
    wait.startingRos();
    if (!wait.stopped()) {
      const StopSignalsHeld held(wait.watched());
      handle = new ros::NodeHandle("", ros::M_string());
      // roscpp's ROS log subscribes this parameter at its first line. Made
      // then from a node that another of the same name has just replaced
      // (its first line is often "Shutdown request received."), the
      // subscription would register the old node's address again, and the
      // master would shut the new node down in turn. Made now, it carries
      // this node's own address, and later lines use the cached value.
      bool topicsOmitted = false;
      if (!wait.stopped()) ros::param::getCached("/rosout_disable_topics_generation", topicsOmitted);
    }
    if (wait.stopped()) {
      // What roscpp had begun is shut down before the error goes up (the
      // nodes made so far are destroyed next), and once its start-up has
      // ended, what the master took after that shutdown is unregistered:
      // nothing of ours may stay registered.
      if (handle) {
        const murvmaster::LeaveCall leaving;
        delete handle;
        handle = nullptr;
        ros::shutdown();
        murvmaster::leaveForGood();
      }
      murvmaster::endWatchingLeave();
      throw new MURV::NodeException(this, "stopped while waiting for the ROS master at " + murvnode::shown(uri),
                                    "RosNodeGenerator", __LINE__);
    }
  }
  __MasterRosNodeHandler__ = handle;
  // The name the process's ROS node has, as NODE_NAME gave it.
  const std::string name = ros::this_node::getName(), nameInEffect = name.substr(name.rfind('/') + 1);
  const std::string kept = joinedBefore ? keptFromFirst(rosNodeName, nameInEffect) : "";
  if (!kept.empty()) std::cerr << murvnode::shownName(*this) << ": " << kept << std::endl;
  std::cout << "ROS node : " << (joinedBefore ? nameInEffect : rosNodeName) << " generated..." << std::endl;
}

RosNodeGenerator::~RosNodeGenerator() {
  // The handle goes with the generator that made it: roscpp starts again
  // for a later generator (a host that makes networks one after another)
  // only once no handle is left, and a node made after this one is told
  // that the network has no ROS connection.
  if (__MasterRosNodeHandler__ == handle) __MasterRosNodeHandler__ = nullptr;
  {
    // The last handle shuts roscpp down as it goes.
    const murvmaster::LeaveCall leaving;
    delete handle;
    ros::shutdown();
  }
  murvmaster::endWatchingLeave();
  std::cout << "ROS destructed..." << std::endl;
}

MURV::ObjectRef RosNodeGenerator::getOutput(int output_id, int) {
  if (output_id == valueID) return MURV::ObjectRef(new MURV::NetCType<int>(0));
  throw new MURV::NodeException(this, "Unknown output id", "RosNodeGenerator", 103);
}

void RosNodeGenerator::initialize() {
  std::cout << "ROS initialized..." << std::endl;
  MURV::Node::initialize();
}
