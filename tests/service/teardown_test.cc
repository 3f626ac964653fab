// Destroying the server while a call is in its pause. Other spinners of the
// process serve the same callback queue, and roscpp does not wait for a
// call in flight when a service is withdrawn: the callback holder must
// outlive the call, and the node goes only after it.
#include <gtest/gtest.h>
#include <murv_msgs/MurvIntSrv.h>
#include <ros/ros.h>

#include <chrono>
#include <thread>

#include "RosMaster.h"
#include "ServiceTestSupport.h"

using namespace servicetest;
using Clock = std::chrono::steady_clock;

TEST(RosAddMurvIntServerTeardown, ACallInItsPauseOutlivesNoPartOfTheNode) {
  murvtest::RosMaster master;
  master.start();
  MURV::Node* ros = generator("add_int_teardown_test");
  ros::AsyncSpinner others(4);  // another node's spinners
  others.start();
  const double pause = 0.3;
  for (int64_t first : {40, 41, 42, 43}) {
    MURV::Node* srv = server("add", static_cast<float>(pause));
    srv->initialize();
    Clock::time_point sent = Clock::now();
    std::thread caller([first] {
      murv_msgs::MurvIntSrv call;
      call.request.first = first;
      call.request.second = 2;
      ros::service::call("add", call);
    });
    int count = 0;
    ASSERT_TRUE(murvtest::waitFor([&] { return output(srv, count++) == first + 2; }));  // the call is in its pause
    srv->unref();
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - sent).count(), pause) << first;
    EXPECT_FALSE(ros::service::exists("add", false)) << "the service is withdrawn";
    caller.join();
  }
  others.stop();
  ros->unref();
}
