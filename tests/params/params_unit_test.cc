// The parameter nodes without ROS traffic: what their constructors refuse,
// and their callback holders (which pause without holding their lock).
#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>

#include "ParamsTestSupport.h"
#include "nodes/RosMurvParamsDynReconf.h"
#include "nodes/RosMurvParamsSubscriber.h"

using namespace paramtest;

TEST(ParamsNodes, ARosDurationThatCannotBeSleptIsRefusedAtConstructionNamingIt) {
  testing::internal::CaptureStdout();
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (const char* type : {"RosMurvIntDynReconf", "RosMurvParamsDynReconf", "RosMurvParamsSubscriber"}) {
    auto error = [&](const MURV::ParameterSet& p) { return hostError([&] { createNode(type, "node", p); }); };
    // Negative (a negative sleep never returns), not a number, infinite, or
    // beyond the 2^31 seconds a ros::Duration holds.
    for (float bad : {-1.0f, -1e-6f, -inf, nan, inf, 2147483648.0f, 1e12f})
      EXPECT_THAT(error(paramsOf(type, bad)), testing::HasSubstr("ROS_DURATION")) << type << " " << bad;
    for (float good : {0.0f, 0.25f, 2147483520.0f}) EXPECT_EQ(error(paramsOf(type, good)), "") << type << " " << good;
    MURV::ParameterSet wrongType = paramsOf(type, 0.0f);
    wrongType.add("ROS_DURATION", intParam(1));
    EXPECT_THAT(error(wrongType), testing::HasSubstr("Cast error")) << type;
  }
  // Of the three, only the parameter-message subscriber announces its
  // construction: once for each value it accepted.
  EXPECT_EQ(endCapture("node"), "node constructor end...\nnode constructor end...\nnode constructor end...\n");
}

// A callback of either holder pauses ROS_DURATION after it has handed on its
// objects; meanwhile the network thread takes them without waiting.
TEST(ParamsHolders, TheNetworkTakesWhatACallbackLeftWhileItStillPauses) {
  ros::Time::init();
  callbackFuncMurvParamsSubscriber sub(3.0f, false);
  callbackFuncMurvParamsDynReconf reconf(3.0f, false);
  auto config = murv_params::DynReconfMurvParamsConfig::__getDefault__();
  config.MurvParamsDynReconfEnable = true;
  std::atomic<int> returned{0};
  std::thread a([&] { sub.cb_DODA(boost::make_shared<const murv_params::DODA>()); ++returned; });
  std::thread b([&] { reconf.cb(config, ~0u); ++returned; });
  // Taking under the lock, again and again, until both have left theirs.
  MURV::Vector<MURV::ObjectRef> d, s, o, d2, s2, o2;
  ASSERT_TRUE(waitFor([&] {
    sub.takeInto(d, s, o);
    reconf.takeInto(d2, s2, o2);
    return !o.empty() && !o2.empty();
  }));
  EXPECT_EQ(returned.load(), 0) << "both callbacks are still pausing";
  EXPECT_EQ(describe(o[0]) + ", " + describe(o2[0]), "DODA 0 0, DODA 0.850000024 16000");
  a.join();
  b.join();
}
