// The README's main job, with a short frame count: a test signal goes out
// through ROS and comes back into a network.
#include <gtest/gtest.h>

#include <regex>

#include "DemoTestSupport.h"
#include "RosMaster.h"

using murvtest::runCommand;

TEST(Demo, FramesTravelThroughRosAndBackAndNothingIsLeftRunning) {
  murvtest::CommandResult r = runCommand(std::string("bash ") + MURV_SOURCE_DIR + "/scripts/run-demo.sh " +
                                             MURV_BINARY_DIR + " 120",
                                         std::chrono::seconds(120));
  ASSERT_EQ(r.status, 0) << r.output;

  // What the receiving network printed: levels of the four sines, and the
  // received frames with consecutive message counts up to the last one sent.
  EXPECT_NE(r.output.find("level.OUTPUT = <Vector<float> 0.707107 0.353553 0.235702 0.176777 >"), std::string::npos)
      << r.output;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m,
                                std::regex("received ([0-9]+) frames, message counts ([0-9]+) to ([0-9]+), 0 gaps")))
      << r.output;
  EXPECT_GT(std::stoi(m[1]), 0);
  EXPECT_EQ(std::stoi(m[3]), 119) << "the last frame sent arrives";
  EXPECT_EQ(std::stoi(m[1]), 120 - std::stoi(m[2]));

  // What ROS's own tools saw of the topic.
  EXPECT_NE(r.output.find("frame_id: \"mic_array\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("nch: 4\nlength: 160\ndata_bytes: 2560"), std::string::npos) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("average rate: [0-9]+\\.[0-9]+"))) << r.output;

  // Nothing is left behind: the master, the networks, ROS's tools.
  EXPECT_EQ(demotest::leftRunning(r.output), "") << r.output;
}
