// The parameter nodes without ROS traffic: what their constructors refuse,
// and their callback holders (which pause without holding their lock).
#include <gtest/gtest.h>
#include <murv_params/DynReconfMurvParamsConfig.h>
#include <ros/time.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "ParamsTestSupport.h"
#include "RosMaster.h"
#include "RosMurvParamsDynReconf.h"
#include "RosMurvParamsSubscriber.h"

using namespace paramtest;

namespace {

std::string constructionError(const std::string& type, const MURV::ParameterSet& p) {
  try {
    NodePtr n = createNode(type, "node", p);
  } catch (MURV::BaseException* e) {
    std::string text = e->text();
    delete e;
    return text;
  }
  return "";
}

MURV::ParameterSet withDuration(const std::string& type, float seconds) {
  if (type == "RosMurvIntDynReconf") return intReconfParams(seconds);
  if (type == "RosMurvParamsDynReconf") return paramsReconfParams(seconds, false);
  return paramsSubscriberParams("unit", seconds, false);
}

}  // namespace

TEST(ParamsNodes, ARosDurationThatCannotBeSleptIsRefusedAtConstructionNamingIt) {
  testing::internal::CaptureStdout();
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (const char* type : {"RosMurvIntDynReconf", "RosMurvParamsDynReconf", "RosMurvParamsSubscriber"}) {
    // Negative (a negative sleep never returns), not a number, infinite, or
    // beyond the 2^31 seconds a ros::Duration holds.
    for (float bad : {-1.0f, -1e-6f, -inf, nan, inf, 2147483648.0f, 1e12f}) {
      const std::string error = constructionError(type, withDuration(type, bad));
      EXPECT_NE(error.find("ROS_DURATION"), std::string::npos) << type << " " << bad << ": " << error;
    }
    for (float good : {0.0f, 0.25f, 2147483520.0f})
      EXPECT_EQ(constructionError(type, withDuration(type, good)), "") << type << " " << good;
    // A parameter of another host type is the cast's failure.
    MURV::ParameterSet wrong = withDuration(type, 0.0f);
    wrong.add("ROS_DURATION", intParam(1));
    EXPECT_NE(constructionError(type, wrong).find("Cast error"), std::string::npos) << type;
  }
  // Of the three, only the parameter-message subscriber announces its
  // construction: once for each value it accepted.
  EXPECT_EQ(endCapture(),
            "node constructor end...\nnode constructor end...\nnode constructor end...\n");
}

// A callback of either holder pauses ROS_DURATION after it has handed on its
// objects; meanwhile the network thread takes them without waiting.
TEST(ParamsHolders, TheNetworkTakesWhatACallbackLeftWhileItStillPauses) {
  ros::Time::init();
  callbackFuncMurvParamsSubscriber sub(3.0f, false);
  murv_params::DynReconfMurvParamsConfig config = murv_params::DynReconfMurvParamsConfig::__getDefault__();
  config.MurvParamsDynReconfEnable = true;
  config.DODA_lx = 0.1;
  callbackFuncMurvParamsDynReconf reconf(3.0f, false);

  std::atomic<int> returned{0};
  murv_params::DODA msg;
  msg.lx = 0.5f;
  msg.time_constant = 7.0f;
  std::thread a([&] {
    sub.cb_DODA(boost::make_shared<const murv_params::DODA>(msg));
    ++returned;
  });
  std::thread b([&] {
    reconf.cb(config, ~0u);
    ++returned;
  });
  // Taking under the lock, again and again, until both have left theirs.
  MURV::Vector<MURV::ObjectRef> d, s, o, d2, s2, o2;
  ASSERT_TRUE(murvtest::waitFor([&] {
    sub.takeInto(d, s, o);
    reconf.takeInto(d2, s2, o2);
    return !o.empty() && !o2.empty();
  }));
  EXPECT_EQ(returned.load(), 0) << "both callbacks are still pausing";
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(describe(o[0]), "DODA 0.5 7");
  EXPECT_TRUE(d.empty() && s.empty()) << "a message of one kind leaves the others alone";
  ASSERT_EQ(o2.size(), 1u);
  EXPECT_EQ(describe(o2[0]), "DODA " + exact(0.1f) + " 16000");
  EXPECT_EQ(d2.size() + s2.size(), 2u);
  a.join();
  b.join();
}
