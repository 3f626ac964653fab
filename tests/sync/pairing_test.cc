// The pairing rule as a pure function of a base stamp and a joint-state
// FIFO, across ten-second windows too, and the holders' capacity rule.
#include <gtest/gtest.h>

#include <tuple>

#include "nodes/JointStatePairing.h"
#include "SyncTestSupport.h"

using namespace synctest;

TEST(SyncPairing, TheLastJointStateStrictlyOlderThanTheBaseIsInForceAndTheOlderOnesGo) {
  // Stamps in microseconds, the states in FIFO order; the index of the state
  // in force, and whether the newest is at or after the base. Taking it
  // removes the states before it, whether or not they have caught up.
  struct Case { const char* what; long long base; std::vector<long long> states; std::size_t index; bool caughtUp; };
  const Case cases[] = {
      {"the last older one", 100500000, {100200000, 100400000, 100600000}, 1, true},
      {"one at the base time is not older", 100500000, {100500000, 100700000}, 0, true},
      {"FIFO order, not time order", 100500000, {100400000, 100200000, 100600000}, 1, true},
      {"none older: the front", 100500000, {100600000, 100700000}, 0, true},
      {"start-up: the default state", 1700000000500000, {0, 1700000000600000}, 0, true},
      {"not caught up", 100500000, {100200000, 100499999}, 1, false},
      {"across a window boundary", 109500000, {109300000, 109400000, 110200000}, 1, true},
      {"a window earlier, same window time", 100500000, {90500000, 100600000}, 0, true},
      {"a window earlier, later window time", 100500000, {90400000, 90600000, 100700000}, 1, true},
      {"a window later, earlier window time", 100500000, {100400000, 110400000}, 0, true},
      {"newest a second earlier, later window time", 100500000, {99900000}, 0, false},
      {"the largest stamp", 4294967295000000, {0}, 0, false},
  };
  for (const Case& c : cases) {
    std::deque<sensor_msgs::JointState> fifo;
    for (long long t : c.states) fifo.push_back(jointAt(t));
    EXPECT_EQ(murvsync::indexInForce(at(c.base), fifo), c.index) << c.what;
    EXPECT_EQ(murvsync::caughtUp(at(c.base), fifo.back().header.stamp), c.caughtUp) << c.what;
    callbackFuncSyncRosJointState holder(-1, false);
    holder.fifo_jointstate = fifo;
    const callbackFuncSyncRosJointState::InForce taken = holder.takeInForce(at(c.base));
    EXPECT_EQ(taken.state.header.stamp, fifo[c.index].header.stamp) << c.what;
    EXPECT_EQ(taken.held, fifo.size() - c.index) << c.what;
    EXPECT_EQ(holder.front().header.stamp, fifo[c.index].header.stamp) << c.what;
  }
}

// A joint-state publisher that has stopped costs one wait; the warning
// about it comes at most once a second.
TEST(SyncPairing, JointStatesThatFellBehindAreWaitedForAgainOnlyOnceTheyMove) {
  murvsync::LateJointStates late;
  // The newest joint state's stamp and the time, in microseconds; whether to wait, whether to warn.
  for (auto [newest, now, waits, warns] : std::vector<std::tuple<long long, long long, bool, bool>>{
           {5000000, 0, true, true}, {5000000, 400000, false, false}, {5000000, 1000000, false, true},
           {5020000, 1500000, true, false}, {5040000, 2000000, true, true}}) {
    EXPECT_EQ(late.worthWaiting(at(newest)), waits) << now;
    EXPECT_EQ(late.fellBehind(at(newest), now), warns) << now;
  }
  late.caughtUp();  // an exact pairing: the same stamp again is waited for
  EXPECT_TRUE(late.worthWaiting(at(5040000)));
}

// Both keep the newest DATA_BUFFER_NUM (0: one, negative: all); each copy queued wakes the node.
TEST(SyncHolders, CapacityKeepsTheNewestAndTheJointFifoIsNeverEmpty) {
  struct Case { int capacity, sent; std::vector<int> audio, joints; };  // the counts kept; the joint states' seconds
  for (const Case& c : {Case{3, 5, {3, 4, 5}, {3, 4, 5}}, Case{3, 1, {1}, {0, 1}}, Case{0, 4, {4}, {4}},
                        Case{-1, 7, {1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}}}) {
    callbackFuncSyncMurvMsgsAndJointState stream(c.capacity, false);
    callbackFuncSyncRosJointState joint(c.capacity, false);
    for (int i = 1; i <= c.sent; ++i) {
      stream.cb_murvsource(shared(subtest::source(i, 2, 2)));
      joint.cb(shared(jointAt(1000000 * i)));
    }
    std::vector<int> audio, joints;
    for (const auto& m : stream.fifo_murvsource) audio.push_back(m.count);
    for (const auto& s : joint.fifo_jointstate) joints.push_back(int(s.header.stamp.sec));
    EXPECT_EQ(audio, c.audio) << c.capacity;
    EXPECT_EQ(joints, c.joints) << c.capacity;
    EXPECT_EQ(stream.arrivals.notifications(), std::uint64_t(c.sent)) << c.capacity;
    EXPECT_EQ(joint.arrivals.notifications(), std::uint64_t(c.sent)) << c.capacity;
  }
}
