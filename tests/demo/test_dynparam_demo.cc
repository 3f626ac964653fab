// The README's dynparam section: a running network's parameters changed with
// dynparam, as a user would, and what reaches the network.
#include <gtest/gtest.h>

#include <regex>

#include "DemoTestSupport.h"
#include "RosMaster.h"

using murvtest::runCommand;

TEST(DynparamDemo, ChangesReachTheRunningNetworkClampedAndNothingIsLeftRunning) {
  murvtest::CommandResult r = runCommand(
      std::string("bash ") + MURV_SOURCE_DIR + "/scripts/run-dynparam-demo.sh " + MURV_BINARY_DIR,
      std::chrono::seconds(150));
  ASSERT_EQ(r.status, 0) << r.output;
  std::smatch m;

  EXPECT_NE(r.output.find("== dynparam list\n/murv_params_demo\n"), std::string::npos) << r.output;
  // Each change: the three parameter sets at one iteration, the values
  // dynparam set and, out of range, clamped to the limits.
  const std::string changes[] = {
      "DiradureZIDID num_source 3 min_deg -180 max_deg 180 lower_bound_frequency 500 upper_bound_frequency 2800\n"
      "\\[\\1\\] SourceTracker thresh 23 pause_length 800 min_src_interval 20 min_tfindex_interval 6 compare_mode 0\n"
      "\\[\\1\\] DODA lx 0.5 time_constant 16000\n",
      "DiradureZIDID num_source 7 min_deg -180 max_deg 180 lower_bound_frequency 500 upper_bound_frequency 2800\n"
      "\\[\\1\\] SourceTracker thresh 23 pause_length 800 min_src_interval 20 min_tfindex_interval 6 compare_mode 1\n"
      "\\[\\1\\] DODA lx 0.5 time_constant 160\n",
      "DiradureZIDID num_source 7 min_deg -180 max_deg 180 lower_bound_frequency 500 upper_bound_frequency 2800\n"
      "\\[\\1\\] SourceTracker thresh 30 pause_length 800 min_src_interval 20 min_tfindex_interval 6 compare_mode 1\n"
      "\\[\\1\\] DODA lx 0.5 time_constant 160\n"};
  std::string rest = r.output;
  for (const std::string& change : changes) {
    ASSERT_TRUE(std::regex_search(rest, m, std::regex("\\[([0-9]+)\\] " + change))) << change << "\nin\n" << r.output;
    rest = m.suffix();
  }
  // Every set appears once: no change is shown twice, none early.
  EXPECT_EQ(std::regex_search(rest, std::regex("\\] DODA ")), false) << r.output;
  EXPECT_NE(r.output.find("'DiradureZIDID_num_source': 7,"), std::string::npos) << "dynparam get\n" << r.output;
  EXPECT_NE(r.output.find("'DODA_time_constant': 160.0,"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("ROS destructed...\n== shutting down"), std::string::npos) << r.output;
  EXPECT_EQ(demotest::leftRunning(r.output), "") << r.output;
}
