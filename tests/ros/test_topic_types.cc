// The message type each topic has in the process, held by the toolbox's
// publishers and subscribers.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ros/TopicTypes.h"

using murvnode::TopicRole;

namespace {

const murvnode::MessageType intType{"murv_msgs/MurvInt", "34add168574510e6e17f5d23ecc077ef"};
const murvnode::MessageType floatType{"std_msgs/Float32", "73fcbf46b49191e672908e50842a83d4"};
const murvnode::MessageType anyType{"*", "*"};

struct Step {
  TopicRole role;
  const murvnode::MessageType& type;
  const char* refusal;  // nullptr: held
};

struct Row {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const TopicRole pub = TopicRole::advertises, sub = TopicRole::subscribes;
const char* const advertised = "is already advertised in this process with another message type";
const char* const subscribed = "is already subscribed in this process with another message type";

const Row rows[] = {
    {"OneTypeIsShared", {{pub, intType, nullptr}, {sub, intType, nullptr}, {pub, intType, nullptr}}},
    {"SubscriberAfterPublisher", {{pub, intType, nullptr}, {sub, floatType, advertised}}},
    {"PublisherAfterPublisher", {{pub, intType, nullptr}, {pub, floatType, advertised}}},
    {"PublisherAfterSubscriber", {{sub, intType, nullptr}, {pub, floatType, subscribed}}},
    {"SubscriberAfterSubscriber", {{sub, intType, nullptr}, {sub, floatType, subscribed}}},
    {"APublisherIsNamedFirst", {{sub, intType, nullptr}, {pub, intType, nullptr}, {sub, floatType, advertised}}},
    {"AnyTypeFitsEveryTopicAndHoldsNone",
     {{sub, anyType, nullptr}, {pub, floatType, nullptr}, {sub, anyType, nullptr}, {pub, intType, advertised}}},
};

class TopicTypes : public ::testing::TestWithParam<Row> {};

TEST_P(TopicTypes, ASecondTypeIsRefusedWhileTheFirstIsHeld) {
  std::vector<std::shared_ptr<const murvnode::TopicHold>> holds;
  for (const Step& step : GetParam().steps) {
    std::shared_ptr<const murvnode::TopicHold> hold;
    const char* why = murvnode::holdTopic("/murv/types", step.role, step.type, hold);
    EXPECT_STREQ(why, step.refusal);
    EXPECT_EQ(hold != nullptr, !why && step.type.md5sum != "*");
    holds.push_back(hold);
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, TopicTypes, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(TopicTypes, TheLastHoldOfATopicLetsItTakeAnotherType) {
  std::shared_ptr<const murvnode::TopicHold> first, second, other;
  ASSERT_EQ(murvnode::holdTopic("/murv/kept", pub, intType, first), nullptr);
  ASSERT_EQ(murvnode::holdTopic("/murv/kept", sub, intType, second), nullptr);
  EXPECT_EQ(murvnode::holdTopic("/murv/elsewhere", sub, floatType, other), nullptr);
  first.reset();
  EXPECT_STREQ(murvnode::holdTopic("/murv/kept", pub, floatType, other), subscribed);
  second.reset();
  EXPECT_EQ(murvnode::holdTopic("/murv/kept", pub, floatType, other), nullptr);
}

// Threads that hold one topic with two types never hold both at once.
TEST(TopicTypes, HoldsFromManyThreadsKeepOneTypePerTopic) {
  std::atomic<int> holders[2] = {{0}, {0}};
  std::atomic<bool> mixed{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      const int kind = t % 2;
      for (int i = 0; i < 2000; ++i) {
        std::shared_ptr<const murvnode::TopicHold> hold;
        if (murvnode::holdTopic("/murv/contended", i % 3 ? sub : pub, kind ? intType : floatType, hold)) continue;
        ++holders[kind];
        if (holders[1 - kind] > 0) mixed = true;
        --holders[kind];
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(mixed);
}

}  // namespace
