// A host that is not the network runner: it has no stop-signal handler of
// its own, makes two stream nodes through the node factory and raises one
// stop signal. Then it prints whether the stop flags of every stream node
// class are set, and exits 0.
//
//   murv-signal-host plain|library|ignored|siginfo INT|TERM|HUP
//
// library: between the two nodes another library installs a handler that
// calls the one it found, and writes "library: flags <0|1>" when called.
// ignored: the signal is ignored before the first node is made.
// siginfo: before the first node the host installs a handler that takes the
// signal's information and context, and writes whether the sender's pid and
// a context reached it.
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

#include "nodes/AudioStreamFromRos.h"
#include "nodes/MurvMsgsStreamFromRos.h"
#include "Node.h"
#include "SharedObjects.h"
#include "nodes/StdMsgsStreamFromRos.h"
#include "String.h"
#include "nodes/SyncMurvMsgsAndJointState.h"
#include "net_types.h"

namespace {

bool allFlagsSet() {
  return exit_flag_AudioStreamFromRos.isSet() && exit_flag_MurvMsgsStreamFromRos.isSet() &&
         exit_flag_StdMsgsStreamFromRos.isSet() && exit_flag_SyncMurvMsgsAndJointState.isSet();
}

MURV::Node* makeStreamNode(const std::string& name) {
  MURV::ParameterSet p;
  p.add("TOPIC_NAME", MURV::ObjectRef(new MURV::String("/signal_host/audio")));
  p.add("ROS_LOOP_RATE", MURV::ObjectRef(new MURV::NetCType<float>(100.0f)));
  p.add("MSG_BUFFER_NUM", MURV::ObjectRef(new MURV::NetCType<int>(10)));
  p.add("DATA_BUFFER_NUM", MURV::ObjectRef(new MURV::NetCType<int>(5)));
  p.add("DEBUG_PRINT", MURV::FalseObject);
  p.add("KILL_TIME_LEN", MURV::ObjectRef(new MURV::NetCType<int>(200000)));
  p.add("KILL_NETWORK", MURV::TrueObject);
  return MURV::Node::getFactoryNamed("AudioStreamFromRos")->Create(name, p);
}

struct sigaction libraryFound;

void libraryHandler(int sig, siginfo_t* info, void* context) {
  const char* text = allFlagsSet() ? "library: flags 1\n" : "library: flags 0\n";
  if (write(1, text, std::strlen(text)) < 0) _exit(4);
  if (libraryFound.sa_handler == SIG_DFL || libraryFound.sa_handler == SIG_IGN) return;
  if (libraryFound.sa_flags & SA_SIGINFO)
    libraryFound.sa_sigaction(sig, info, context);
  else
    libraryFound.sa_handler(sig);
}

void hostInfoHandler(int, siginfo_t* info, void* context) {
  const bool pidOk = info && info->si_pid == getpid();  // the host signals itself
  const bool contextOk = context && static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RSP] != 0;
  const char* text = pidOk ? (contextOk ? "host: si_pid ok, context ok\n" : "host: si_pid ok, context missing\n")
                           : (contextOk ? "host: si_pid wrong, context ok\n" : "host: si_pid wrong, context missing\n");
  if (write(1, text, std::strlen(text)) < 0) _exit(4);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "", name = argc == 3 ? argv[2] : "";
  const int sig = name == "INT" ? SIGINT : name == "TERM" ? SIGTERM : name == "HUP" ? SIGHUP : 0;
  if (!sig || (mode != "plain" && mode != "library" && mode != "ignored" && mode != "siginfo")) {
    std::cerr << "usage: murv-signal-host plain|library|ignored|siginfo INT|TERM|HUP" << std::endl;
    return 2;
  }
  if (mode == "ignored") signal(sig, SIG_IGN);
  if (mode == "siginfo") {
    struct sigaction handler {};
    handler.sa_sigaction = hostInfoHandler;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_SIGINFO;
    sigaction(sig, &handler, nullptr);
  }
  MURV::Node* first = makeStreamNode("first");
  if (mode == "library") {
    struct sigaction handler {};
    handler.sa_sigaction = libraryHandler;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_SIGINFO;
    sigaction(sig, &handler, &libraryFound);
  }
  MURV::Node* second = makeStreamNode("second");
  raise(sig);
  std::cout << "flags " << allFlagsSet() << std::endl;
  second->unref();
  first->unref();
  return 0;
}
