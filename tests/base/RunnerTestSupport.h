#ifndef MURV_TEST_RUNNER_SUPPORT_H
#define MURV_TEST_RUNNER_SUPPORT_H

// Runs the network runner with the toolbox and the example nodes on a
// description written to the build folder.

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace runnertest {

struct RunResult {
  int status;          // exit status, or -1 when the runner did not exit
  std::string output;  // standard output and standard error together
};

inline std::string descriptionPath(const std::string& name) {
  return std::string(MURV_BINARY_DIR) + "/" + name + ".net";
}

// Runs the runner with arguments as the shell reads them; prefix goes
// before the runner in the shell's command (a folder to change to, an
// environment).
inline RunResult runRunner(const std::string& arguments, const std::string& prefix = "") {
  const std::string command = prefix + " " + MURV_RUNNER_PATH + " " + arguments + " 2>&1";
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

// Runs the runner with the toolbox and the example nodes on the file at
// path as it is.
inline RunResult runFile(const std::string& path, const std::string& options = "", const std::string& prefix = "") {
  return runRunner(std::string("--toolbox ") + MURV_TOOLBOX_PATH + " --toolbox " + MURV_EXAMPLES_PATH + " " +
                       options + " '" + path + "'",
                   prefix);
}

// Writes description to name.net in the build folder and runs it.
inline RunResult runNetwork(const std::string& name, const std::string& description, const std::string& options = "",
                            const std::string& prefix = "") {
  std::ofstream(descriptionPath(name)) << description;
  return runFile(descriptionPath(name), options, prefix);
}

// A chain of length pass-through nodes behind a one-value test signal,
// with the last one pulled; reversed, the connect statements come last
// node first.
inline std::string chainNetwork(int length, bool reversed = false) {
  std::string nodes = "node sig TestSignal\nparam sig CHANNELS int 1\nparam sig LENGTH int 1\n"
                      "param sig SAMPLING_RATE int 16000\nparam sig AMPLITUDE float 1\n";
  std::vector<std::string> connects;
  for (int i = 0; i < length; ++i) {
    nodes += "node n" + std::to_string(i) + " STPMPublisher\n";
    connects.push_back("connect n" + std::to_string(i) + " ONSETVector " + (i ? "n" + std::to_string(i - 1) : "sig") +
                       " OUTPUT\n");
  }
  if (reversed) std::reverse(connects.begin(), connects.end());
  for (const std::string& c : connects) nodes += c;
  return nodes + "pull n" + std::to_string(length - 1) + " OUTPUT\niterations 1\n";
}

// A std_msgs publisher "pub" of type on topic, its input left to connect.
inline std::string publisherLines(const std::string& type, const std::string& topic) {
  return "node pub " + type + "\nparam pub ENABLE_DEBUG bool false\nparam pub ROS_MESSAGE_TYPE string Float32\n"
         "param pub TOPIC_NAME string " + topic + "\nparam pub BUFFER_NUM int 1\nparam pub MAX_FREQUENCY float 0\n"
         "param pub ROS_LOOP_RATE float 100\n";
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

// signal4 without the param statement of name, which the caller gives
// again after it.
inline std::string signal4Without(const std::string& name) {
  std::string lines = signal4;
  const std::size_t at = lines.find("param sig " + name + " ");
  return lines.erase(at, lines.find('\n', at) + 1 - at);
}

}  // namespace runnertest

#endif
