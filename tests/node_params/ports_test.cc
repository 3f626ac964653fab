// The ports a node declares only when the network asks for them, and the
// warning a node gives for a parameter that names none of its choices. Each
// node is made through the registry with the parameters of its network in
// the node reference (examples/nodes), one of them changed where a row says.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "IfRosStdMsgsPublisher.h"
#include "MurvMsgsStreamFromRos.h"
#include "RosMurvMsgsPublisher.h"
#include "RosMurvMsgsSubscriber.h"
#include "RosStdMsgsPublisher.h"
#include "StreamTestSupport.h"
#include "SyncMurvMsgsAndJointState.h"

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

struct OnRequest {
  const char* type;
  const char* instance;
  bool inputs;
  std::vector<std::string> (*names)();
  // The id a name the node does not know gets, or -1 when it is refused.
  int unknownID;
};

void PrintTo(const OnRequest& row, std::ostream* out) { *out << row.type; }

const OnRequest onRequest[] = {
    {"RosMurvMsgsPublisher", "pub", true, &RosMurvMsgsPublisher::inputsOnRequest, -1},
    {"RosStdMsgsPublisher", "pub", true, &RosStdMsgsPublisher::inputsOnRequest, -1},
    // Any other input name stands for COND, declared when the node is made.
    {"IfRosStdMsgsPublisher", "pub", true, &IfRosStdMsgsPublisher::inputsOnRequest, 0},
    {"RosMurvMsgsSubscriber", "sub", false, &RosMurvMsgsSubscriber::outputsOnRequest, -1},
    {"MurvMsgsStreamFromRos", "stream", false, &MurvMsgsStreamFromRos::outputsOnRequest, -1},
    {"SyncMurvMsgsAndJointState", "sync", false, &SyncMurvMsgsAndJointState::outputsOnRequest, -1},
};

class PortsOnRequest : public ::testing::TestWithParam<OnRequest> {};

TEST_P(PortsOnRequest, AreTheNamesTheNodeAccepts) {
  const OnRequest& row = GetParam();
  NodePtr n = exampleNode(row.type, row.instance);
  const std::vector<std::string> names = row.names();
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    if (row.inputs) {
      const int id = n->translateInput(name);
      ASSERT_GE(id, 0) << name;
      EXPECT_EQ(n->getInputs()[static_cast<size_t>(id)].name, name);
    } else {
      const int id = n->translateOutput(name);
      ASSERT_GE(id, 0) << name;
      EXPECT_EQ(n->getOutputNames()[static_cast<size_t>(id)], name);
    }
  }
  // Outputs besides the listed ones are refused when the node is
  // initialised (SelectablePorts below).
  if (!row.inputs) return;
  if (row.unknownID >= 0) {
    EXPECT_EQ(n->translateInput("INPT"), row.unknownID);
    return;
  }
  const streamtest::HostFailure f = streamtest::hostFailure([&] { n->translateInput("INPT"); });
  EXPECT_EQ(f.message, "INPT is not supported.");
  EXPECT_TRUE(f.hasNode);
}

INSTANTIATE_TEST_SUITE_P(Nodes, PortsOnRequest, ::testing::ValuesIn(onRequest),
                         [](const ::testing::TestParamInfo<OnRequest>& info) { return std::string(info.param.type); });

struct Selectable {
  const char* type;
  const char* instance;
  const char* file;
  std::vector<std::string> topics;  // subscribed once initialised
};

void PrintTo(const Selectable& row, std::ostream* out) { *out << row.type; }

const Selectable selectable[] = {
    {"RosMurvMsgsSubscriber", "sub", "RosMurvMsgsSubscriber", {"/murv/wave"}},
    {"MurvMsgsStreamFromRos", "stream", "MurvMsgsStreamFromRos", {"/murv/src_wave"}},
    {"SyncMurvMsgsAndJointState", "sync", "src/SyncMurvMsgsAndJointState", {"/murv/source", "/joint_states"}},
};

class SelectablePorts : public ::testing::TestWithParam<Selectable> {};

// The network is made and initialised in order: every output is asked for
// before initialize().
TEST_P(SelectablePorts, AnOutputTheNodeNeverWritesIsRefusedWhenInitialised) {
  const Selectable& row = GetParam();
  subtest::RosNetwork net(std::string("murv_ports_") + row.instance);

  NodePtr bad = exampleNode(row.type, row.instance);
  bad->translateOutput("MATOUT");
  bad->translateOutput("MATOUTT");
  bad->translateOutput("EXTRA");
  testing::internal::CaptureStdout();
  const streamtest::HostFailure f = streamtest::hostFailure([&] { bad->initialize(); });
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(f.isNodeException && f.hasNode) << f.text;
  EXPECT_EQ(f.message, "MATOUTT is not supported.");
  EXPECT_EQ(f.file, row.file);
  for (const std::string& topic : row.topics) EXPECT_TRUE(subtest::subscribersOf(topic).empty()) << topic;

  // Its own outputs and the three selectable ones, each asked for once or
  // twice, are served (those its selection leaves empty fail later, on
  // every iteration).
  NodePtr good = exampleNode(row.type, row.instance);
  for (const std::string& name : good->getOutputNames()) good->translateOutput(name);
  for (const std::string& name : murvmsg::SelectablePorts::names()) {
    good->translateOutput(name);
    good->translateOutput(name);
  }
  testing::internal::CaptureStdout();
  const streamtest::HostFailure ok = streamtest::hostFailure([&] { good->initialize(); });
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok.thrown) << ok.text;
  for (const std::string& topic : row.topics)
    EXPECT_EQ(subtest::subscribersOf(topic), std::vector<std::string>{"/murv_ports_" + std::string(row.instance)});
}

INSTANTIATE_TEST_SUITE_P(Nodes, SelectablePorts, ::testing::ValuesIn(selectable),
                         [](const ::testing::TestParamInfo<Selectable>& info) { return std::string(info.param.type); });

struct Choice {
  const char* name;
  const char* type;
  const char* instance;
  const char* parameter;
  std::string value;
  std::string warning;  // standard error while the node is made
};

void PrintTo(const Choice& row, std::ostream* out) { *out << row.name; }

const std::string audioTypes =
    "MurvWave, MurvFFT, MurvFeature, MurvSource, MurvSrcWave, MurvSrcFFT, MurvSrcFeature";

const Choice choices[] = {
    {"SubscriberCase", "RosMurvMsgsSubscriber", "sub", "STREAM_SELECTION", "murvwave",
     "sub: warning: STREAM_SELECTION \"murvwave\" is not one of " + audioTypes +
         ", MurvSrcFeatureMFM or MurvSorvex: nothing is subscribed, and only TIMESTAMP is written\n"},
    {"SubscriberRecognition", "RosMurvMsgsSubscriber", "sub", "STREAM_SELECTION", "MurvSorvex", ""},
    {"StreamRecognition", "MurvMsgsStreamFromRos", "stream", "STREAM_SELECTION", "MurvSorvex",
     "stream: warning: STREAM_SELECTION \"MurvSorvex\" is not one of " + audioTypes +
         " or MurvSrcFeatureMFM: the node will be refused when the network is initialised\n"},
    {"StreamType", "MurvMsgsStreamFromRos", "stream", "STREAM_SELECTION", "MurvWave", ""},
    {"SyncEmpty", "SyncMurvMsgsAndJointState", "sync", "STREAM_SELECTION", "",
     "sync: warning: STREAM_SELECTION \"\" is not one of " + audioTypes +
         " or MurvSrcFeatureMFM: the node will be refused when the network is initialised\n"},
    {"SyncControlCharacters", "SyncMurvMsgsAndJointState", "sync", "STREAM_SELECTION", "Murv\tWave" + std::string(300, 'x'),
     "sync: warning: STREAM_SELECTION \"Murv?Wave" + std::string(191, 'x') + "...\" is not one of " + audioTypes +
         " or MurvSrcFeatureMFM: the node will be refused when the network is initialised\n"},
    {"PublisherCase", "RosMurvMsgsPublisher", "pub", "TIMESTAMP_TYPE", "ros_time_now",
     "pub: warning: TIMESTAMP_TYPE \"ros_time_now\" is not one of ROS_TIME_NOW or CONSTANT_INCREMENT: the stamps are "
     "0 while TIMESTAMP is not connected\n"},
    {"PublisherNow", "RosMurvMsgsPublisher", "pub", "TIMESTAMP_TYPE", "ROS_TIME_NOW", ""},
};

class ParameterChoices : public ::testing::TestWithParam<Choice> {};

TEST_P(ParameterChoices, ANameOutsideThemIsWarnedOfWithTheChoicesWhenTheNodeIsMade) {
  const Choice& row = GetParam();
  testing::internal::CaptureStderr();
  NodePtr n = exampleNode(row.type, row.instance, {{row.parameter, row.value}});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), row.warning);
}

INSTANTIATE_TEST_SUITE_P(Nodes, ParameterChoices, ::testing::ValuesIn(choices),
                         [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

}  // namespace
