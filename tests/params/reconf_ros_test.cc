// The two reconfiguration nodes through a real master, with ROS's own tools
// (dynparam, rosparam, rostopic, rosservice) as the outside clients.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "ParamsTestSupport.h"

using namespace paramtest;

namespace {

void set(const std::string& ns, const std::string& yaml) { tool("dynparam set " + ns + " '" + yaml + "'"); }

// A row of a parameter table as rostopic prints its values.
struct Row { std::string name, type, description, dflt, min, max, editMethod = ""; };

// The ConfigDescription that a server of rows publishes on
// parameter_descriptions, against rostopic's echo of it (the strings it folds
// over lines, a backslash ending each piece, unfolded).
void expectDescription(const std::string& ns, const std::vector<Row>& rows) {
  std::string t = "groups: \n  - \n    name: \"Default\"\n    type: ''\n    parameters: \n";
  for (const Row& r : rows)
    t += "      - \n        name: \"" + r.name + "\"\n        type: \"" + r.type + "\"\n        level: 0\n" +
         "        description: \"" + r.description + "\"\n        edit_method: " +
         (r.editMethod.empty() ? "''" : "\"" + r.editMethod + "\"") + "\n";
  t += "    parent: 0\n    id: 0\n";
  for (const std::string which : {"max", "min", "dflt"}) {
    t += which + ": \n";
    for (const std::string list : {"bool", "int", "str", "double"}) {
      std::string items;
      for (const Row& r : rows)
        if (r.type == list)
          items += "    - \n      name: \"" + r.name + "\"\n      value: " +
                   (which == "max" ? r.max : which == "min" ? r.min : r.dflt) + "\n";
      t += "  " + list + "s: " + (items.empty() ? "[]\n" : "\n" + items);
    }
    t += "  groups: \n    - \n      name: \"Default\"\n      state: True\n      id: 0\n      parent: 0\n";
  }
  const std::string echo = tool("rostopic echo -n 1 " + ns + "/parameter_descriptions");
  EXPECT_EQ(std::regex_replace(echo, std::regex("\\\\(\n *|(?= ))"), ""), t + "---\n");
}

}  // namespace

TEST(RosMurvParamsDynReconf, ChangesFromDynparamReachTheNetworkClampedOncePerAcceptedChange) {
  RosNetwork net("murv_reconf_params");
  const std::string ns = "/murv_reconf_params", file = "src/RosMurvParamsDynReconf";
  // Values already on the parameter server make the starting config, clamped.
  tool("rosparam set " + ns + " '{MurvParamsDynReconfEnable: true, DiradureZIDID_num_source: 9, DODA_lx: 0.25}'");
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvParamsDynReconf", "params", paramsOf("RosMurvParamsDynReconf", 0.0f, true));
  node->initialize();
  // The starting config went through the callback inside initialize().
  EXPECT_EQ(receipts(log, file, 75, "Received [thread=" + murvmsg::threadIdText() + "]"), 1);

  const std::string cfg = std::string(MURV_BINARY_DIR) + "/cfg/DynReconfMurvParams.cfg";
  expectDescription(ns, {
    {"MurvParamsDynReconfEnable", "bool", "Enable dynamic reconf mode", "False", "False", "True"},
    {"DiradureZIDID_num_source", "int", "DiradureZIDID : NUM_SOURCE", "2", "1", "7"},
    {"DiradureZIDID_min_deg", "int", "DiradureZIDID : MIN_DEG", "-180", "-180", "180"},
    {"DiradureZIDID_max_deg", "int", "DiradureZIDID : MAX_DEG", "180", "-180", "180"},
    {"DiradureZIDID_lower_bound_frequency", "int", "DiradureZIDID : LOWER_BOUND_FREQUENCY", "500", "0", "8000"},
    {"DiradureZIDID_upper_bound_frequency", "int", "DiradureZIDID : UPPER_BOUND_FREQUENCY", "2800", "0", "8000"},
    {"SourceTracker_thresh", "double", "SourceTracker : THRESH", "23.0", "0.0", "100.0"},
    {"SourceTracker_pause_length", "double", "SourceTracker : PAUSE_LENGTH", "800.0", "0.0", "5000.0"},
    {"SourceTracker_min_src_interval", "double", "SourceTracker : MIN_SRC_INTERVAL", "20.0", "0.0", "180.0"},
    {"SourceTracker_min_tfindex_interval", "double", "SourceTracker : MIN_TFINDEX_INTERVAL", "6.0", "0.0", "36.0"},
    {"SourceTracker_compare_mode", "int", "SourceTracker : COMPARE_MODE", "0", "0", "1",
     "{'enum_description': 'An enum to set the compare mode.', 'enum': [{'srcline': 10, 'description': 'DEG', "
     "'srcfile': '" + cfg + "', 'cconsttype': 'const int', 'value': 0, 'ctype': 'int', 'type': 'int', 'name': "
     "'DEG'}, {'srcline': 11, 'description': 'TFINDEX', 'srcfile': '" + cfg + "', 'cconsttype': 'const int', "
     "'value': 1, 'ctype': 'int', 'type': 'int', 'name': 'TFINDEX'}]}"},
    {"DODA_lx", "double", "DODA : LX", "0.85", "0.0", "1.0"},
    {"DODA_time_constant", "double", "DODA : TIME_CONSTANT", "16000.0", "160.0", "960000.0"}});
  // A second reconfiguration node of either type is refused, says why and
  // writes nothing; the first keeps serving.
  for (const char* type : {"RosMurvIntDynReconf", "RosMurvParamsDynReconf"})
    EXPECT_THAT(hostError([&] { createNode(type, "second", paramsOf(type, 0.0f))->initialize(); }),
                testing::HasSubstr("the reconfiguration node params already serves the private namespace of this "
                                   "process's ROS node (/murv_reconf_params); a second reconfiguration node there "
                                   "would share its set_parameters service"));
  EXPECT_EQ(tool("rosparam get " + ns).find("number"), std::string::npos);

  EXPECT_EQ(delivered(*node, 0), "DiradureZIDID 7 -180 180 500 2800 | SourceTracker 23 800 20 6 0 | DODA 0.25 16000");
  EXPECT_EQ(delivered(*node, 1), "- | - | -") << "a change is handed on once";
  // Out of range, each limit for its own parameter only; whichever output
  // the host asks for first, the iteration fills all three.
  set(ns, "{DiradureZIDID_num_source: 0, DiradureZIDID_min_deg: 90, DiradureZIDID_max_deg: -90, "
          "DiradureZIDID_lower_bound_frequency: 9000, SourceTracker_thresh: -1.0, SourceTracker_compare_mode: 2, "
          "DODA_lx: 1.5, DODA_time_constant: 960000.0}");
  EXPECT_EQ(delivered(*node, 2, "DODA"),
            "DiradureZIDID 1 90 -90 8000 2800 | SourceTracker 0 800 20 6 1 | DODA 1 960000");
  // Of two changes before an iteration only the second is handed on.
  set(ns, "{SourceTracker_compare_mode: -1, SourceTracker_thresh: 50.0}");
  set(ns, "{SourceTracker_pause_length: 100.0, DODA_lx: 0.85}");
  EXPECT_EQ(delivered(*node, 3, "SourceTracker"),
            "DiradureZIDID 1 90 -90 8000 2800 | SourceTracker 50 100 20 6 0 | DODA 0.850000024 960000");
  // A change with the flag cleared withdraws the one still pending, and
  // nothing is handed on while it stays cleared.
  set(ns, "{DODA_time_constant: 100.0}");
  set(ns, "{MurvParamsDynReconfEnable: false}");
  EXPECT_EQ(delivered(*node, 4), "- | - | -");
  set(ns, "{DODA_lx: 0.5}");
  EXPECT_EQ(delivered(*node, 5), "- | - | -");
  set(ns, "{MurvParamsDynReconfEnable: true, DiradureZIDID_upper_bound_frequency: 100}");
  EXPECT_EQ(delivered(*node, 6), "DiradureZIDID 1 90 -90 8000 100 | SourceTracker 50 100 20 6 0 | DODA 0.5 160");

  // Every callback logged its receipt, those of set requests on the spinner.
  EXPECT_EQ(receipts(log, file, 75, "Received [thread="), 8);
  node.reset();
  EXPECT_EQ(endCapture("params"), "params initialized...\nparams Subscribed [0]\nparams Subscribed [1]\n"
                                  "params Subscribed [2]\nparams Subscribed [3]\nparams Subscribed [4]\n"
                                  "params Subscribed [5]\nparams Subscribed [6]\n");
}

TEST(RosMurvIntDynReconf, TheServedIntegerIsOutputAtEveryIterationClampedToItsLimits) {
  RosNetwork net("murv_reconf_int");
  const std::string ns = "/murv_reconf_int", file = "src/RosMurvIntDynReconf";
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvIntDynReconf", "int", paramsOf("RosMurvIntDynReconf", 0.0f));
  node->initialize();
  expectDescription(ns, {{"number", "int", "Integer for testing dynamic reconfigure in MURV system", "1", "0", "99"}});
  auto value = [&](int c) { return MURV::dereference_cast<int>(node->getOutput(node->getOutputID("OUTPUT1"), c)); };
  EXPECT_EQ(value(0), 1) << "the default";
  EXPECT_EQ(value(1), 1) << "the value stays until the next change";
  set(ns, "{number: 150}");
  EXPECT_EQ(value(2), 99);
  set(ns, "{number: -5}");
  EXPECT_EQ(value(3), 0);
  // A request naming a parameter the class does not have: the config
  // class's Error report, and the request applied as read.
  tool("rosservice call " + ns +
       "/set_parameters \"config: {ints: [{name: number, value: 7}, {name: nosuch, value: 1}]}\"");
  EXPECT_EQ(value(4), 7);
  EXPECT_EQ(log.count(ros::console::levels::Error, "DynReconfMurvIntConfig::__fromMessage__ called with an "
                                                  "unexpected parameter."), 1);
  EXPECT_EQ(log.count(ros::console::levels::Error, "  nosuch"), 1);
  EXPECT_EQ(receipts(log, file, 64, "Received [1] [thread=" + murvmsg::threadIdText() + "]"), 1);
  for (const char* received : {"Received [99] [thread=", "Received [0] [thread="})
    EXPECT_EQ(receipts(log, file, 64, received), 1) << received;
  node.reset();
  EXPECT_EQ(endCapture("int"), "int initialized...\nint Subscribed [1]\nint Subscribed [1]\nint Subscribed [99]\n"
                               "int Subscribed [0]\nint Subscribed [7]\n");
}

// Set requests whose list counts their bytes cannot hold, or beyond the
// reader's element bound, sent raw to a network of its own whose address
// space is far below what the counts ask (but where a sanitizer's shadow
// needs it): each is refused, no memory is taken, and serving goes on.
TEST(RosMurvParamsDynReconf, SetRequestsWithCountsBeyondTheirBytesAreRefusedAndServingGoesOn) {
  murvtest::RosMaster master;
  master.start();
  // One malloc arena: each further one would reserve 64 MB of the limit.
  std::string limit = "ulimit -v 400000; export MALLOC_ARENA_MAX=1; ";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  limit = "";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  limit = "";
#endif
#endif
  murvtest::BackgroundCommand network(limit + "exec " MURV_RUNNER_PATH " --toolbox " MURV_TOOLBOX_PATH " --toolbox "
                                      MURV_EXAMPLES_PATH " " MURV_SOURCE_DIR "/examples/reconfigure-params.net");
  const std::string service = "/murv_params_demo/set_parameters";
  std::string uri;
  ASSERT_TRUE(waitFor([&] { return !(uri = master.lookupService(service)).empty(); }, std::chrono::seconds(60)))
      << network.output();
  auto peakKb = [&] {
    std::ifstream status("/proc/" + std::to_string(network.pid()) + "/status");
    std::string key;
    while (status >> key && key != "VmHWM:") {}
    long kb = -1;
    status >> kb;
    return kb;
  };
  const long before = peakKb();
  // Config bodies: the counts of bools, ints, strs, doubles and groups.
  auto n = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  const std::string none = n(0), bytes(16, '\0');
  const std::pair<const char*, std::string> requests[] = {
      {"ints 2^24 over 16 bytes", none + n(1u << 24) + bytes.substr(8)},
      {"doubles 2^24 over 32 bytes", none + none + none + n(1u << 24) + bytes},
      {"bools 2^27", n(1u << 27) + bytes},
      {"strs 2^27", none + none + n(1u << 27) + bytes},
      {"groups 2^24", none + none + none + none + n(1u << 24) + bytes},
      {"65537 ints within the bytes", none + n(65537) + std::string(65537 * 8, '\0') + none + none + none}};
  for (const auto& [what, body] : requests) {
    const murvtest::ServiceReply reply = murvtest::rawServiceCall(uri, service, body);
    EXPECT_TRUE(reply.answered && !reply.ok) << what;
    EXPECT_EQ(reply.body, "Buffer Overrun") << what;
  }
  EXPECT_LT(peakKb() - before, 64 * 1024) << "kB of peak memory";
  ASSERT_TRUE(network.running()) << network.output();
  set("/murv_params_demo", "{MurvParamsDynReconfEnable: true, DODA_lx: 0.5}");
  EXPECT_TRUE(waitFor([&] { return network.output().find("] DODA lx 0.5 ") != std::string::npos; }))
      << network.output();
}
