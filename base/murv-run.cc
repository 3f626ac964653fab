// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, reads the network's text description (runner/
// NetworkDescription.h gives its format) and checks it whole, then, on a
// thread whose stack holds the network's longest chain of nodes, makes the
// nodes, initialises them in creation order, pulls iteration counts and
// prints the outputs, and destroys the nodes in reverse order.
//
// Exit status: 0 after a run; 1 when a host exception ends the run; 2 for a
// fault in the command line or the description, which takes in every error
// while the nodes are made, connected and initialised, and an input left
// unconnected or an eof output that is not a bool found at the first count;
// 128 + the signal when SIGINT, SIGTERM or SIGHUP stops the run: during
// set-up, before the next step, or after the iteration in progress.
// Whatever error ends a run after a stop signal came (a stream node's
// force-quit, a node given up in its set-up) is still printed, and the
// status is the signal's. A run without an iteration limit ends after count
// 2147483647, the last count a node can take.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <dlfcn.h>
#include <sys/stat.h>

#include <iostream>
#include <string>
#include <vector>

#include "Node.h"
#include "runner/NetworkBuilder.h"
#include "runner/NetworkCheck.h"
#include "runner/NetworkDescription.h"
#include "runner/NetworkRun.h"
#include "runner/NetworkThread.h"
#include "runner/StopSignals.h"

using namespace MURV;
using namespace murvrun;

namespace {

void printUsage(std::ostream& out) {
  out << "usage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n"
         "       murv-run [--toolbox PATH]... --list\n"
         "       murv-run --help\n";
}

void usage() {
  printUsage(std::cerr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else: a script's "murv-run net &" starts with SIGINT
  // ignored, and a SIGINT sent while the toolboxes load would be lost.
  installStopHandlers();
  std::vector<std::string> toolboxes;
  std::string networkPath;
  long countLimit = -1;
  bool list = false, help = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--toolbox" && i + 1 < argc) toolboxes.push_back(argv[++i]);
    else if (a == "--count" && i + 1 < argc) {
      const std::string value = argv[++i];
      std::string fault;
      if (!readWholeNumber(value, countLimit, &fault)) {
        std::cerr << "murv-run: bad --count value '" << excerpt(value) << "' " << fault << std::endl;
        return 2;
      }
    }
    else if (a == "--list") list = true;
    else if (a == "--help") help = true;
    else if (!a.empty() && a[0] != '-' && networkPath.empty()) networkPath = a;
    else usage();
  }
  if (help) {
    printUsage(std::cout);
    return 0;
  }
  if (!list && networkPath.empty()) usage();

  if (toolboxes.empty()) toolboxes.push_back("libmurv-ros.tlb.so");
  for (const std::string& toolbox : toolboxes) {
    // A name without a slash is looked up on the loader's search path, but
    // a user naming a file in the current folder means that file.
    struct stat file;
    const bool here = toolbox.find('/') == std::string::npos && stat(toolbox.c_str(), &file) == 0;
    if (!dlopen((here ? "./" + toolbox : toolbox).c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      std::cerr << "murv-run: cannot load " << excerpt(toolbox) << ": " << hostExcerpt(dlerror(), {toolbox}) << std::endl;
      return 2;
    }
  }
  if (list) {
    for (const auto& v : Object::moduleVersions())
      std::cout << "module " << v.module << " revision " << v.revision << " version " << v.version << "\n";
    for (const auto& n : Node::factoryNames()) std::cout << "node type " << n << "\n";
    std::cout.flush();
    return 0;
  }

  int status = 0;
  try {
    Network net = parse(networkPath);
    const int chain = checkNetwork(net, networkPath, toolboxes);
    if (countLimit < 0) countLimit = net.iterations;
    status = runWithStackFor(chain, [&] { return runNetwork(net, networkPath, countLimit); });
  } catch (DescriptionError& e) {
    reportFault(e);
    status = failedWith(2);
  } catch (std::exception& e) {
    std::cerr << "murv-run: " << e.what() << std::endl;
    status = failedWith(1);
  }
  return status;
}
