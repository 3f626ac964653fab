// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, builds the network from a text description (runner/
// NetworkDescription.h gives its format), initialises the nodes in creation
// order, pulls iteration counts and prints the outputs, and destroys the
// nodes in reverse order.
//
// Exit status: 0 after a run; 1 when a host exception ends the run; 2 for a
// fault in the command line or the description, which takes in every error
// while the nodes are made, connected and initialised; 128 + the signal
// when SIGINT or SIGTERM stops the run after the iteration in progress.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <dlfcn.h>

#include <iostream>
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

  installStopHandlers();
  BuiltNetwork built;
  int status = 0;
  try {
    Network net = parse(networkPath);
    if (countLimit < 0) countLimit = net.iterations;
    build(net, networkPath, built);

    for (int count = 0; countLimit < 0 || count < countLimit; ++count) {
      if (stopSignal()) break;
      if (built.eof && !dereference_cast<bool>(built.eof->node->getOutput(built.eof->id, count))) break;
      for (const Pull& p : built.pulls) {
        ObjectRef value = p.node->getOutput(p.id, count);
        if (!p.print) continue;
        std::cout << "[" << count << "] " << p.label << " = ";
        if (value.get()) value->printOn(std::cout);
        else std::cout << "nil";
        std::cout << std::endl;
      }
      if (!built.eof && countLimit < 0 && built.pulls.empty()) break;
    }
    if (stopSignal()) status = 128 + stopSignal();
  } catch (DescriptionError& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.where << ":" << e.line << ": " << e.what << std::endl;
    status = 2;
  } catch (BaseException* e) {
    std::cout.flush();
    std::cerr << "murv-run: host exception:" << std::endl;
    e->printAll(std::cerr);
    delete e;
    status = 1;
  } catch (std::exception& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.what() << std::endl;
    status = 1;
  }
  for (auto it = built.nodes.rbegin(); it != built.nodes.rend(); ++it) (*it)->unref();
  return status;
}
