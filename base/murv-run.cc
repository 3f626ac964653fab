// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, reads the network's text description (runner/
// NetworkDescription.h gives its format), from standard input when its
// file is given as -, and checks it whole, then, on a
// thread whose stack holds the network's longest chain of nodes, makes the
// nodes, initialises them in creation order, pulls iteration counts and
// prints the outputs, and destroys the nodes in reverse order.
//
// Exit status: 0 after a run; 1 when a host exception ends the run, or an
// output cannot be written; 2 for a fault in the command line or the
// description, which takes in every error while the nodes are made,
// connected and initialised, and an input left unconnected or an eof output
// that is not a bool found at the first count;
// 128 + the signal when SIGINT, SIGTERM or SIGHUP stops the run: while the
// description is read, during set-up before the next step, or after the
// iteration in progress.
// Whatever error ends a run after a stop signal came (a stream node's
// force-quit, a node given up in its set-up) is still printed, and the
// status is the signal's. A run without an iteration limit ends after count
// 2147483647, the last count a node can take.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <cstdlib>
#include <string>
#include <vector>

#include "Node.h"
#include "runner/NetworkBuilder.h"
#include "runner/NetworkCheck.h"
#include "runner/NetworkDescription.h"
#include "runner/NetworkRun.h"
#include "runner/NetworkThread.h"
#include "runner/RunStop.h"
#include "runner/StandardStreams.h"
#include "runner/Toolboxes.h"

using namespace MURV;
using namespace murvrun;

namespace {

const char* const usageText =
    "usage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n"
    "       murv-run [--toolbox PATH]... --list\n"
    "       murv-run --help\n"
    "A NETWORK-FILE of - is read from standard input. An option's value may\n"
    "follow it after =, as in --toolbox=PATH; -- ends the options.\n";

// What --help adds to the usage.
const char* const helpText =
    "The node types of the toolbox, with their parameters, inputs and outputs,\n"
    "are described in docs/nodes.md in the murv-ros sources.\n"
    "SIGINT, SIGTERM or SIGHUP stops the run (status 128 + the signal) once the nodes made so far\n"
    "are destroyed. Any stop signal within 100 ms of the first, from any sender, is part of the\n"
    "same stop, and so is a later SIGHUP; a later SIGINT or SIGTERM ends the runner at once.\n";

// A fault of the command line: what is wrong, then the usage; status 2.
[[noreturn]] void usage(const std::string& fault) {
  printError("murv-run: " + fault + "\n" + usageText);
  std::exit(2);
}

// text on standard output: status 0, or 1 when it cannot be written.
int printed(const std::string& text) {
  try {
    printOutput(text);
    return 0;
  } catch (OutputFailed& e) {
    say(e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened.
  prepareStandardStreams();
  // Before anything else: a script's "murv-run net &" starts with SIGINT
  // ignored, and a SIGINT sent while the toolboxes load would be lost.
  installStopHandlers();
  std::vector<std::string> toolboxes;
  std::string networkPath;
  long countLimit = -1;
  bool list = false, help = false, options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && arg == "--") {
      options = false;
      continue;
    }
    if (!options || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) usage("the network file's name is empty");
      if (!networkPath.empty()) usage("one network file only: " + excerpt(arg) + " after " + excerpt(networkPath));
      networkPath = arg;
      continue;
    }
    // --NAME=VALUE gives an option its value in the same word.
    const std::size_t equals = arg.compare(0, 2, "--") == 0 ? arg.find('=') : std::string::npos;
    const std::string a = arg.substr(0, equals);
    // The value of option a, which must have one.
    auto value = [&]() -> std::string {
      if (equals != std::string::npos) return arg.substr(equals + 1);
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
        say("bad --count value '" + excerpt(count) + "' " + fault);
        return 2;
      }
    } else if (arg == "--list") list = true;
    else if (arg == "--help") help = true;
    else usage("unknown option " + excerpt(arg));
  }
  if (help) return printed(std::string(usageText) + helpText);
  if (!list && networkPath.empty()) usage("no network file given");

  if (!loadToolboxes(toolboxes)) return 2;
  if (list) {
    // The names are the toolboxes' own: cleaned like any text from outside.
    std::string text;
    for (const auto& v : Object::moduleVersions())
      text += "module " + excerpt(v.module) + " revision " + excerpt(v.revision) + " version " +
              excerpt(v.version) + "\n";
    for (const auto& n : Node::factoryNames()) text += "node type " + excerpt(n, lineLimit) + "\n";
    return printed(text);
  }

  int status = 0;
  try {
    Network net = parse(networkPath);
    const int chain = checkNetwork(net, networkPath, toolboxesLoaded());
    if (countLimit < 0) countLimit = net.iterations;
    status = runWithStackFor(chain, [&] { return runNetwork(net, networkPath, countLimit); });
  } catch (DescriptionError& e) {
    reportFault(e);
    status = failedWith(2);
  } catch (std::exception& e) {
    say(excerpt(e.what(), lineLimit));
    status = failedWith(1);
  }
  return status;
}
