// Proof that the ThreadSanitizer suppressions, which silence roscpp's own
// uninstrumented internals, still let a race in our code through: a child
// process runs a callback holder that forgets its lock, under real ROS
// traffic, and ThreadSanitizer must report it, and only it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include "convert/MurvMsgReader.h"
#include "nodes/RosNodeGenerator.h"
#include "RosTestSupport.h"

#if defined(__SANITIZE_THREAD__)
#define MURV_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MURV_UNDER_TSAN 1
#endif
#endif

using namespace subtest;

namespace {

// Its callback writes on the spinner thread what the test thread reads,
// with no lock between them.
struct CarelessHolder {
  int lastCount = 0;
  void cb_murvsource(const murv_msgs::MurvSource::ConstPtr& msg) { lastCount = msg->count; }
};

}  // namespace

TEST(TsanCanaryChild, DISABLED_ACallbackHolderWithoutItsLock) {
  RosNetwork net("murv_tsan_canary");
  CarelessHolder holder;
  ros::Subscriber sub =
      murvSubscribe<murv_msgs::MurvSource>(*__MasterRosNodeHandler__, "/canary", 10, &CarelessHolder::cb_murvsource, &holder);
  ros::AsyncSpinner spinner(1);
  spinner.start();
  ros::Publisher pub = __MasterRosNodeHandler__->advertise<murv_msgs::MurvSource>("/canary", 10);
  EXPECT_TRUE(murvtest::waitFor([&] {
    pub.publish(source(7, 1, 1));
    return holder.lastCount == 7;
  }));
  sub.shutdown();
  spinner.stop();
}

TEST(TsanCanary, ARaceInOurCodeIsStillReportedThroughTheSuppressions) {
#ifndef MURV_UNDER_TSAN
  GTEST_SKIP() << "only meaningful in the ThreadSanitizer build";
#else
  char self[PATH_MAX] = {0};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
  const std::string command = std::string("TSAN_OPTIONS='suppressions=") + MURV_SOURCE_DIR +
                              "/tests/tsan.supp halt_on_error=0 exitcode=66' " + self +
                              " --gtest_also_run_disabled_tests"
                              " --gtest_filter=TsanCanaryChild.DISABLED_ACallbackHolderWithoutItsLock 2>&1";
  const murvtest::CommandResult r = murvtest::runCommand(command, std::chrono::seconds(120));
  EXPECT_NE(r.output.find("[       OK ] TsanCanaryChild.DISABLED_ACallbackHolderWithoutItsLock"), std::string::npos)
      << r.output;
  EXPECT_EQ(r.status, 66) << r.output;
  // Every report is about the careless holder, reached through roscpp's
  // callback queue on the spinner thread: nothing of roscpp's own.
  const std::string marker = "WARNING: ThreadSanitizer:";
  int reports = 0;
  for (size_t at = r.output.find(marker); at != std::string::npos; at = r.output.find(marker, at + 1)) {
    ++reports;
    const size_t end = r.output.find("==================", at);
    const std::string report = r.output.substr(at, end == std::string::npos ? std::string::npos : end - at);
    EXPECT_NE(report.find("data race"), std::string::npos) << report;
    EXPECT_NE(report.find("CarelessHolder::cb_murvsource"), std::string::npos) << report;
    EXPECT_NE(report.find("ros::SubscriptionQueue::call"), std::string::npos) << report;
  }
  EXPECT_GE(reports, 1) << r.output;
#endif
}
