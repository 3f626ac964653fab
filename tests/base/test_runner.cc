// The network runner with the example nodes: what it prints and what it
// refuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace {

struct RunResult {
  int status;
  std::string output;
};

RunResult runNetwork(const std::string& name, const std::string& description, const std::string& options = "") {
  std::string path = std::string(MURV_BINARY_DIR) + "/" + name + ".net";
  std::ofstream(path) << description;
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

const char* signal4 =
    "node sig TestSignal   # four channels of sines\n"
    "param sig CHANNELS int 4\n"
    "param sig LENGTH int 160\n"
    "param sig SAMPLING_RATE int 16000\n"
    "param sig AMPLITUDE float 1\n"
    "node level ChannelLevel\n"
    "connect level INPUT sig OUTPUT\n";

}  // namespace

TEST(NetworkRunner, PrintsOutputsPerCountAndPullsWithoutPrinting) {
  RunResult r = runNetwork("levels", std::string(signal4) + "output level OUTPUT\npull sig OUTPUT\niterations 2\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "[0] level.OUTPUT = <Vector<float> 0.707107 0.353553 0.235702 0.176777 > \n"
            "[1] level.OUTPUT = <Vector<float> 0.707107 0.353553 0.235702 0.176777 > \n");
  RunResult limited = runNetwork("levels", std::string(signal4) + "output level OUTPUT\niterations 5\n", "--count 1");
  EXPECT_EQ(limited.output.find("[1]"), std::string::npos) << limited.output;
}

TEST(NetworkRunner, RefusesBadDescriptionsWithTheirLine) {
  RunResult unknownType = runNetwork("bad1", "node x NoSuchNode\n");
  EXPECT_EQ(unknownType.status, 2);
  EXPECT_NE(unknownType.output.find("bad1.net:1: unknown node type NoSuchNode"), std::string::npos)
      << unknownType.output;
  RunResult badValue = runNetwork("bad2", std::string(signal4) + "param sig CHANNELS int four\n");
  EXPECT_EQ(badValue.status, 2);
  EXPECT_NE(badValue.output.find("bad2.net:8: bad int value 'four'"), std::string::npos) << badValue.output;
  RunResult unknownPort = runNetwork("bad3", std::string(signal4) + "output level NOPE\n");
  EXPECT_EQ(unknownPort.status, 1) << unknownPort.output;
  EXPECT_NE(unknownPort.output.find("Unknown output NOPE"), std::string::npos) << unknownPort.output;
}
