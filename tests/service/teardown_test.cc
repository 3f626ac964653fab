// Destroying the server while calls are in their pause. Other spinners of
// the process serve the same callback queue, and withdrawing a service
// closes its callers' connections at once: every call that has started is
// answered before the service goes, and the callback holder outlives it.
#include <gtest/gtest.h>
#include <murv_msgs/MurvIntSrv.h>

#include <chrono>
#include <thread>

#include "ServiceTestSupport.h"

using namespace servicetest;

TEST(RosAddMurvIntServerTeardown, CallsInTheirPauseAreAnsweredBeforeTheServiceGoes) {
  RosNetwork network("add_int_teardown_test");
  subtest::LogCapture log;
  ros::AsyncSpinner others(4);  // another node's spinners
  others.start();
  for (int64_t first : {40, 50, 60, 70}) {
    NodePtr srv = server(0.3f);
    const auto sent = std::chrono::steady_clock::now();
    // Two calls at once: the node's spinner runs one, another spinner the other.
    murv_msgs::MurvIntSrv calls[2];
    bool answered[2] = {false, false};
    std::thread callers[2];
    for (int i : {0, 1}) {
      calls[i].request.first = first;
      calls[i].request.second = i;
      callers[i] = std::thread([&, i] { answered[i] = ros::service::call("add", calls[i]); });
    }
    const std::string request = "Request [" + std::to_string(first) + " + ";
    ASSERT_TRUE(murvtest::waitFor([&] { return log.count(ros::console::levels::Info, request) == 2; }))
        << "both calls are in their pause";
    srv.reset();
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 0.3) << first;
    EXPECT_FALSE(ros::service::exists("add", false)) << "the service is withdrawn";
    for (int i : {0, 1}) {
      callers[i].join();
      EXPECT_TRUE(answered[i]) << first << " + " << i;
      EXPECT_EQ(calls[i].response.sum, first + i);
    }
  }
  // The server's line is logged at its fixed location.
  for (const subtest::LogCapture::Record& r : log.records()) {
    if (r.text.rfind("Request [", 0) != 0) continue;
    EXPECT_EQ(r.file + ":" + std::to_string(r.line), "src/RosAddMurvIntServer:61");
  }
}
