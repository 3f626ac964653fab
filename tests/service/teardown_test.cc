// Destroying the server while a call is in its pause. Other spinners of the
// process serve the same callback queue, and roscpp does not wait for a
// call in flight when a service is withdrawn: the callback holder must
// outlive the call, and the node goes only after it.
#include <gtest/gtest.h>
#include <murv_msgs/MurvIntSrv.h>

#include <chrono>
#include <thread>

#include "ServiceTestSupport.h"

using namespace servicetest;

TEST(RosAddMurvIntServerTeardown, ACallInItsPauseOutlivesNoPartOfTheNode) {
  RosNetwork network("add_int_teardown_test");
  ros::AsyncSpinner others(4);  // another node's spinners
  others.start();
  for (int64_t first : {40, 41, 42, 43}) {
    NodePtr srv = server(0.3f);
    const auto sent = std::chrono::steady_clock::now();
    murv_msgs::MurvIntSrv call;
    call.request.first = first;
    call.request.second = 2;
    std::thread caller([&call] { ros::service::call("add", call); });
    int count = 0;
    ASSERT_TRUE(murvtest::waitFor([&] { return output(srv, count++) == first + 2; }));  // the call is in its pause
    srv.reset();
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 0.3) << first;
    EXPECT_FALSE(ros::service::exists("add", false)) << "the service is withdrawn";
    caller.join();
  }
}
