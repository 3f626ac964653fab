// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, builds the network from a text description (runner/
// NetworkDescription.h gives its format), initialises the nodes in creation
// order, pulls iteration counts and prints the outputs, and destroys the
// nodes in reverse order.
//
// Exit status: 0 after a run; 1 when a host exception ends the run; 2 for a
// fault in the command line or the description, which takes in every error
// while the nodes are made, connected and initialised; 128 + the signal
// when SIGINT, SIGTERM or SIGHUP stops the run: during set-up, before the
// next step, or after the iteration in progress. Whatever error ends a run
// after a stop signal came (a stream node's force-quit, a node given up in
// its set-up) is still printed, and the status is the signal's. A run
// without an iteration limit ends after count 2147483647, the last count a
// node can take.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <dlfcn.h>

#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "Node.h"
#include "runner/NetworkBuilder.h"
#include "runner/NetworkDescription.h"
#include "runner/StopSignals.h"
#include "net_types.h"

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
    else if (a == "--count" && i + 1 < argc && readWholeNumber(argv[i + 1], countLimit)) ++i;
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
    if (!dlopen(toolbox.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      std::cerr << "murv-run: cannot load " << toolbox << ": " << dlerror() << std::endl;
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

  BuiltNetwork built;
  int status = 0;
  // After a stop signal, whatever ends the run ends it with the signal's
  // status.
  auto failed = [](int failure) { return stopSignal() ? 128 + stopSignal() : failure; };
  try {
    Network net = parse(networkPath);
    if (countLimit < 0) countLimit = net.iterations;
    // The nodes take counts as int.
    const long countEnd = static_cast<long>(std::numeric_limits<int>::max()) + 1;
    const bool unlimited = countLimit < 0;
    if (unlimited || countLimit > countEnd) countLimit = countEnd;
    // Pulls one output for count; an object missing there is said at the
    // statement that asked for it.
    auto pull = [](const Pull& p, int count) {
      try {
        return p.node->getOutput(p.id, count);
      } catch (BaseException* e) {
        throw noteMissingObject(e, p.missingObjectNote, count);
      }
    };
    long count = 0;
    if (build(net, networkPath, built)) {
      for (; count < countLimit; ++count) {
        if (stopSignal()) break;
        const int c = static_cast<int>(count);
        if (built.eof && !dereference_cast<bool>(pull(*built.eof, c))) break;
        for (const Pull& p : built.pulls) {
          ObjectRef value = pull(p, c);
          if (!p.print) continue;
          std::cout << "[" << c << "] " << p.label << " = ";
          if (value.get()) value->printOn(std::cout);
          else std::cout << "nil";
          std::cout << std::endl;
        }
        if (!built.eof && unlimited && built.pulls.empty()) break;
      }
    }
    if (stopSignal()) status = 128 + stopSignal();
    else if (unlimited && count == countEnd)
      std::cerr << "murv-run: stopped after count " << countEnd - 1 << ", the last count a node can take" << std::endl;
  } catch (DescriptionError& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.where << ":" << e.line << ": " << e.what << std::endl;
    status = failed(2);
  } catch (BaseException* e) {
    std::cout.flush();
    std::cerr << "murv-run: host exception:" << std::endl;
    e->printAll(std::cerr);
    delete e;
    status = failed(1);
  } catch (std::exception& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.what() << std::endl;
    status = failed(1);
  }
  for (auto it = built.nodes.rbegin(); it != built.nodes.rend(); ++it) (*it)->unref();
  return status;
}
