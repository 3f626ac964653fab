// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, reads the network's text description (runner/
// NetworkDescription.h gives its format), from standard input when its
// file is given as -, and checks it whole, then, on a
// thread whose stack holds the network's longest chain of nodes, makes the
// nodes, initialises them in creation order, pulls iteration counts and
// prints the outputs, and destroys the nodes in reverse order.
//
// Exit status: 0 after a run; 1 when a host exception ends the run; 2 for a
// fault in the command line or the description, which takes in every error
// while the nodes are made, connected and initialised, and an input left
// unconnected or an eof output that is not a bool found at the first count;
// 128 + the signal when SIGINT, SIGTERM or SIGHUP stops the run: while the
// description is read, during set-up before the next step, or after the
// iteration in progress.
// Whatever error ends a run after a stop signal came (a stream node's
// force-quit, a node given up in its set-up) is still printed, and the
// status is the signal's. A run without an iteration limit ends after count
// 2147483647, the last count a node can take.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Node.h"
#include "runner/NetworkBuilder.h"
#include "runner/NetworkCheck.h"
#include "runner/NetworkDescription.h"
#include "runner/NetworkRun.h"
#include "runner/NetworkThread.h"
#include "runner/RunStop.h"

using namespace MURV;
using namespace murvrun;

namespace {

void printUsage(std::ostream& out) {
  out << "usage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n"
         "       murv-run [--toolbox PATH]... --list\n"
         "       murv-run --help\n"
         "A NETWORK-FILE of - is read from standard input.\n";
}

// A fault of the command line: what is wrong, then the usage; status 2.
[[noreturn]] void usage(const std::string& fault) {
  std::cerr << "murv-run: " << fault << "\n";
  printUsage(std::cerr);
  std::exit(2);
}

// The default toolbox, looked up on the loader's search path alone.
const char* const defaultToolbox = "libmurv-ros.tlb.so";

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
    const std::string a = argv[i];
    // The value of option a, which must have one.
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--toolbox") {
      toolboxes.push_back(value());
      // An empty name would make dlopen answer the runner itself.
      if (toolboxes.back().empty()) usage("--toolbox needs a file name, not an empty one");
    } else if (a == "--count") {
      const std::string count = value();
      std::string fault;
      if (!readWholeNumber(count, countLimit, &fault)) {
        std::cerr << "murv-run: bad --count value '" << excerpt(count) << "' " << fault << std::endl;
        return 2;
      }
    } else if (a == "--list") list = true;
    else if (a == "--help") help = true;
    else if (a.size() > 1 && a[0] == '-') usage("unknown option " + excerpt(a));
    else if (a.empty()) usage("the network file's name is empty");
    else if (!networkPath.empty()) usage("one network file only: " + excerpt(a) + " after " + excerpt(networkPath));
    else networkPath = a;
  }
  if (help) {
    printUsage(std::cout);
    std::cout << "SIGINT, SIGTERM or SIGHUP stops the run (status 128 + the signal) once the nodes made so far\n"
                 "are destroyed. Any stop signal within 100 ms of the first, from any sender, is part of the\n"
                 "same stop, and so is a later SIGHUP; a later SIGINT or SIGTERM ends the runner at once.\n";
    return 0;
  }
  if (!list && networkPath.empty()) usage("no network file given");

  const bool given = !toolboxes.empty();
  if (!given) toolboxes.push_back(defaultToolbox);
  for (const std::string& toolbox : toolboxes) {
    // A name without a slash is looked up on the loader's search path, but
    // a user naming a file in the current folder means that file. The
    // default name is never taken from the current folder: a library left
    // there by anyone would run its code in the runner.
    struct stat file;
    const bool here = given && toolbox.find('/') == std::string::npos && stat(toolbox.c_str(), &file) == 0;
    if (!dlopen((here ? "./" + toolbox : toolbox).c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      std::cerr << "murv-run: cannot load " << excerpt(toolbox) << ": " << hostExcerpt(dlerror(), {toolbox})
                << (given ? "" : "; name its file with --toolbox PATH, or put its folder on LD_LIBRARY_PATH")
                << std::endl;
      return 2;
    }
  }
  if (list) {
    // The names are the toolboxes' own: cleaned like any text from outside.
    for (const auto& v : Object::moduleVersions())
      std::cout << "module " << excerpt(v.module) << " revision " << excerpt(v.revision) << " version "
                << excerpt(v.version) << "\n";
    for (const auto& n : Node::factoryNames()) std::cout << "node type " << excerpt(n, lineLimit) << "\n";
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
    std::cerr << "murv-run: " << excerpt(e.what(), lineLimit) << std::endl;
    status = failedWith(1);
  }
  return status;
}
