#ifndef MURV_TEST_RUNNER_SUPPORT_H
#define MURV_TEST_RUNNER_SUPPORT_H

// Runs the network runner with the toolbox and the example nodes on a
// description written to the build folder.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace runnertest {

struct RunResult {
  int status;          // exit status, or -1 when the runner did not exit
  std::string output;  // standard output and standard error together
};

inline std::string descriptionPath(const std::string& name) {
  return std::string(MURV_BINARY_DIR) + "/" + name + ".net";
}

// Runs the runner on the file at path as it is.
inline RunResult runFile(const std::string& path, const std::string& options = "") {
  std::string command = std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " --toolbox " +
                        MURV_EXAMPLES_PATH + " " + options + " " + path + " 2>&1";
  RunResult r{-1, ""};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Writes description to name.net in the build folder and runs it.
inline RunResult runNetwork(const std::string& name, const std::string& description, const std::string& options = "") {
  std::ofstream(descriptionPath(name)) << description;
  return runFile(descriptionPath(name), options);
}

// Four channels of sines into a level meter.
inline const char* signal4 =
    "node sig TestSignal   # four channels of sines\n"
    "param sig CHANNELS int 4\n"
    "param sig LENGTH int 160\n"
    "param sig SAMPLING_RATE int 16000\n"
    "param sig AMPLITUDE float 1\n"
    "node level ChannelLevel\n"
    "connect level INPUT sig OUTPUT\n";

}  // namespace runnertest

#endif
