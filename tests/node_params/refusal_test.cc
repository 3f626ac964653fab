// Parameters a node cannot run with end the run when the network is made or
// initialised, naming the node and the parameter. Each row takes a network
// of the node reference (examples/nodes), replaces some of its lines, and
// runs it with the network runner against a private rosmaster.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ExampleNetworks.h"
#include "RosMaster.h"

namespace {

struct Row {
  const char* name;
  const char* example;
  // Each line of the example that starts with first, as whole words,
  // becomes second.
  std::vector<std::pair<std::string, std::string>> lines;
  int status;
  // A refusal is the runner's line "murv-run: FILE:LINE: param PARAMETER of
  // node NAME (TYPE): WHERE: Node NAME: TEXT"; a run that goes ahead prints
  // the line text.
  std::string node, text;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

Row emptyTopic(const char* name, const char* example, const std::string& node, const std::string& type,
               const std::string& parameter) {
  const std::string line = "param " + node + " " + parameter;
  return {name, example, {{line, line + " string"}}, 2, node + " (" + type + ")", parameter + " must not be empty"};
}

murvtest::LineChange subParam(const std::string& name, const std::string& kindAndValue) {
  return murvtest::paramChange("sub", name + " " + kindAndValue);
}

const Row rows[] = {
    emptyTopic("IntPublisher", "RosMurvIntPublisher", "pub", "RosMurvIntPublisher", "TOPIC_NAME"),
    emptyTopic("IntSubscriber", "RosMurvIntPublisher", "sub", "RosMurvIntSubscriber", "TOPIC_NAME"),
    emptyTopic("StdPublisher", "RosMurvIntPublisher", "pace", "RosStdMsgsPublisher", "TOPIC_NAME"),
    emptyTopic("Server", "RosAddMurvIntServer", "srv", "RosAddMurvIntServer", "TOPIC_NAME"),
    emptyTopic("Client", "RosAddMurvIntClient", "cli", "RosAddMurvIntClient", "TOPIC_NAME"),
    emptyTopic("MsgsPublisher", "RosMurvMsgsPublisher", "pub", "RosMurvMsgsPublisher", "TOPIC_NAME_MURVWAVE"),
    emptyTopic("MsgsSubscriber", "RosMurvMsgsSubscriber", "sub", "RosMurvMsgsSubscriber", "TOPIC_NAME_MURVWAVE"),
    emptyTopic("ParamsSubscriber", "RosMurvParamsSubscriber", "params", "RosMurvParamsSubscriber", "TOPIC_NAME_DODA"),
    emptyTopic("StdSubscriber", "RosStdMsgsSubscriber", "sub", "RosStdMsgsSubscriber", "TOPIC_NAME"),
    emptyTopic("StdStream", "StdMsgsStreamFromRos", "stream", "StdMsgsStreamFromRos", "TOPIC_NAME"),
    emptyTopic("AudioStream", "AudioStreamFromRos", "audio", "AudioStreamFromRos", "TOPIC_NAME"),
    emptyTopic("MsgsStream", "MurvMsgsStreamFromRos", "stream", "MurvMsgsStreamFromRos", "TOPIC_NAME_MURVSRCWAVE"),
    emptyTopic("SyncJoint", "SyncMurvMsgsAndJointState", "sync", "SyncMurvMsgsAndJointState", "TOPIC_NAME"),
    emptyTopic("SyncAudio", "SyncMurvMsgsAndJointState", "sync", "SyncMurvMsgsAndJointState", "TOPIC_NAME_MURVSOURCE"),
    // A topic the node never hands to ROS may stay empty.
    {"UnusedTopic", "RosMurvMsgsSubscriber", {subParam("TOPIC_NAME_MURVFFT", "string"), {"iterations", "iterations 2"}},
     0, "", "[1] sub.TIMESTAMP = <TimeStamp <sec 0> <usec 0> >"},
    {"NegativeFFTLength", "RosMurvMsgsSubscriber",
     {subParam("STREAM_SELECTION", "string MurvFFT"), subParam("FFT_LENGTH", "int -1")}, 2,
     "sub (RosMurvMsgsSubscriber)", "NB_CHANNELS 2 and FFT_LENGTH -1 make no matrix"},
    {"HugeWave", "RosMurvMsgsSubscriber", {subParam("NB_CHANNELS", "int 65536"), subParam("FFT_LENGTH", "int 65536")},
     2, "sub (RosMurvMsgsSubscriber)",
     "NB_CHANNELS 65536 and FFT_LENGTH 65536 make a matrix of 4294967296 values, more than 16777216"},
    {"HugeSpectrum", "RosMurvMsgsSubscriber",
     {subParam("STREAM_SELECTION", "string MurvFFT"), subParam("NB_CHANNELS", "int 8"),
      subParam("FFT_LENGTH", "int 2147483647")},
     2, "sub (RosMurvMsgsSubscriber)",
     "NB_CHANNELS 8 and FFT_LENGTH 2147483647 make a matrix of 8589934592 values, more than 16777216"},
    // Numbers are shown as %g shows them, so a tiny one does not read as 0.
    {"TinyRate", "RosMurvMsgsSubscriber", {subParam("ROS_LOOP_RATE", "float 1e-30")}, 2, "sub (RosMurvMsgsSubscriber)",
     "ROS_LOOP_RATE must be a positive, finite rate of at least one iteration in 2147483647 seconds (got 1e-30)"},
    {"TinyNegativeDuration", "RosMurvIntSubscriber", {subParam("ROS_DURATION", "float -2.5e-7")}, 2,
     "sub (RosMurvIntSubscriber)", "ROS_DURATION must be a finite, non-negative number of seconds below 2^31 (got -2.5e-07)"},
};

class NodeParameters : public ::testing::TestWithParam<Row> {};

TEST_P(NodeParameters, AreRefusedWhenTheNetworkIsMadeIfTheNodeCannotRunWithThem) {
  const Row& row = GetParam();
  size_t replaced = 0;
  const std::string net = murvtest::exampleNetwork(row.example, row.lines, replaced);
  ASSERT_EQ(replaced, row.lines.size()) << "lines of " << row.example << " not found";
  const std::string path = std::string(MURV_BINARY_DIR) + "/node_params_" + row.name + ".net";
  std::ofstream(path) << net;

  murvtest::RosMaster master;
  master.start();
  const murvtest::CommandResult r =
      murvtest::runCommand(std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " --toolbox " +
                           MURV_EXAMPLES_PATH + " " + path + " 2>&1");
  EXPECT_EQ(r.status, row.status) << r.output;
  if (row.status == 0) {
    EXPECT_NE(r.output.find(row.text + "\n"), std::string::npos) << r.output;
    return;
  }
  const size_t at = r.output.find("murv-run: " + path + ":");
  ASSERT_NE(at, std::string::npos) << r.output;
  const std::string refusal = r.output.substr(at, r.output.find('\n', at) - at);
  // Said at the param line of the parameter the text names first.
  EXPECT_NE(refusal.find(" of node " + row.node + ": "), std::string::npos) << refusal;
  EXPECT_EQ(refusal.substr(refusal.size() - std::min(refusal.size(), row.text.size() + 2)), ": " + row.text);
}

INSTANTIATE_TEST_SUITE_P(Examples, NodeParameters, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
