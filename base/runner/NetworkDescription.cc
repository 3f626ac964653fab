#include "NetworkDescription.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sstream>

#include "NetworkBuilder.h"
#include "ObjectParser.h"
#include "PrintableText.h"
#include "RunStop.h"
#include "SignalWake.h"
#include "StandardStreams.h"
#include "SharedObjects.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;

namespace murvrun {

void fail(const std::string& where, int line, const std::string& what) { throw DescriptionError{where, line, what}; }

std::string excerpt(const std::string& text, std::size_t limit) { return murvtext::printable(text, limit); }

std::string location(const std::string& path, int line) {
  return murvtext::printable(path, std::string::npos) + ":" + std::to_string(line) + ": ";
}

bool readWholeNumber(const std::string& text, long& value, std::string* fault) {
  auto refuse = [&](const std::string& why) {
    if (fault) *fault = why;
    return false;
  };
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return refuse("(a whole number)");
  errno = 0;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v > maxCount) return refuse("(at most " + std::to_string(maxCount) + ")");
  value = v;
  return true;
}

std::string joined(const std::vector<std::string>& words, const std::string& separator) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : separator) + w;
  return text;
}

std::string NodeDecl::label() const {
  return "node " + excerpt(name, quoteLimit / 2) + " (" + excerpt(type, quoteLimit / 2) + ")";
}

namespace {

const char* const stoppedWhileReading = "stopped while reading the network description";

// Reads the description's lines straight from the system, so that a failed
// read is told with the system's reason rather than taken for the end of
// the file, and no line grows past maxLineLength. A stop signal ends every
// wait for bytes: the file is opened without blocking (a FIFO would wait in
// open() for a writer) and read once poll() finds something to read.
// Standard input is read as it is: it stays blocking, since others may
// share its open file (a shell's terminal), and poll() says when to read.
// The runner's controlling terminal, closed, is a stop by SIGHUP; any other
// file's hang-up is its end.
class LineReader {
public:
  explicit LineReader(const std::string& path) : path(path) {
    if (path == standardInput) {
      // Taken by /dev/null, which would read as an empty description.
      if (standardInputClosed()) fail(path, 0, "cannot read the network description: standard input is closed");
      fd = STDIN_FILENO;
    } else {
      // A terminal opened by a runner that has no controlling terminal (a
      // service, setsid) would become its own, and closing it would end the
      // run with SIGHUP.
      do fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      while (fd < 0 && errno == EINTR);
      if (fd < 0) fail(path, 0, "cannot open the network description: " + std::string(std::strerror(errno)));
    }
    // Only the controlling terminal has a session to tell.
    controlling = tcgetsid(fd) >= 0;
  }
  ~LineReader() {
    if (fd != STDIN_FILENO) ::close(fd);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, without its line end, into text, and its number into
  // line; false at the end of the file.
  bool next(std::string& text, int& line) {
    text.clear();
    if (line == INT_MAX) fail(path, line, "more than " + std::to_string(INT_MAX) + " lines");
    ++line;
    for (;;) {
      if (pos == end) {
        if (ended) return !text.empty();
        awaitBytes(line);
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) fail(path, line, "cannot read the network description: " + std::string(std::strerror(errno)));
        if (n == 0 && hungUp && controlling) {
          // The terminal was closed: the SIGHUP that the system and the
          // shell send for it may come after this read, and a SIGHUP the
          // runner ignores leaves the end of the file. The signal is taken
          // on the runner's signal thread: its record is waited for.
          if (!murvwake::signalIgnored(SIGHUP)) {
            kill(getpid(), SIGHUP);
            pollfd stop = {stopWakeFd(), POLLIN, 0};
            for (int look = 0; look < 100 && !stopSignal(); ++look) ::poll(&stop, stop.fd >= 0 ? 1 : 0, 10);
          }
          if (stopSignal()) fail(path, line, stoppedWhileReading);
        }
        ended = n == 0;
        pos = 0;
        end = static_cast<std::size_t>(n);
        continue;
      }
      const char* start = buffer + pos;
      const char* lineEnd = static_cast<const char*>(std::memchr(start, '\n', end - pos));
      const std::size_t take = lineEnd ? static_cast<std::size_t>(lineEnd - start) : end - pos;
      if (text.size() + take > static_cast<std::size_t>(maxLineLength))
        fail(path, line, "line longer than " + std::to_string(maxLineLength) + " bytes");
      text.append(start, take);
      pos += take;
      if (lineEnd) {
        ++pos;
        return true;
      }
    }
  }

private:
  // Returns once the file has bytes, its end or an error to give; a stop
  // signal, before or while it waits, ends the read at line.
  void awaitBytes(int line) {
    for (;;) {
      if (stopSignal()) fail(path, line, stoppedWhileReading);
      pollfd fds[2] = {{fd, POLLIN, 0}, {stopWakeFd(), POLLIN, 0}};
      // Without a wake, a look every 100 ms: the signal's handler runs on
      // another thread, and breaks off no wait of this one.
      const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, fds[1].fd >= 0 ? -1 : 100);
      if (n < 0 && errno != EINTR) return;  // the read tells why
      hungUp = n > 0 && (fds[0].revents & POLLHUP);
      if (n > 0 && fds[0].revents && !fds[1].revents) return;
    }
  }

  std::string path;
  int fd = -1;
  bool controlling = false;  // the runner's controlling terminal
  bool hungUp = false;       // as the last poll() found it
  char buffer[65536];
  std::size_t pos = 0, end = 0;
  bool ended = false;
};

// The rest of the line, without the blanks around it.
std::string restOfLine(std::istream& in) {
  std::string value;
  std::getline(in >> std::ws, value);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
  return value;
}

// Whether text is a decimal number: a sign, digits with a point, an
// exponent. -1 when it is not; otherwise 1 when a digit of its mantissa is
// not 0, and 0 when the number is zero.
int decimalNumber(const std::string& text) {
  std::size_t i = 0, digits = 0;
  int nonzero = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !point) point = true;
    else if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++digits;
      if (text[i] != '0') nonzero = 1;
    } else break;
  }
  if (!digits) return -1;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == start) return -1;
  }
  return i == text.size() ? nonzero : -1;
}

// Unicode's spaces other than U+0020, which a reader takes for the blank
// between two words.
bool looksLikeABlank(unsigned long c) {
  return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The first of words that holds a character that reads as a blank or as
// nothing, which joins two words into one, said as "WORD: \u{00a0} is not
// a space"; "" when none does.
std::string hiddenIn(const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    unsigned long c = 0;
    if (murvtext::firstHidden(w, c))
      return excerpt(w, quoteLimit / 4) + ": " + murvtext::codePointEscape(c) +
             (looksLikeABlank(c) ? " is not a space" : " is an invisible character");
  }
  return "";
}

// what, and after it why words may not be the words meant.
std::string withHidden(const std::string& what, const std::vector<std::string>& words) {
  const std::string hidden = hiddenIn(words);
  return hidden.empty() ? what : what + "; " + hidden;
}

// The value text of kind; unknownKind says why when kind is none.
ObjectRef parseValue(const std::string& kind, const std::string& text, const std::string& where, int line,
                     const std::string& unknownKind) {
  std::istringstream in(text);
  if (kind == "int") {
    int v;
    if (!(in >> v) || !(in >> std::ws).eof()) fail(where, line, "bad int value '" + excerpt(text) + "'");
    return ObjectRef(new NetCType<int>(v));
  }
  if (kind == "float") {
    const int mantissa = decimalNumber(text);
    if (mantissa < 0) fail(where, line, "bad float value '" + excerpt(text) + "'");
    // Reading the text as a float would take an overflow for a typo and an
    // underflow for 0: the range is checked on the text as given.
    const double wide = std::strtod(text.c_str(), nullptr);
    const float v = static_cast<float>(wide);
    if (std::isinf(v) || (mantissa > 0 && v == 0))
      fail(where, line, "float value '" + excerpt(text) + "' is out of the range of a float");
    return ObjectRef(new NetCType<float>(v));
  }
  if (kind == "bool") {
    if (text == "true") return TrueObject;
    if (text == "false") return FalseObject;
    fail(where, line, "bad bool value '" + excerpt(text) + "' (true or false)");
  }
  if (kind == "string") return ObjectRef(new String(text));
  if (kind == "object") {
    // The value and the reader's reason share the quoting limit.
    const std::string bad = "bad object value '" + excerpt(text, quoteLimit / 2) + "': ";
    ObjectRef ref;
    try {
      in >> ref;
    } catch (BaseException* e) {
      fail(where, line, bad + excerpt(hostText(e), quoteLimit / 2));
    } catch (std::exception& e) {
      fail(where, line, bad + excerpt(e.what(), quoteLimit / 2));
    }
    if (!(in >> std::ws).eof()) fail(where, line, bad + "text after the object");
    return ref;
  }
  fail(where, line, unknownKind);
}

}  // namespace

Network parse(const std::string& path) {
  LineReader file(path);
  Network net;
  std::map<std::string, size_t> index;
  struct Param {
    std::string node, name;
    ObjectRef value;
    int line;
  };
  std::vector<Param> params;
  std::map<std::pair<std::string, std::string>, int> paramLine;  // (instance, name) -> its param statement
  std::string text;
  int line = 0;
  while (file.next(text, line)) {
    // A byte-order mark that an editor put at the start is no statement.
    if (line == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream in(text);
    std::string word;
    if (!(in >> word)) continue;
    net.lastStatement = line;
    // A statement that the description gives once, given again at this line.
    auto givenAgain = [&](const std::string& what, int first) {
      fail(path, line, what + " given again: line " + std::to_string(first) + " gives it first");
    };
    // The n words after the statement's own; with exact, nothing may follow
    // them. Too few or too many are shown as read.
    auto words = [&](std::size_t n, bool exact) {
      std::vector<std::string> w;
      for (std::string s; w.size() < n && in >> s;) w.push_back(s);
      const std::string takes = "'" + word + "' takes " + std::to_string(n) + " words";
      if (w.size() < n) {
        std::string read = w.empty() ? "" : ":";
        for (const std::string& s : w) read += " '" + excerpt(s, quoteLimit / 4) + "'";
        fail(path, line, withHidden(takes + ", not " + std::to_string(w.size()) + read, w));
      }
      if (exact && !(in >> std::ws).eof())
        fail(path, line, takes + "; text after them: '" + excerpt(restOfLine(in)) + "'");
      return w;
    };
    if (word == "node") {
      auto w = words(2, true);
      if (index.count(w[0])) fail(path, line, "node " + excerpt(w[0]) + " declared twice");
      index[w[0]] = net.nodes.size();
      NodeDecl decl;
      decl.name = w[0];
      decl.type = w[1];
      decl.line = line;
      net.nodes.push_back(decl);
    } else if (word == "param") {
      auto w = words(3, false);
      std::string value = restOfLine(in);
      // A node's parameters may come before its node statement, as its
      // connections may.
      auto given = paramLine.emplace(std::make_pair(w[0], w[1]), line);
      if (!given.second)
        givenAgain("parameter " + excerpt(w[1], quoteLimit / 2) + " of node " + excerpt(w[0], quoteLimit / 2),
                   given.first->second);
      // A kind that is none: perhaps a character taken for a blank has
      // joined two words, and the value's first word was read as the kind.
      const std::string hidden = hiddenIn(w);
      const std::string unknownKind = hidden.empty() ? "unknown parameter kind '" + excerpt(w[2]) + "'" : hidden;
      params.push_back(Param{w[0], w[1], parseValue(w[2], value, path, line, unknownKind), line});
    } else if (word == "connect") {
      auto w = words(4, true);
      net.connections.push_back(Connection{w[0], w[1], w[2], w[3], line});
    } else if (word == "output" || word == "pull") {
      auto w = words(2, true);
      net.outputs.push_back(Port{w[0], w[1], word == "output", line});
    } else if (word == "eof") {
      auto w = words(2, true);
      // The run has one end: a second eof would replace the first unseen.
      if (net.eof) givenAgain("eof", net.eof->line);
      net.eof.reset(new Port{w[0], w[1], false, line});
    } else if (word == "iterations") {
      std::string value = restOfLine(in), fault;
      if (!readWholeNumber(value, net.iterations, &fault))
        fail(path, line, "bad iterations value '" + excerpt(value) + "' " + fault);
      if (net.iterationsLine) givenAgain("iterations", net.iterationsLine);
      net.iterationsLine = line;
    } else {
      fail(path, line, withHidden("unknown statement '" + excerpt(word) + "'", {word}));
    }
  }
  if (net.nodes.empty()) fail(path, 0, "no node in the description");
  for (const Param& p : params) {
    auto it = index.find(p.node);
    if (it == index.end()) fail(path, p.line, "unknown node " + excerpt(p.node));
    NodeDecl& decl = net.nodes[it->second];
    decl.params.add(p.name, p.value);
    decl.paramLines[p.name] = p.line;
  }
  return net;
}

}  // namespace murvrun
