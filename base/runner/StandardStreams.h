#ifndef MURV_RUNNER_STANDARD_STREAMS_H
#define MURV_RUNNER_STANDARD_STREAMS_H

// The runner's standard input, output and error: open before the runner
// opens anything, and each of its lines written in one call, so that a
// line another thread prints at the same moment (a ROS log line) does not
// land inside it, and an output that cannot be written is known.

#include <stdexcept>
#include <string>

namespace murvrun {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed:
// otherwise the first file the runner opens (an eventfd, the description)
// would take its number, and be read as the description or written as the
// output. Ignores SIGPIPE, so that a closed pipe under standard output is a
// failed write like any other, which ends the run with its nodes
// destroyed. Called first; a /dev/null that cannot be opened ends the
// runner (status 2).
void prepareStandardStreams();

// Whether standard input was closed when the runner started.
bool standardInputClosed();

// What cannot be written to standard output, and why.
struct OutputFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes text to standard output in one call, after what the nodes have
// printed there; throws OutputFailed when it cannot be written whole.
void printOutput(const std::string& text);

// Writes text (whole lines) to standard error in one call, after standard
// output's pending lines. Nothing more can be done when that fails.
void printError(const std::string& text);

// text as the runner's one line on standard error, after "murv-run: ".
void say(const std::string& text);

}  // namespace murvrun

#endif
