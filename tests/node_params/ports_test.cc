// The ports a node declares only when the network asks for them, and the
// warning a node gives for a parameter that names none of its choices. Each
// node is made through the registry with the parameters of its network in
// the node reference (examples/nodes), one of them changed where a row says.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "nodes/IfRosStdMsgsPublisher.h"
#include "nodes/MurvMsgsStreamFromRos.h"
#include "nodes/RosMurvMsgsPublisher.h"
#include "nodes/RosMurvMsgsSubscriber.h"
#include "nodes/RosStdMsgsPublisher.h"
#include "StreamTestSupport.h"
#include "nodes/SyncMurvMsgsAndJointState.h"

using subtest::NodePtr;

namespace {

// The parameters of instance in examples/nodes/<example>.net, read as the
// network runner reads their kinds; changed gives other values by name.
MURV::ParameterSet exampleParams(const std::string& example, const std::string& instance,
                                 const std::map<std::string, std::string>& changed = {}) {
  std::ifstream in(std::string(MURV_SOURCE_DIR) + "/examples/nodes/" + example + ".net");
  MURV::ParameterSet p;
  std::string line, statement, node, name, kind, value;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    if (!(words >> statement >> node >> name >> kind) || statement != "param" || node != instance) continue;
    std::getline(words >> std::ws, value);
    if (changed.count(name)) value = changed.at(name);
    if (kind == "int") p.add(name, subtest::intParam(std::stoi(value)));
    else if (kind == "float") p.add(name, MURV::ObjectRef(new MURV::NetCType<float>(std::stof(value))));
    else if (kind == "bool") p.add(name, subtest::boolParam(value == "true"));
    else p.add(name, subtest::stringParam(value));
  }
  return p;
}

NodePtr exampleNode(const std::string& type, const std::string& instance,
                    const std::map<std::string, std::string>& changed = {}) {
  testing::internal::CaptureStdout();
  NodePtr n = subtest::createNode(type, instance, exampleParams(type, instance, changed));
  testing::internal::GetCapturedStdout();
  return n;
}

TEST(PortsOnRequest, AreTheNamesTheNodeAccepts) {
  const struct {
    const char* type;
    const char* instance;
    bool inputs;
    std::vector<std::string> (*names)();
    int unknownID;  // the id a name the node does not know gets, or -1 when it is refused
  } rows[] = {
      {"RosMurvMsgsPublisher", "pub", true, &RosMurvMsgsPublisher::inputsOnRequest, -1},
      {"RosStdMsgsPublisher", "pub", true, &RosStdMsgsPublisher::inputsOnRequest, -1},
      // Any other input name stands for COND, declared when the node is made.
      {"IfRosStdMsgsPublisher", "pub", true, &IfRosStdMsgsPublisher::inputsOnRequest, 0},
      {"RosMurvMsgsSubscriber", "sub", false, &RosMurvMsgsSubscriber::outputsOnRequest, -1},
      {"MurvMsgsStreamFromRos", "stream", false, &MurvMsgsStreamFromRos::outputsOnRequest, -1},
      {"SyncMurvMsgsAndJointState", "sync", false, &SyncMurvMsgsAndJointState::outputsOnRequest, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    NodePtr n = exampleNode(row.type, row.instance);
    const std::vector<std::string> names = row.names();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
      const int id = row.inputs ? n->translateInput(name) : n->translateOutput(name);
      ASSERT_GE(id, 0) << name;
      const size_t at = static_cast<size_t>(id);
      EXPECT_EQ(row.inputs ? n->getInputs()[at].name : n->getOutputNames()[at], name);
    }
    // Outputs besides the listed ones are refused when the node is
    // initialised (SelectablePorts below).
    if (!row.inputs) continue;
    if (row.unknownID >= 0) {
      EXPECT_EQ(n->translateInput("INPT"), row.unknownID);
      continue;
    }
    const streamtest::HostFailure f = streamtest::hostFailure([&] { n->translateInput("INPT"); });
    EXPECT_EQ(f.message, "INPT is not supported.");
    EXPECT_TRUE(f.hasNode);
  }
}

// Initialises node, its output captured; answers what it threw.
streamtest::HostFailure initializeQuietly(const NodePtr& node) {
  testing::internal::CaptureStdout();
  const streamtest::HostFailure f = streamtest::hostFailure([&] { node->initialize(); });
  testing::internal::GetCapturedStdout();
  return f;
}

// The network is made and initialised in order: every output is asked for
// before initialize(). An output the node never writes, or a selectable one
// its selection does not write, is refused before anything is subscribed.
TEST(SelectablePorts, AnOutputTheNodeNeverWritesIsRefusedWhenInitialised) {
  const struct {
    const char* type;
    const char* instance;
    const char* file;
    std::vector<std::string> topics;  // subscribed once initialised
    std::vector<std::string> writes;  // the selectable ports the example's selection writes
    std::string unwritten;            // what a selectable port it does not write gets
  } rows[] = {
      {"RosMurvMsgsSubscriber", "sub", "RosMurvMsgsSubscriber", {"/murv/wave"}, {"MATOUT"},
       "SRCOUT is not supported. STREAM_SELECTION MurvWave writes MATOUT and TIMESTAMP."},
      {"MurvMsgsStreamFromRos", "stream", "MurvMsgsStreamFromRos", {"/murv/src_wave"}, {"SRCOUT", "MAPOUT"},
       "MATOUT is not supported. STREAM_SELECTION MurvSrcWave writes SRCOUT, MAPOUT, TIMESTAMP and NOT_EOF."},
      {"SyncMurvMsgsAndJointState", "sync", "src/SyncMurvMsgsAndJointState", {"/murv/source", "/joint_states"},
       {"SRCOUT"},
       "MATOUT is not supported. STREAM_SELECTION MurvSource writes SRCOUT, POSITION, VELOCITY, TIMESTAMP1, "
       "TIMESTAMP2 and NOT_EOF."},
  };
  subtest::RosNetwork net("murv_ports");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    const std::vector<std::vector<std::string>> refused = {{"MATOUT", "MATOUTT", "EXTRA"},
                                                           {"MATOUT", "SRCOUT", "MAPOUT"}};
    const std::vector<std::string> texts = {"MATOUTT is not supported.", row.unwritten};
    for (std::size_t i = 0; i < refused.size(); ++i) {
      NodePtr bad = exampleNode(row.type, row.instance);
      for (const std::string& name : refused[i]) bad->translateOutput(name);
      const streamtest::HostFailure f = initializeQuietly(bad);
      EXPECT_TRUE(f.isNodeException && f.hasNode) << f.text;
      EXPECT_EQ(f.message, texts[i]);
      EXPECT_EQ(f.file, row.file);
      for (const std::string& topic : row.topics) EXPECT_TRUE(subtest::subscribersOf(topic).empty()) << topic;
    }

    // Its own outputs and the selectable ones its selection writes, each
    // asked for once or twice, are served.
    NodePtr good = exampleNode(row.type, row.instance);
    for (const std::string& name : good->getOutputNames()) good->translateOutput(name);
    for (const std::string& name : row.writes)
      for (int twice = 0; twice < 2; ++twice) good->translateOutput(name);
    const streamtest::HostFailure ok = initializeQuietly(good);
    EXPECT_FALSE(ok.thrown) << ok.text;
    for (const std::string& topic : row.topics)
      EXPECT_EQ(subtest::subscribersOf(topic), std::vector<std::string>{"/murv_ports"}) << topic;
  }
}

TEST(ParameterChoices, ANameOutsideThemIsWarnedOfWithTheChoicesWhenTheNodeIsMade) {
  const std::string audioTypes = "MurvWave, MurvFFT, MurvFeature, MurvSource, MurvSrcWave, MurvSrcFFT, MurvSrcFeature";
  const std::string refused =
      " is not one of " + audioTypes +
      " or MurvSrcFeatureMFM: the node will be refused when the network is initialised\n";
  const struct {
    const char* type;
    const char* instance;
    const char* parameter;
    std::string value;
    std::string warning;  // standard error while the node is made
  } rows[] = {
      {"RosMurvMsgsSubscriber", "sub", "STREAM_SELECTION", "murvwave",
       "sub: warning: STREAM_SELECTION \"murvwave\" is not one of " + audioTypes +
           ", MurvSrcFeatureMFM or MurvSorvex: nothing is subscribed, and only TIMESTAMP is written\n"},
      {"RosMurvMsgsSubscriber", "sub", "STREAM_SELECTION", "MurvSorvex", ""},
      {"MurvMsgsStreamFromRos", "stream", "STREAM_SELECTION", "MurvSorvex",
       "stream: warning: STREAM_SELECTION \"MurvSorvex\"" + refused},
      {"MurvMsgsStreamFromRos", "stream", "STREAM_SELECTION", "MurvWave", ""},
      {"SyncMurvMsgsAndJointState", "sync", "STREAM_SELECTION", "", "sync: warning: STREAM_SELECTION \"\"" + refused},
      // One line, escaped and cut on a character.
      {"SyncMurvMsgsAndJointState", "sync", "STREAM_SELECTION", "Murv\tWave\x1b[2J" + std::string(300, 'x'),
       "sync: warning: STREAM_SELECTION \"Murv\\tWave\\x1b[2J" + std::string(183, 'x') + "...\"" + refused},
      {"RosMurvMsgsPublisher", "pub", "TIMESTAMP_TYPE", "ros_time_now",
       "pub: warning: TIMESTAMP_TYPE \"ros_time_now\" is not one of ROS_TIME_NOW or CONSTANT_INCREMENT: the stamps "
       "are 0 while TIMESTAMP is not connected\n"},
      {"RosMurvMsgsPublisher", "pub", "TIMESTAMP_TYPE", "ROS_TIME_NOW", ""},
  };
  for (const auto& row : rows) {
    testing::internal::CaptureStderr();
    NodePtr n = exampleNode(row.type, row.instance, {{row.parameter, row.value}});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), row.warning) << row.type << " " << row.value;
  }

  // The instance name that begins the line is shown the same way.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  NodePtr n = subtest::createNode("RosMurvMsgsPublisher", "pub\x1b]0;x\a\n" + std::string(300, 'p'),
                                  exampleParams("RosMurvMsgsPublisher", "pub", {{"TIMESTAMP_TYPE", "x"}}));
  const std::string warning = testing::internal::GetCapturedStderr();
  const std::string start = "pub\\x1b]0;x\\x07\\n" + std::string(183, 'p') + "...: warning: TIMESTAMP_TYPE \"x\" ";
  EXPECT_EQ(warning.rfind(start, 0), 0u) << warning;
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find('\x1b'), std::string::npos);
}

}  // namespace
