// The two reconfiguration nodes through a real master, with ROS's own tools
// (dynparam, rosparam, rostopic, rosservice) as the outside clients.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "MsgFifo.h"
#include "ParamsTestSupport.h"
#include "RosTestSupport.h"

using namespace paramtest;
using murvtest::runCommand;
using subtest::hostError;
using subtest::LogCapture;
using subtest::RosNetwork;

namespace {

// Runs a ROS tool that must succeed; its output.
std::string tool(const std::string& command) {
  murvtest::CommandResult r = runCommand(command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
  return r.output;
}

std::string set(const std::string& node, const std::string& yaml) {
  return tool(dynparam + "set " + node + " '" + yaml + "'");
}

// A row of a parameter table as rostopic prints its values.
struct Row {
  std::string name, type, description, dflt, min, max, editMethod;
};

// rostopic's text of a double-quoted string folded over lines, unfolded.
std::string unfolded(const std::string& text) {
  return std::regex_replace(std::regex_replace(text, std::regex("\\\\\n *"), ""), std::regex("\\\\ "), " ");
}

// The ConfigDescription a server of rows publishes, as rostopic echo prints it.
std::string descriptionText(const std::vector<Row>& rows) {
  std::string t = "groups: \n  - \n    name: \"Default\"\n    type: ''\n    parameters: \n";
  for (const Row& r : rows)
    t += "      - \n        name: \"" + r.name + "\"\n        type: \"" + r.type + "\"\n        level: 0\n" +
         "        description: \"" + r.description + "\"\n        edit_method: " +
         (r.editMethod.empty() ? "''" : "\"" + r.editMethod + "\"") + "\n";
  t += "    parent: 0\n    id: 0\n";
  for (const char* which : {"max", "min", "dflt"}) {
    t += std::string(which) + ": \n";
    for (const char* list : {"bool", "int", "str", "double"}) {
      std::string items;
      for (const Row& r : rows)
        if (r.type == list)
          items += "    - \n      name: \"" + r.name + "\"\n      value: " +
                   (which == std::string("max") ? r.max : which == std::string("min") ? r.min : r.dflt) + "\n";
      t += "  " + std::string(list) + "s: " + (items.empty() ? "[]\n" : "\n" + items);
    }
    t += "  groups: \n    - \n      name: \"Default\"\n      state: True\n      id: 0\n      parent: 0\n";
  }
  return t + "---\n";
}

// The compare mode's enum, naming the definition file the build ran.
std::string compareModeEnum(const std::string& path) {
  return "{'enum_description': 'An enum to set the compare mode.', 'enum': [{'srcline': 10, 'description': 'DEG', "
         "'srcfile': '" +
         path +
         "', 'cconsttype': 'const int', 'value': 0, 'ctype': 'int', 'type': 'int', 'name': 'DEG'}, {'srcline': 11, "
         "'description': 'TFINDEX', 'srcfile': '" +
         path + "', 'cconsttype': 'const int', 'value': 1, 'ctype': 'int', 'type': 'int', 'name': 'TFINDEX'}]}";
}

// The log records of a callback's receipt line at file:line.
int receipts(const LogCapture& log, const std::string& file, int line, const std::string& text) {
  int n = 0;
  for (const LogCapture::Record& r : log.records())
    if (r.level == ros::console::levels::Info && r.file == file && r.line == line &&
        r.text.find(text) != std::string::npos)
      ++n;
  return n;
}

}  // namespace

TEST(ReconfDescription, RosClientsSeeTheParameterTablesOfBothConfigClasses) {
  RosNetwork net("murv_reconf_descr");
  testing::internal::CaptureStdout();
  const std::string path = std::string(MURV_BINARY_DIR) + "/cfg/DynReconfMurvParams.cfg";
  const std::vector<Row> params = {
      {"MurvParamsDynReconfEnable", "bool", "Enable dynamic reconf mode", "False", "False", "True", ""},
      {"DiradureZIDID_num_source", "int", "DiradureZIDID : NUM_SOURCE", "2", "1", "7", ""},
      {"DiradureZIDID_min_deg", "int", "DiradureZIDID : MIN_DEG", "-180", "-180", "180", ""},
      {"DiradureZIDID_max_deg", "int", "DiradureZIDID : MAX_DEG", "180", "-180", "180", ""},
      {"DiradureZIDID_lower_bound_frequency", "int", "DiradureZIDID : LOWER_BOUND_FREQUENCY", "500", "0", "8000", ""},
      {"DiradureZIDID_upper_bound_frequency", "int", "DiradureZIDID : UPPER_BOUND_FREQUENCY", "2800", "0", "8000", ""},
      {"SourceTracker_thresh", "double", "SourceTracker : THRESH", "23.0", "0.0", "100.0", ""},
      {"SourceTracker_pause_length", "double", "SourceTracker : PAUSE_LENGTH", "800.0", "0.0", "5000.0", ""},
      {"SourceTracker_min_src_interval", "double", "SourceTracker : MIN_SRC_INTERVAL", "20.0", "0.0", "180.0", ""},
      {"SourceTracker_min_tfindex_interval", "double", "SourceTracker : MIN_TFINDEX_INTERVAL", "6.0", "0.0", "36.0",
       ""},
      {"SourceTracker_compare_mode", "int", "SourceTracker : COMPARE_MODE", "0", "0", "1", compareModeEnum(path)},
      {"DODA_lx", "double", "DODA : LX", "0.85", "0.0", "1.0", ""},
      {"DODA_time_constant", "double", "DODA : TIME_CONSTANT", "16000.0", "160.0", "960000.0", ""}};
  EXPECT_EQ(compareModeEnum(path).size(), 352 + 2 * path.size());
  {
    NodePtr node = createNode("RosMurvParamsDynReconf", "params", paramsReconfParams(0.0f, false));
    node->initialize();
    EXPECT_EQ(unfolded(tool(rostopic + "echo -n 1 /murv_reconf_descr/parameter_descriptions")), descriptionText(params));
    // The starting config, mirrored on the parameter server and reported by
    // dynparam, is the default column.
    const std::string mirrored = tool(rosparam + "get /murv_reconf_descr");
    const std::string current = tool(dynparam + "get /murv_reconf_descr");
    for (const Row& r : params) {
      const std::string onServer = r.type == "bool" ? (r.dflt == "True" ? "true" : "false") : r.dflt;
      EXPECT_NE(mirrored.find(r.name + ": " + onServer + "\n"), std::string::npos) << r.name << "\n" << mirrored;
      EXPECT_NE(current.find("'" + r.name + "': " + r.dflt + ","), std::string::npos) << r.name << "\n" << current;
    }
  }
  // The namespace is free again once the node has gone.
  NodePtr node = createNode("RosMurvIntDynReconf", "int", intReconfParams(0.0f));
  node->initialize();
  EXPECT_EQ(unfolded(tool(rostopic + "echo -n 1 /murv_reconf_descr/parameter_descriptions")),
            descriptionText({{"number", "int", "Integer for testing dynamic reconfigure in MURV system", "1", "0", "99",
                              ""}}));
  node.reset();
  EXPECT_EQ(endCapture().find("constructor end"), std::string::npos);
}

TEST(RosMurvParamsDynReconf, ChangesFromDynparamReachTheNetworkClampedOncePerAcceptedChange) {
  RosNetwork net("murv_reconf_params");
  const std::string ns = "/murv_reconf_params";
  // Values already on the parameter server make the starting config, clamped.
  tool(rosparam + "set " + ns + " '{MurvParamsDynReconfEnable: true, DiradureZIDID_num_source: 9, DODA_lx: 0.25}'");
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvParamsDynReconf", "params", paramsReconfParams(0.2f, true));
  const auto started = std::chrono::steady_clock::now();
  node->initialize();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200))
      << "the callback ran once, with its pause, inside initialize()";
  EXPECT_EQ(receipts(log, "src/RosMurvParamsDynReconf", 75, "Received [thread=" + murvmsg::threadIdText() + "]"), 1);

  const std::string defaults = "SourceTracker 23 800 20 6 0";
  EXPECT_EQ(delivered(*node, 0), "DiradureZIDID 7 -180 180 500 2800 | " + defaults + " | DODA 0.25 16000");
  EXPECT_EQ(delivered(*node, 1), "- | - | -");

  // Out of range, each limit for its own parameter only; whichever output
  // the host asks for first, the iteration fills all three.
  set(ns,
      "{DiradureZIDID_num_source: 0, DiradureZIDID_min_deg: 90, DiradureZIDID_max_deg: -90, "
      "DiradureZIDID_lower_bound_frequency: 9000, SourceTracker_thresh: -1.0, SourceTracker_compare_mode: 2, "
      "DODA_lx: 1.5, DODA_time_constant: 960000.0}");
  EXPECT_EQ(delivered(*node, 2, "DODA"),
            "DiradureZIDID 1 90 -90 8000 2800 | SourceTracker 0 800 20 6 1 | DODA 1 960000");
  EXPECT_EQ(delivered(*node, 3), "- | - | -") << "a change is handed on once";

  // Of two changes before an iteration only the second is handed on.
  set(ns, "{SourceTracker_compare_mode: -1, SourceTracker_thresh: 50.0}");
  set(ns, "{SourceTracker_pause_length: 100.0, DODA_lx: 0.85}");
  EXPECT_EQ(delivered(*node, 4, "SourceTracker"),
            "DiradureZIDID 1 90 -90 8000 2800 | SourceTracker 50 100 20 6 0 | DODA " + exact(0.85f) + " 960000");
  // A change with the flag cleared withdraws the one still pending, and
  // nothing is handed on while it stays cleared.
  set(ns, "{DODA_time_constant: 100.0}");
  set(ns, "{MurvParamsDynReconfEnable: false}");
  EXPECT_EQ(delivered(*node, 5), "- | - | -");
  set(ns, "{DODA_lx: 0.5}");
  EXPECT_EQ(delivered(*node, 6), "- | - | -");
  const std::string mirrored = tool(rosparam + "get " + ns);
  EXPECT_NE(mirrored.find("DODA_time_constant: 160.0\n"), std::string::npos) << mirrored;
  EXPECT_NE(mirrored.find("DiradureZIDID_lower_bound_frequency: 8000\n"), std::string::npos) << mirrored;

  // A second reconfiguration node of either type is refused and says why;
  // the first keeps serving.
  for (const char* type : {"RosMurvIntDynReconf", "RosMurvParamsDynReconf"}) {
    NodePtr second = createNode(type, "second", paramsReconfParams(0.0f, false));
    const std::string error = hostError([&] { second->initialize(); });
    EXPECT_NE(error.find("the reconfiguration node params already serves the private namespace"), std::string::npos)
        << error;
    EXPECT_NE(error.find("set_parameters"), std::string::npos) << error;
  }
  set(ns, "{MurvParamsDynReconfEnable: true, DiradureZIDID_upper_bound_frequency: 100}");
  EXPECT_EQ(delivered(*node, 7),
            "DiradureZIDID 1 90 -90 8000 100 | SourceTracker 50 100 20 6 0 | DODA 0.5 160");
  EXPECT_EQ(tool(rosparam + "get " + ns).find("number"), std::string::npos) << "the refused node wrote nothing";

  // Every callback logged its receipt; those of set requests on the spinner.
  EXPECT_EQ(receipts(log, "src/RosMurvParamsDynReconf", 75, "Received [thread="), 8);
  node.reset();
  EXPECT_EQ(tool(rosservice + "list").find(ns + "/set_parameters"), std::string::npos) << "served until destroyed";

  std::string expected = "params initialized...\n";
  for (int c = 0; c <= 7; ++c) expected += "params Subscribed [" + std::to_string(c) + "]\n";
  EXPECT_EQ(linesOf(endCapture(), "params"), expected);
}

TEST(RosMurvIntDynReconf, TheServedIntegerIsOutputAtEveryIterationClampedToItsLimits) {
  RosNetwork net("murv_reconf_int");
  const std::string ns = "/murv_reconf_int";
  tool(rosparam + "set " + ns + "/number 42");
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvIntDynReconf", "int", intReconfParams(0.0f));
  node->initialize();
  const int out = node->getOutputID("OUTPUT1");
  auto value = [&](int count) { return MURV::dereference_cast<int>(node->getOutput(out, count)); };
  EXPECT_EQ(value(0), 42);
  EXPECT_EQ(value(1), 42) << "the value stays until the next change";
  set(ns, "{number: 150}");
  EXPECT_EQ(value(2), 99);
  set(ns, "{number: -5}");
  EXPECT_EQ(value(3), 0);
  EXPECT_EQ(tool(rosparam + "get " + ns + "/number"), "0\n");

  // A request naming a parameter the class does not have: the config
  // class's Error report, and the request applied as read.
  tool(rosservice + "call " + ns + "/set_parameters \"config: {ints: [{name: number, value: 7}, {name: nosuch, value: 1}]}\"");
  EXPECT_EQ(value(4), 7);
  const std::vector<LogCapture::Record> records = log.records();
  std::string errors;
  for (const LogCapture::Record& r : records)
    if (r.level == ros::console::levels::Error) errors += r.text + "\n";
  EXPECT_EQ(errors,
            "DynReconfMurvIntConfig::__fromMessage__ called with an unexpected parameter.\nBooleans:\nIntegers:\n"
            "  number\n  nosuch\nDoubles:\nStrings:\n");

  EXPECT_EQ(receipts(log, "src/RosMurvIntDynReconf", 64, "Received [42] [thread=" + murvmsg::threadIdText() + "]"), 1);
  EXPECT_EQ(receipts(log, "src/RosMurvIntDynReconf", 64, "Received [99] [thread="), 1);
  EXPECT_EQ(receipts(log, "src/RosMurvIntDynReconf", 64, "Received [0] [thread="), 1);
  node.reset();
  EXPECT_EQ(linesOf(endCapture(), "int"),
            "int initialized...\nint Subscribed [42]\nint Subscribed [42]\nint Subscribed [99]\nint Subscribed [0]\n"
            "int Subscribed [7]\n");
}
