// RosMurvParamsSubscriber through a real master, with rostopic as the
// outside publisher.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MsgFifo.h"
#include "ParamsTestSupport.h"
#include "RosMurvParamsSubscriber.h"
#include "RosTestSupport.h"

using namespace paramtest;
using murvtest::runCommand;
using murvtest::waitFor;
using subtest::LogCapture;
using subtest::RosNetwork;

namespace {

// rostopic pub -1: one message, latched until the subscriber has it.
void publishOnce(const std::string& topic, const std::string& type, const std::string& yaml) {
  murvtest::CommandResult r = runCommand(rostopic + "pub -1 " + topic + " " + type + " '" + yaml + "'");
  EXPECT_EQ(r.status, 0) << r.output;
}

// Receipt records at line of the node's file, and whether all ran on
// threads other than this one.
int receipts(const LogCapture& log, int line, bool* onOtherThreads = nullptr) {
  int n = 0;
  for (const LogCapture::Record& r : log.records())
    if (r.file == "src/RosMurvParamsSubscriber" && r.line == line && r.level == ros::console::levels::Info &&
        r.text.rfind("Received [thread=", 0) == 0) {
      ++n;
      if (onOtherThreads && r.text == "Received [thread=" + murvmsg::threadIdText() + "]") *onOtherThreads = false;
    }
  return n;
}

}  // namespace

TEST(RosMurvParamsSubscriber, EachKindArrivesOnItsOwnOutputLatestFirstAndUnchanged) {
  RosNetwork net("murv_params_sub");
  LogCapture log;
  testing::internal::CaptureStdout();
  NodePtr node = createNode("RosMurvParamsSubscriber", "sub", paramsSubscriberParams("psub", 0.0f, true));
  node->initialize();
  EXPECT_EQ(delivered(*node, 0), "- | - | -") << "nothing received yet";

  // Two messages of one kind before an iteration: only the second goes on.
  publishOnce("/psub/diradure", "murv_params/DiradureZIDID",
              "{num_source: 1, min_deg: -10, max_deg: 10, lower_bound_frequency: 100, upper_bound_frequency: 200}");
  publishOnce("/psub/diradure", "murv_params/DiradureZIDID",
              "{num_source: 99, min_deg: 90, max_deg: -90, lower_bound_frequency: -5, upper_bound_frequency: 2147483647}");
  ASSERT_TRUE(waitFor([&] { return receipts(log, 74) == 2; }));
  EXPECT_EQ(delivered(*node, 1), "DiradureZIDID 99 90 -90 -5 2147483647 | - | -") << "no range is checked";
  EXPECT_EQ(delivered(*node, 2), "- | - | -");

  // compare_mode past the enum stays as sent; floats keep their bits: a
  // negative zero, a denormal, a NaN, the largest float.
  publishOnce("/psub/tracker", "murv_params/SourceTracker",
              "{thresh: -0.0, pause_length: 1.0e-40, min_src_interval: .nan, "
              "min_tfindex_interval: 3.4028234663852886e+38, compare_mode: 200}");
  ASSERT_TRUE(waitFor([&] { return receipts(log, 88) == 1; }));
  MURV::ObjectRef trackers = node->getOutput(node->getOutputID("SourceTracker"), 3);
  const auto& list = MURV::object_cast<MURV::Vector<MURV::ObjectRef>>(trackers);
  ASSERT_EQ(list.size(), 1u);
  const auto& t = dynamic_cast<const ParamsSourceTracker&>(*list[0]);
  EXPECT_EQ(t.compare_mode, 200);
  EXPECT_EQ(bitsOf(t.thresh), 0x80000000u);
  EXPECT_EQ(bitsOf(t.pause_length), bitsOf(static_cast<float>(1.0e-40)));
  EXPECT_TRUE(std::isnan(t.min_src_interval));
  EXPECT_EQ(t.min_tfindex_interval, std::numeric_limits<float>::max());
  EXPECT_EQ(delivered(*node, 3),
            "- | SourceTracker -0 " + exact(1.0e-40f) + " " + exact(t.min_src_interval) + " 3.40282347e+38 200 | -");

  // One level-estimator message: the next iteration, whichever output is
  // asked first, has it on DODA alone; the one after, nothing.
  publishOnce("/psub/doda", "murv_params/DODA", "{lx: 0.85, time_constant: 960000.0}");
  ASSERT_TRUE(waitFor([&] { return receipts(log, 102) == 1; }));
  EXPECT_EQ(delivered(*node, 4, "DODA"), "- | - | DODA " + exact(0.85f) + " 960000");
  EXPECT_EQ(delivered(*node, 5), "- | - | -");

  bool onOtherThreads = true;
  EXPECT_EQ(receipts(log, 74, &onOtherThreads) + receipts(log, 88, &onOtherThreads) +
                receipts(log, 102, &onOtherThreads),
            4);
  EXPECT_TRUE(onOtherThreads) << "callbacks run on the node's spinner threads";
  for (const char* topic : {"/psub/diradure", "/psub/tracker", "/psub/doda"})
    EXPECT_EQ(subtest::subscribersOf(topic), std::vector<std::string>{"/murv_params_sub"}) << topic;
  node.reset();
  for (const char* topic : {"/psub/diradure", "/psub/tracker", "/psub/doda"})
    EXPECT_TRUE(subtest::subscribersOf(topic).empty()) << topic << ": the subscriptions end with the node";

  std::string expected = "sub constructor end...\nsub initialized...\n";
  for (int c = 0; c <= 5; ++c) expected += "sub Subscribed [" + std::to_string(c) + "]\n";
  EXPECT_EQ(linesOf(endCapture(), "sub"), expected);
}
