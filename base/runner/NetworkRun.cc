#include "NetworkRun.h"

#include <limits>
#include <sstream>
#include <typeinfo>

#include "NetworkBuilder.h"
#include "RunStop.h"
#include "StandardStreams.h"
#include "net_types.h"

using namespace MURV;

namespace murvrun {

namespace {

const InputNotConnected* unconnectedIn(const BaseException* e) {
  if (const InputNotConnected* u = dynamic_cast<const InputNotConnected*>(e)) return u;
  for (const BaseException* c : e->chained())
    if (const InputNotConnected* u = unconnectedIn(c)) return u;
  return nullptr;
}

// The text of e alone, without what is chained to it, on one line.
std::string ownText(const BaseException& e) {
  std::ostringstream own;
  e.print(own);
  std::string text = own.str();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A cast that failed in the code of a node of the description: said at the
// connect statement of the input that brought the object, or at the node's
// statement when that is not known, with both types as the description
// writes them. The network was valid as written, so the run failed (status
// 1). Nothing for a cast no node of the description claimed.
void failedCast(const BuiltNetwork& built, BaseException* e, const std::string& path) {
  BaseException* frame = failedCastOn(e);
  const FailedCast* cast = dynamic_cast<const FailedCast*>(frame);
  auto decl = cast && cast->node ? built.declOf.find(cast->node) : built.declOf.end();
  if (decl == built.declOf.end()) return;
  const NodeDecl& d = *decl->second;
  int line = d.line;
  std::string what = d.label(), input;
  if (cast->input >= 0) {
    input = cast->node->getInputs().at(static_cast<size_t>(cast->input)).name;
    auto connect = built.connectLines.find({cast->node, cast->input});
    if (connect != built.connectLines.end()) line = connect->second;
    what += ": input " + excerpt(input);
  }
  what += ": expected " + plainTypeName(cast->wanted()) + ", given " +
          (cast->given ? plainTypeName(*cast->given) : std::string("nil"));
  const std::string text = ownText(*frame);
  delete e;
  throw DescriptionError{path, line, what + ": " + hostExcerpt(text, {d.name, input}), 1};
}

// Pulls one output of built for count. A missing object is said at the
// statement that asked for it; an input that a node read but the network
// left unconnected is a fault of the description, at that node's line; a
// failed cast is said by failedCast.
ObjectRef pull(const BuiltNetwork& built, const Pull& p, int count, const std::string& path) {
  try {
    return p.node->getOutput(p.id, count);
  } catch (BaseException* e) {
    // A cast no input read claimed failed in the pulled node's own code.
    claimFailedCast(e, p.node);
    const InputNotConnected* u = unconnectedIn(e);
    auto decl = u ? built.declOf.find(u->node) : built.declOf.end();
    if (decl == built.declOf.end()) {
      failedCast(built, e, path);
      throw noteMissingObject(e, p.missingObjectNote, count);
    }
    const std::string text = ownText(*u);
    const std::string input = u->input;
    delete e;
    const NodeDecl& d = *decl->second;
    fail(path, d.line, d.label() + ": input " + excerpt(input) + " is not connected: " +
                           hostExcerpt(text, {d.name, input}));
  }
}

// Whether the eof output lets the run go on: a bool, or a fault at its line.
bool goesOn(const ObjectRef& value, const Pull& eof, const std::string& path) {
  try {
    return dereference_cast<bool>(value);
  } catch (BaseException* e) {
    delete e;
  } catch (std::bad_typeid&) {
  }
  const Object* held = value.get();
  fail(path, eof.line, "eof needs a bool, got " + (held ? plainTypeName(typeid(*held)) : std::string("nil")));
}

}  // namespace

void reportFault(const DescriptionError& e) { say(location(e.where, e.line) + excerpt(e.what, lineLimit)); }

int failedWith(int failure) {
  const int stop = settledStopSignal();
  return stop ? 128 + stop : failure;
}

int runNetwork(Network& net, const std::string& path, long countLimit) {
  BuiltNetwork built;
  int status = 0;
  try {
    // The nodes take counts as int.
    const long countEnd = static_cast<long>(std::numeric_limits<int>::max()) + 1;
    const bool unlimited = countLimit < 0;
    if (unlimited || countLimit > countEnd) countLimit = countEnd;
    long count = 0;
    if (build(net, path, built)) {
      for (; count < countLimit; ++count) {
        if (stopSignal()) break;
        const int c = static_cast<int>(count);
        if (built.eof && !goesOn(pull(built, *built.eof, c, path), *built.eof, path)) break;
        for (const Pull& p : built.pulls) {
          ObjectRef value = pull(built, p, c, path);
          if (!p.print) continue;
          std::ostringstream line;
          line << "[" << c << "] " << p.label << " = ";
          if (value.get()) value->printOn(line);
          else line << "nil";
          line << "\n";
          printOutput(line.str());
        }
        if (!built.eof && unlimited && built.pulls.empty()) break;
      }
    }
    if (stopSignal()) status = 128 + stopSignal();
    else if (unlimited && count == countEnd)
      say("stopped after count " + std::to_string(countEnd - 1) + ", the last count a node can take");
  } catch (DescriptionError& e) {
    reportFault(e);
    status = failedWith(e.status);
  } catch (BaseException* e) {
    // After a stop signal the run was stopped, not failed: a stream node's
    // force-quit is said as it is.
    printError((settledStopSignal() ? "" : "murv-run: host exception:\n") + hostLines(e->text()));
    delete e;
    status = failedWith(1);
  } catch (std::exception& e) {
    say(excerpt(e.what(), lineLimit));
    status = failedWith(1);
  }
  for (auto it = built.nodes.rbegin(); it != built.nodes.rend(); ++it) (*it)->unref();
  return status;
}

}  // namespace murvrun
