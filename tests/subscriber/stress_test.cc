// The callback holder and the node under concurrent use: callbacks on
// several threads while the consumer converts and pops. Meant for the
// ThreadSanitizer build, and checked for order, bound and torn messages in
// every build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Map.h"
#include "ros/MsgFifo.h"
#include "RosTestSupport.h"
#include "Source.h"
#include "Vector.h"

using namespace subtest;
using MURV::Map;
using MURV::ObjectRef;
using MURV::Vector;
using murvtest::waitFor;

namespace {

// Two sources whose samples all hold the message's count: a message mixed
// from two others would show.
murv_msgs::MurvSrcWave tagged(int count) {
  murv_msgs::MurvSrcWave m = srcWave(count, 2, 2, 16);
  m.header.stamp = ros::Time(100 + count, 0);
  for (auto& s : m.src) s.wavedata.assign(16, static_cast<float>(count));
  return m;
}

// Whether every value of a converted map is the count of its message.
bool consistent(const Map<int, ObjectRef>& map, int count) {
  if (map.size() != 2) return false;
  for (const auto& e : map)
    for (float v : MURV::object_cast<Vector<float>>(e.second))
      if (v != static_cast<float>(count)) return false;
  return true;
}

}  // namespace

TEST(SubscriberConcurrency, CallbacksOnSeveralThreadsWhileTheConsumerPops) {
  constexpr int producers = 4, perProducer = 2000, capacity = 5;
  callbackFuncMurvMsgsSubscriber h(capacity, false);
  std::vector<boost::shared_ptr<const murv_msgs::MurvSrcWave>> messages;
  for (int c = 0; c < producers * perProducer; ++c) messages.push_back(shared(tagged(c)));

  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p)
    threads.emplace_back([&, p] {
      for (int i = 0; i < perProducer; ++i) h.cb_murvsrcwave(messages[p * perProducer + i]);
      ++finished;
    });

  std::vector<int> last(producers, -1);
  std::size_t mostHeld = 0;
  int consumed = 0, disorder = 0, torn = 0;
  auto use = [&](const murv_msgs::MurvSrcWave& m, std::size_t held) {
    mostHeld = std::max(mostHeld, held);
    const int p = m.count / perProducer, i = m.count % perProducer;
    if (i < last[p]) ++disorder;  // a kept last entry may be seen again
    last[p] = i;
    Map<int, ObjectRef> map;
    murvmsg::addMapEntries(map, m);
    if (!consistent(map, m.count)) ++torn;
  };
  // Alternately as with and without REMAIN_LATEST while they run, then
  // whatever is left.
  for (bool keepLast = false; finished < producers; keepLast = !keepLast)
    if (murvmsg::useOldest("MurvSrcWave", h.fifo_lock, h.fifo_murvsrcwave, keepLast, use) == murvmsg::Oldest::Used)
      ++consumed;
  for (std::thread& t : threads) t.join();
  while (murvmsg::useOldest("MurvSrcWave", h.fifo_lock, h.fifo_murvsrcwave, false, use) == murvmsg::Oldest::Used)
    ++consumed;

  EXPECT_GT(consumed, 0);
  EXPECT_LE(mostHeld, static_cast<std::size_t>(capacity));
  EXPECT_EQ(disorder, 0) << "each producer's messages come out in the order it sent them";
  EXPECT_EQ(torn, 0);
  // The newest message is never the one dropped.
  EXPECT_NE(std::find(last.begin(), last.end(), perProducer - 1), last.end());
}

TEST(SubscriberConcurrency, TheNodeUnderTrafficFromSeveralPublishersAndSpinners) {
  RosNetwork net("murv_sub_stress");
  ros::AsyncSpinner others(3);
  others.start();
  Subscriber s("stress", "MurvSrcWave", {"SRCOUT", "MAPOUT"},
               {{"DATA_BUFFER_NUM", intParam(8)}, {"ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<float>(5000.0f))}});
  // One publisher in another process, over TCP...
  std::string yaml = "{header: {stamp: {secs: 9000100}}, count: 9000000, exist_src_num: 2, src: [";
  for (int k = 0; k < 2; ++k) {
    yaml += std::string(k ? ", " : "") + "{id: " + std::to_string(10 + k) + ", length: 16, wavedata: [";
    for (int i = 0; i < 16; ++i) yaml += std::string(i ? ", " : "") + "9000000.0";
    yaml += "]}";
  }
  yaml += "]}";
  murvtest::BackgroundCommand outside("exec /usr/bin/python3 /usr/bin/rostopic pub -r 300 /sub_test/murvsrcwave "
                                      "murv_msgs/MurvSrcWave '" + yaml + "'");
  // ...and three in this one.
  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  // The publishers are made and destroyed on this thread (roscpp's
  // unadvertise is not safe against concurrent advertising of one topic)
  // and publish from three others.
  ros::NodeHandle nh;
  std::vector<ros::Publisher> pubs;
  for (int p = 0; p < 3; ++p) pubs.push_back(nh.advertise<murv_msgs::MurvSrcWave>("/sub_test/murvsrcwave", 20));
  std::vector<std::thread> publishers;
  for (int p = 0; p < 3; ++p)
    publishers.emplace_back([&, p] {
      ros::Publisher& pub = pubs[static_cast<size_t>(p)];
      for (int i = 0; !stop; ++i) {
        pub.publish(tagged(p * 1000000 + i));
        ++sent;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    });

  int converted = 0, torn = 0, fromOutside = 0;
  for (int count = 0; count < 600 || (fromOutside == 0 && count < 60000); ++count) {
    const long sec = s.stamp(count).first;
    if (sec == 0) continue;
    ++converted;
    const int msgCount = static_cast<int>(sec - 100);
    if (msgCount == 9000000) ++fromOutside;
    if (MURV::object_cast<Vector<ObjectRef>>(s.get(s.srcout, count)).size() != 2) ++torn;
    if (!consistent(MURV::object_cast<Map<int, ObjectRef>>(s.get(s.mapout, count)), msgCount)) ++torn;
  }
  EXPECT_GT(converted, 50);
  EXPECT_GT(fromOutside, 0) << outside.output();
  EXPECT_EQ(torn, 0);
  // Destroyed while the traffic goes on.
  s.node.reset();
  const int before = sent;
  EXPECT_TRUE(waitFor([&] { return sent > before + 100; }));
  stop = true;
  for (std::thread& t : publishers) t.join();
}
