// What the demo tests share: whether the processes a demo script started
// are gone once it has ended. Only the script's own are looked at, by the
// ids it names, so a demo that someone else runs meanwhile does not count.
#ifndef MURV_DEMO_TEST_SUPPORT_H
#define MURV_DEMO_TEST_SUPPORT_H

#include <signal.h>

#include <cerrno>
#include <regex>
#include <sstream>
#include <string>

namespace demotest {

// "" when the script named the processes it stopped and none of them runs;
// otherwise what is wrong.
inline std::string leftRunning(const std::string& output) {
  std::smatch m;
  if (!std::regex_search(output, m, std::regex("\n== stopped processes ([0-9 ]+)\n")))
    return "the script named no processes it stopped";
  std::istringstream ids(m[1].str());
  std::string left;
  for (long pid; ids >> pid;)
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) left += " " + std::to_string(pid);
  return left.empty() ? "" : "still running:" + left;
}

}  // namespace demotest

#endif
