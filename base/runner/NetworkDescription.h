#ifndef MURV_RUNNER_NETWORK_DESCRIPTION_H
#define MURV_RUNNER_NETWORK_DESCRIPTION_H

// The network description as the runner reads it from its text file, and
// the error that reports a fault in it at its file and line.
//
// Description format, one statement per line ('#' starts a comment):
//   node <instance> <NodeType>
//   param <instance> <NAME> int|float|bool|string|object <value>
//   connect <instance> <INPUT> <from-instance> <OUTPUT>
//   output <instance> <OUTPUT>        printed on every iteration
//   pull <instance> <OUTPUT>          computed on every iteration, not printed
//   eof <instance> <OUTPUT>           the run ends when this output is false
//   iterations <N>                    the most counts to run, at most maxCount
// A line may be at most maxLineLength bytes long; a UTF-8 byte-order mark
// at the start of the file is skipped. Statements may come in any order: a
// param or connect statement may name a node declared further down. A
// parameter is given once per node, and eof and iterations once per
// description. A float value must be one that a float holds, and a
// description declares at least one node.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ParameterSet.h"

namespace murvrun {

struct NodeDecl {
  std::string name, type;
  MURV::ParameterSet params;
  int line = 0;
  std::map<std::string, int> paramLines;  // the line of each param statement
  std::string label() const;
};
struct Connection {
  std::string node, input, from, output;
  int line = 0;
};
struct Port {
  std::string node, output;
  bool print = true;
  int line = 0;
};
struct Network {
  std::vector<NodeDecl> nodes;
  std::vector<Connection> connections;
  std::vector<Port> outputs;
  std::unique_ptr<Port> eof;
  long iterations = -1;
  int iterationsLine = 0;
  int lastStatement = 0;  // the line of the last statement
};

// A fault in the description, or any error while the network is set up,
// thrown up to main so that the nodes already made are destroyed before the
// run ends. One found only once the network runs ends it with status 1.
struct DescriptionError {
  std::string where;
  int line;
  std::string what;
  int status = 2;
};

[[noreturn]] void fail(const std::string& where, int line, const std::string& what);

// The longest line a description may have, in bytes: a file with no line
// ends (a device, a binary) is refused there rather than read into memory.
constexpr long maxLineLength = 1L << 20;

// How much of a user's text an error message shows.
constexpr std::size_t quoteLimit = 200;

// The most an error line takes after its file and line.
constexpr std::size_t lineLimit = 2 * quoteLimit;

// "FILE:LINE: " as a line of the runner begins: the file's name whole, but
// cleaned as excerpt does.
std::string location(const std::string& path, int line);

// User text as an error message quotes it, without the quotes: one line of
// at most limit characters, cleaned and cut as murvtext::printable does.
std::string excerpt(const std::string& text, std::size_t limit = quoteLimit);

// words, each followed by separator but the last.
std::string joined(const std::vector<std::string>& words, const std::string& separator);

// The most iteration counts a run can ask for: the nodes take counts as int.
constexpr long maxCount = 2147483647;

// Digits only (no sign, no fraction, no trailing text), at most maxCount.
// When it is not, false, and fault (when given) tells why, in parentheses:
// "(a whole number)" or "(at most 2147483647)".
bool readWholeNumber(const std::string& text, long& value, std::string* fault = nullptr);

// The name that stands for standard input, as a path and in errors.
constexpr const char* standardInput = "-";

// Reads the description at path, or from standard input for standardInput;
// a fault throws DescriptionError, at line 0 when the file cannot be
// opened. A stop signal ends the read, at the line being read (a file that
// nobody writes to yet, a terminal).
Network parse(const std::string& path);

}  // namespace murvrun

#endif
