// A host that is not the network runner: it has no stop-signal handler of
// its own, makes two stream nodes through the node factory and raises one
// stop signal. Then it prints whether the stop flags of every stream node
// class are set, and exits 0.
//
//   murv-signal-host plain|library|ignored INT|TERM|HUP
//
// library: between the two nodes another library installs a handler that
// calls the one it found, and writes "library: flags <0|1>" when called.
// ignored: the signal is ignored before the first node is made.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

#include "AudioStreamFromRos.h"
#include "MurvMsgsStreamFromRos.h"
#include "Node.h"
#include "SharedObjects.h"
#include "StdMsgsStreamFromRos.h"
#include "String.h"
#include "SyncMurvMsgsAndJointState.h"
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

void libraryHandler(int sig) {
  const char* text = allFlagsSet() ? "library: flags 1\n" : "library: flags 0\n";
  if (write(1, text, std::strlen(text)) < 0) _exit(4);
  if (!(libraryFound.sa_flags & SA_SIGINFO) && libraryFound.sa_handler != SIG_DFL &&
      libraryFound.sa_handler != SIG_IGN)
    libraryFound.sa_handler(sig);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "", name = argc == 3 ? argv[2] : "";
  const int sig = name == "INT" ? SIGINT : name == "TERM" ? SIGTERM : name == "HUP" ? SIGHUP : 0;
  if (!sig || (mode != "plain" && mode != "library" && mode != "ignored")) {
    std::cerr << "usage: murv-signal-host plain|library|ignored INT|TERM|HUP" << std::endl;
    return 2;
  }
  if (mode == "ignored") signal(sig, SIG_IGN);
  MURV::Node* first = makeStreamNode("first");
  if (mode == "library") {
    struct sigaction handler {};
    handler.sa_handler = libraryHandler;
    sigemptyset(&handler.sa_mask);
    sigaction(sig, &handler, &libraryFound);
  }
  MURV::Node* second = makeStreamNode("second");
  raise(sig);
  std::cout << "flags " << allFlagsSet() << std::endl;
  second->unref();
  first->unref();
  return 0;
}
