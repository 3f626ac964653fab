// RosMurvParamsSubscriber through a real master, with rostopic as the
// outside publisher.
#include <gtest/gtest.h>

#include "ParamsTestSupport.h"

using namespace paramtest;

TEST(RosMurvParamsSubscriber, EachKindArrivesOnItsOwnOutputLatestFirstAndUnchanged) {
  RosNetwork net("murv_params_sub");
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvParamsSubscriber", "sub", paramsOf("RosMurvParamsSubscriber", 0.0f, true));
  node->initialize();
  const std::string file = "src/RosMurvParamsSubscriber";
  // rostopic pub -1: one message, latched until the subscriber has it; then
  // until the callback of its kind, logging at line, has run n times.
  auto publish = [&](const std::string& kind, const std::string& yaml, int line, int n) {
    tool("rostopic pub -1 /p/" + kind + " murv_params/" + kind + " '" + yaml + "'");
    return waitFor([&] { return receipts(log, file, line, "Received [thread=") == n; });
  };
  EXPECT_EQ(delivered(*node, 0), "- | - | -") << "nothing received yet";

  // Two messages of one kind before an iteration: only the second goes on,
  // its fields unchecked.
  ASSERT_TRUE(publish("DiradureZIDID", "{num_source: 1, min_deg: -10, lower_bound_frequency: 100}", 74, 1));
  ASSERT_TRUE(publish("DiradureZIDID", "{num_source: 99, min_deg: 90, max_deg: -90, lower_bound_frequency: -5, "
                                       "upper_bound_frequency: 2147483647}", 74, 2));
  EXPECT_EQ(delivered(*node, 1), "DiradureZIDID 99 90 -90 -5 2147483647 | - | -");
  // compare_mode past the enum stays as sent; floats keep their bits: a
  // negative zero, a denormal, a NaN, the largest float.
  ASSERT_TRUE(publish("SourceTracker", "{thresh: -0.0, pause_length: 1.0e-40, min_src_interval: .nan, "
                                       "min_tfindex_interval: 3.4028234663852886e+38, compare_mode: 200}", 88, 1));
  EXPECT_EQ(delivered(*node, 2), "- | SourceTracker -0 9.9999461e-41 nan 3.40282347e+38 200 | -");
  // Whichever output is asked first, the next iteration has it on DODA alone,
  // the one after nothing.
  ASSERT_TRUE(publish("DODA", "{lx: 0.85, time_constant: 960000.0}", 102, 1));
  EXPECT_EQ(delivered(*node, 3, "DODA"), "- | - | DODA 0.850000024 960000");
  EXPECT_EQ(delivered(*node, 4), "- | - | -");

  // Each callback logged at its own line, on the node's spinner threads.
  for (int line : {74, 88, 102})
    EXPECT_EQ(receipts(log, file, line, "Received [thread=" + murvmsg::threadIdText() + "]"), 0) << line;
  node.reset();
  for (const char* topic : {"/p/DiradureZIDID", "/p/SourceTracker", "/p/DODA"})
    EXPECT_TRUE(subscribersOf(topic).empty()) << topic << ": the subscriptions end with the node";
  EXPECT_EQ(endCapture("sub"), "sub constructor end...\nsub initialized...\nsub Subscribed [0]\nsub Subscribed [1]\n"
                               "sub Subscribed [2]\nsub Subscribed [3]\nsub Subscribed [4]\n");
}
