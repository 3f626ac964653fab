// Destroying the server while calls are in their pause. Other spinners of
// the process serve the same callback queue, and withdrawing a service
// closes its callers' connections at once: every call that has started is
// answered before the service goes, at once since destroying the server
// ends the pauses, and the callback holder outlives it. And a stop signal
// that ends a client's call while its server holds the answer back.
#include <gtest/gtest.h>
#include <murv_msgs/MurvIntSrv.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ServiceTestSupport.h"

using namespace servicetest;

namespace {
std::atomic<int> hostStops{0};
void hostHandler(int) { ++hostStops; }
}  // namespace

TEST(RosAddMurvIntServerTeardown, CallsInTheirPauseAreAnsweredAtOnceBeforeTheServiceGoes) {
  RosNetwork network("add_int_teardown_test");
  subtest::LogCapture log;
  ros::AsyncSpinner others(4);  // another node's spinners
  others.start();
  for (int64_t first : {40, 50, 60, 70}) {
    // A pause that nobody waits out.
    NodePtr srv = server(1000.0f);
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
    const auto destroying = std::chrono::steady_clock::now();
    srv.reset();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - destroying).count(), 10.0) << first;
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

// In a host that handles a stop signal itself and goes on, the signal ends
// the client's call in progress as a failed call, whatever the server does;
// the next call waits for its answer again.
TEST(RosAddMurvIntClientStop, AStopSignalEndsTheCallInProgressAndTheNextIsAnswered) {
  signal(SIGINT, hostHandler);
  RosNetwork network("add_int_client_stop_test");
  using Request = murv_msgs::MurvIntSrv::Request;
  using Response = murv_msgs::MurvIntSrv::Response;
  std::atomic<bool> holding{false}, release{false};
  ros::NodeHandle nh;
  ros::ServiceServer server = nh.advertiseService<Request, Response>("add", [&](Request& req, Response& res) {
    holding = true;
    res.sum = req.first + req.second;
    return murvtest::waitFor([&] { return release.load(); }, std::chrono::seconds(60));
  });
  ros::AsyncSpinner spinner(1);
  spinner.start();
  NodePtr cli = client(10);
  std::chrono::steady_clock::time_point stopped;
  std::thread stop([&] {
    if (!murvtest::waitFor([&] { return holding.load(); })) return;
    stopped = std::chrono::steady_clock::now();
    kill(getpid(), SIGINT);
  });
  EXPECT_EQ(output(cli, 1), 0) << "the call in progress failed";
  const auto failed = std::chrono::steady_clock::now();
  stop.join();
  EXPECT_LT(std::chrono::duration<double>(failed - stopped).count(), 10.0) << "the server still holds the answer";
  EXPECT_EQ(hostStops, 1);
  release = true;
  EXPECT_EQ(output(cli, 2), 14) << "the next call is answered";
}
