// Parameters a node cannot run with end the run when the network is made or
// initialised, naming the node and the parameter. Each row takes a network
// of the node reference (examples/nodes), replaces some of its lines, and
// runs it with the network runner against a private rosmaster, through a
// proxy that tells what the master heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ExampleNetworks.h"
#include "MasterProxy.h"
#include "RosMaster.h"

namespace {

struct Row {
  const char* name;
  const char* example;
  // Each line of the example that starts with first, as whole words,
  // becomes second.
  std::vector<std::pair<std::string, std::string>> lines;
  int status;
  // A refusal is the runner's line "murv-run: FILE:LINE: [param P of] node NAME (TYPE):
  // WHERE: Node NAME: TEXT"; a run that goes ahead prints the line text.
  std::string node, text;
  // The first words of the statement the refusal is reported at, where a
  // row says.
  std::string at = "";
  // Registrations of the network's ROS node ("registerSubscriber /murv/x")
  // that must never reach the master: it then holds nothing of the node
  // for those topics once the run has ended.
  std::vector<std::string> unheard = {};
  // Whether roscpp logs an error of its own before the refusal.
  bool rosErrors = false;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

Row emptyTopic(const char* name, const char* example, const std::string& node, const std::string& type,
               const std::string& parameter) {
  const std::string line = "param " + node + " " + parameter;
  return {name, example, {{line, line + " string"}}, 2, node + " (" + type + ")", parameter + " must not be empty", line};
}

murvtest::LineChange subParam(const std::string& name, const std::string& kindAndValue) {
  return murvtest::paramChange("sub", name + " " + kindAndValue);
}

// A value node's parameter does not take, refused at its param line with
// "PARAMETER VALUE is not supported: it takes TAKES."
Row refusedValue(const char* name, const char* example, const std::string& node, const std::string& type,
                 const std::string& parameter, const std::string& value, const std::string& takes,
                 std::vector<murvtest::LineChange> more = {}) {
  more.push_back(murvtest::paramChange(node, parameter + " string " + value));
  return {name,
          example,
          more,
          2,
          node + " (" + type + ")",
          parameter + " " + value + " is not supported: it takes " + takes + ".",
          "param " + node + " " + parameter};
}

// Declares a RosMurvIntPublisher pub of topic before the line that starts
// with (and is) declaration.
murvtest::LineChange intPublisherBefore(const std::string& declaration, const std::string& topic) {
  return {declaration, "node pub RosMurvIntPublisher\nparam pub TOPIC_NAME string " + topic +
                           "\nparam pub BUFFER_NUM int 10\nparam pub PARAM int 100\n\n" + declaration};
}

// Declares a RosMurvIntSubscriber sub of topic before the line that starts
// with (and is) declaration.
murvtest::LineChange intSubscriberBefore(const std::string& declaration, const std::string& topic) {
  return {declaration, "node sub RosMurvIntSubscriber\nparam sub TOPIC_NAME string " + topic +
                           "\nparam sub BUFFER_NUM int 10\nparam sub ROS_DURATION float 0\n\n" + declaration};
}

const std::string stdTypes =
    "Bool, String, Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64, Float32 or Float64, or a number type "
    "followed by MultiArray (as in Float32MultiArray)";
const std::string audioTypes =
    "MurvWave, MurvFFT, MurvFeature, MurvSource, MurvSrcWave, MurvSrcFFT, MurvSrcFeature or MurvSrcFeatureMFM";

// A connected output that the node's STREAM_SELECTION never writes, refused
// at the statement that asked for it.
Row unwritten(const char* name, const char* example, const std::string& node, const std::string& type,
              const std::string& selection, const std::string& output, const std::string& writes) {
  return {name,
          example,
          {murvtest::paramChange(node, "STREAM_SELECTION string " + selection)},
          2,
          node + " (" + type + ")",
          output + " is not supported. STREAM_SELECTION " + selection + " writes " + writes + ".",
          "output " + node + " " + output};
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
     "sub (RosMurvIntSubscriber)", "ROS_DURATION must be a finite, non-negative number of seconds below 2^31 (got -2.5e-07)",
     "param sub ROS_DURATION"},
    {"ZeroRate", "RosMurvMsgsSubscriber", {subParam("ROS_LOOP_RATE", "float 0")}, 2, "sub (RosMurvMsgsSubscriber)",
     "ROS_LOOP_RATE must be a positive, finite rate of at least one iteration in 2147483647 seconds (got 0)",
     "param sub ROS_LOOP_RATE"},
    {"NoRosName", "RosMurvIntSubscriber", {subParam("TOPIC_NAME", "string murv int")}, 2, "sub (RosMurvIntSubscriber)",
     "TOPIC_NAME \"murv int\" is not a ROS name: one starts with a letter, / or ~ and goes on with letters, digits, _ and /",
     "param sub TOPIC_NAME"},
    {"RootTopic", "RosMurvIntSubscriber", {subParam("TOPIC_NAME", "string /")}, 2, "sub (RosMurvIntSubscriber)",
     "TOPIC_NAME / is the root namespace, not a topic or service name", "param sub TOPIC_NAME"},
    {"RootService", "RosAddMurvIntServer", {murvtest::paramChange("srv", "TOPIC_NAME string //")}, 2,
     "srv (RosAddMurvIntServer)", "TOPIC_NAME // is the root namespace, not a topic or service name",
     "param srv TOPIC_NAME"},
    // What roscpp refuses in a process that has the name in use already.
    {"ServedTwice", "RosAddMurvIntClient",
     {{"node cli", "node cli RosAddMurvIntServer"}, murvtest::paramChange("cli", "TOPIC_NAME string murv/add_ints"),
      {"param cli PARAM", "param cli ROS_DURATION float 0"}},
     2, "cli (RosAddMurvIntServer)",
     "TOPIC_NAME murv/add_ints (/murv/add_ints) is already served in this process (by another node, or by the host): a "
     "process offers a service once",
     "param cli TOPIC_NAME", {}, true},
    {"AdvertisedAsAnotherType", "RosMurvIntPublisher", {murvtest::paramChange("pace", "TOPIC_NAME string /murv/int")},
     2, "pace (RosStdMsgsPublisher)",
     "TOPIC_NAME /murv/int is already advertised in this process with another message type", "param pace TOPIC_NAME"},
    {"SubscribedAsAnotherType", "SyncMurvMsgsAndJointState",
     {murvtest::paramChange("sync", "TOPIC_NAME string /murv/source")}, 2, "sync (SyncMurvMsgsAndJointState)",
     "TOPIC_NAME /murv/source is already subscribed in this process with another message type",
     "param sync TOPIC_NAME"},
    // Whichever of a publisher and a subscriber of other types comes first,
    // the later is refused: roscpp would connect neither to the other. Of
    // the same type, they share the topic.
    {"SubscribedBeforeAnotherType", "RosMurvIntSubscriber",
     {murvtest::paramChange("pace", "TOPIC_NAME string murv/int")}, 2, "pace (RosStdMsgsPublisher)",
     "TOPIC_NAME murv/int (/murv/int) is already subscribed in this process with another message type",
     "param pace TOPIC_NAME", {"registerPublisher /murv/int"}},
    {"SubscribedBeforeTheSameType", "RosMurvIntSubscriber",
     {intPublisherBefore("output sub OUTPUT1", "murv/int"), {"iterations", "iterations 2"}}, 0, "",
     "[1] sub.OUTPUT1 = <Int 0 >"},
    {"StdSubscribedBeforeAnotherType", "RosStdMsgsSubscriber", {intPublisherBefore("output sub OUTPUT", "/murv/level")},
     2, "pub (RosMurvIntPublisher)",
     "TOPIC_NAME /murv/level is already subscribed in this process with another message type", "param pub TOPIC_NAME",
     {"registerPublisher /murv/level"}},
    {"AdvertisedBeforeAnotherType", "RosStdMsgsSubscriber",
     {intPublisherBefore("node sub RosStdMsgsSubscriber", "/murv/level")}, 2, "sub (RosStdMsgsSubscriber)",
     "TOPIC_NAME /murv/level is already advertised in this process with another message type",
     "param sub TOPIC_NAME", {"registerSubscriber /murv/level"}},
    {"StdStreamAdvertisedBeforeAnotherType", "StdMsgsStreamFromRos",
     {intPublisherBefore("node stream StdMsgsStreamFromRos", "/murv/level")}, 2, "stream (StdMsgsStreamFromRos)",
     "TOPIC_NAME /murv/level is already advertised in this process with another message type",
     "param stream TOPIC_NAME", {"registerSubscriber /murv/level"}},
    {"MsgsStreamAdvertisedBeforeAnotherType", "MurvMsgsStreamFromRos",
     {intPublisherBefore("node stream MurvMsgsStreamFromRos", "/murv/src_wave")}, 2, "stream (MurvMsgsStreamFromRos)",
     "TOPIC_NAME_MURVSRCWAVE /murv/src_wave is already advertised in this process with another message type",
     "param stream TOPIC_NAME_MURVSRCWAVE", {"registerSubscriber /murv/src_wave"}},
    // A reconfiguration node's topics are held as any other.
    {"ReconfiguredBeforeAnotherType", "RosMurvIntDynReconf",
     {murvtest::paramChange("pub", "TOPIC_NAME string murv_number/parameter_updates")}, 2, "pub (RosStdMsgsPublisher)",
     "TOPIC_NAME murv_number/parameter_updates (/murv_number/parameter_updates) is already advertised in this process "
     "with another message type",
     "param pub TOPIC_NAME"},
    {"SubscribedBeforeReconfiguration", "RosMurvIntDynReconf",
     {intSubscriberBefore("node dyn RosMurvIntDynReconf", "/murv_number/parameter_updates")}, 2,
     "dyn (RosMurvIntDynReconf)",
     "the reconfiguration topic ~parameter_updates (/murv_number/parameter_updates) is already subscribed in this "
     "process with another message type",
     "node dyn",
     {"registerPublisher /murv_number/parameter_updates", "registerPublisher /murv_number/parameter_descriptions"}},
    refusedValue("StdPublisherType", "RosStdMsgsPublisher", "pub", "RosStdMsgsPublisher", "ROS_MESSAGE_TYPE",
                 "float32multiarray", stdTypes),
    refusedValue("StdSubscriberType", "RosStdMsgsSubscriber", "sub", "RosStdMsgsSubscriber", "ROS_MESSAGE_TYPE",
                 "Float", stdTypes),
    refusedValue("StdStreamFormat", "StdMsgsStreamFromRos", "stream", "StdMsgsStreamFromRos", "OUT_ARRAY_FORMAT",
                 "Vector", "Vector<>, Vector<complex<>>, Matrix<> or Matrix<complex<>>",
                 {murvtest::paramChange("stream", "ROS_MESSAGE_TYPE string Int8MultiArray")}),
    // The selection, not the output of the same name, is at fault.
    refusedValue("SelectionNamedAsAnOutput", "MurvMsgsStreamFromRos", "stream", "MurvMsgsStreamFromRos",
                 "STREAM_SELECTION", "TIMESTAMP", audioTypes),
    refusedValue("SyncSelection", "SyncMurvMsgsAndJointState", "sync", "SyncMurvMsgsAndJointState",
                 "STREAM_SELECTION", "MurvSorvex", audioTypes),
    unwritten("SubscriberUnwritten", "RosMurvMsgsSubscriber", "sub", "RosMurvMsgsSubscriber", "MurvFeature", "MATOUT",
              "MAPOUT and TIMESTAMP"),
    unwritten("StreamUnwritten", "MurvMsgsStreamFromRos", "stream", "MurvMsgsStreamFromRos", "MurvWave", "SRCOUT",
              "MATOUT, TIMESTAMP and NOT_EOF"),
    unwritten("SyncUnwritten", "SyncMurvMsgsAndJointState", "sync", "SyncMurvMsgsAndJointState", "MurvFeature",
              "SRCOUT", "MAPOUT, POSITION, VELOCITY, TIMESTAMP1, TIMESTAMP2 and NOT_EOF"),
};

// The number of the first line of net that starts with words (as whole words).
int lineOf(const std::string& net, const std::string& words) {
  std::istringstream in(net);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.compare(0, words.size(), words) == 0 && (line.size() == words.size() || line[words.size()] == ' '))
      return n;
  return 0;
}

// The ROS node name the network's RosNodeGenerator gives.
std::string rosNodeOf(const std::string& net) {
  std::istringstream in(net);
  std::string statement, node, name, kind, value;
  while (in >> statement) {
    if (statement == "param" && in >> node >> name >> kind >> value && name == "NODE_NAME") return value;
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return "";
}

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
  // The runner reaches the master through a proxy that tells what it heard.
  murvtest::MasterProxy proxy(master.port());
  const murvtest::CommandResult r =
      murvtest::runCommand("ROS_MASTER_URI=" + proxy.uri() + " " + MURV_RUNNER_PATH + " --toolbox " +
                           MURV_TOOLBOX_PATH + " --toolbox " + MURV_EXAMPLES_PATH + " " + path + " 2>&1");
  EXPECT_EQ(r.status, row.status) << r.output;
  if (!row.unheard.empty()) {
    const std::vector<std::string> heard = proxy.callsNamed();
    const std::string held = master.registrationsOf(rosNodeOf(net));
    for (const std::string& call : row.unheard) {
      EXPECT_EQ(std::count(heard.begin(), heard.end(), call), 0) << call;
      const std::string topic = call.substr(call.find(' ') + 1);
      EXPECT_EQ(held.find(" " + topic + "\n"), std::string::npos) << held;
    }
  }
  if (!row.rosErrors) {
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
  }
  if (row.status == 0) {
    EXPECT_NE(r.output.find(row.text + "\n"), std::string::npos) << r.output;
    return;
  }
  const size_t at = r.output.find("murv-run: " + path + ":");
  ASSERT_NE(at, std::string::npos) << r.output;
  const std::string refusal = r.output.substr(at, r.output.find('\n', at) - at);
  EXPECT_NE(refusal.find(" node " + row.node + ": "), std::string::npos) << refusal;
  // The node's text, whole or as far as the runner keeps it, and maybe
  // followed by the runner's list of ports.
  const size_t text = refusal.find(": " + row.text.substr(0, 40));
  ASSERT_NE(text, std::string::npos) << refusal;
  std::string shown = refusal.substr(text + 2);
  if (shown.size() > 3 && shown.compare(shown.size() - 3, 3, "...") == 0 && shown.size() < row.text.size() + 3)
    EXPECT_EQ(shown.substr(0, shown.size() - 3), row.text.substr(0, shown.size() - 3));
  else
    EXPECT_EQ(shown.substr(0, row.text.size()), row.text);
  if (row.at.empty()) return;
  const std::string where = "murv-run: " + path + ":" + std::to_string(lineOf(net, row.at)) + ": ";
  EXPECT_EQ(refusal.substr(0, where.size()), where) << row.at;
}

INSTANTIATE_TEST_SUITE_P(Examples, NodeParameters, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
