#include "StandardStreams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace murvrun {

namespace {

bool inputClosed = false;

// Writes text whole to fd: in one call unless the system takes less; false
// with errno set when it fails.
bool writeWhole(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void prepareStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    if (fd == 0) inputClosed = true;
    // The lowest free number: fd itself, those below it being open.
    const int null = ::open("/dev/null", O_RDWR);
    if (null != fd) {
      say("cannot open /dev/null in place of the closed descriptor " + std::to_string(fd) + ": " +
          std::strerror(errno));
      std::exit(2);
    }
  }
  signal(SIGPIPE, SIG_IGN);
}

bool standardInputClosed() { return inputClosed; }

void printOutput(const std::string& text) {
  if (std::fflush(stdout) != 0 || !writeWhole(STDOUT_FILENO, text))
    throw OutputFailed("cannot write to standard output: " + std::string(std::strerror(errno)));
}

void printError(const std::string& text) {
  std::fflush(stdout);
  writeWhole(STDERR_FILENO, text);
}

void say(const std::string& text) { printError("murv-run: " + text + "\n"); }

}  // namespace murvrun
