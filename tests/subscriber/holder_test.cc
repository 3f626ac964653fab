// The subscriber's callback holder, its callbacks called directly as roscpp
// would call them: what a queued copy keeps, the FIFO order and bound, the
// receipt traces, and messages it must refuse without ever throwing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "ros/MsgFifo.h"
#include "SubscriberTestSupport.h"
#include "alloc_guard.h"
#include "nodes/callbackFuncMurvMsgsSubscriber.h"

using namespace subtest;
using ros::console::levels::Error;
using ros::console::levels::Info;

namespace {

template <class M>
std::vector<int> countsIn(const std::deque<M>& fifo) {
  std::vector<int> counts;
  for (const M& m : fifo) counts.push_back(m.count);
  return counts;
}

std::string thisThread() { return murvmsg::threadIdText(); }

}  // namespace

TEST(SubscriberHolder, AFullFifoDropsExactlyTheOldest) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  for (int c = 1; c <= 6; ++c) h.cb_murvsource(shared(source(c, 1, 1)));
  EXPECT_EQ(countsIn(h.fifo_murvsource), (std::vector<int>{2, 3, 4, 5, 6}));
  for (int c = 7; c <= 9; ++c) h.cb_murvsource(shared(source(c, 1, 1)));
  EXPECT_EQ(countsIn(h.fifo_murvsource), (std::vector<int>{5, 6, 7, 8, 9}));
  // Only the subscribed type's FIFO ever fills.
  EXPECT_TRUE(h.fifo_murvwave.empty());
  EXPECT_TRUE(h.fifo_murvsorvex.empty());

  // The consumer sees the oldest first and removes it.
  std::vector<int> seen;
  while (murvmsg::useOldest("MurvSource", h.fifo_lock, h.fifo_murvsource, false,
                            [&](const murv_msgs::MurvSource& m, std::size_t) { seen.push_back(m.count); }) ==
         murvmsg::Oldest::Used) {
  }
  EXPECT_EQ(seen, (std::vector<int>{5, 6, 7, 8, 9}));
}

TEST(SubscriberHolder, ACapacityBelowOneKeepsTheNewestMessage) {
  for (int capacity : {1, 0, -3}) {
    callbackFuncMurvMsgsSubscriber h(capacity, false);
    EXPECT_EQ(h.capacity, capacity) << "stored as passed";
    for (int c = 1; c <= 4; ++c) h.cb_murvwave(shared(wave(c, 1, 2)));
    EXPECT_EQ(countsIn(h.fifo_murvwave), std::vector<int>{4}) << "capacity " << capacity;
  }
}

TEST(SubscriberHolder, KeepLastLeavesTheOnlyEntryQueued) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  h.cb_murvwave(shared(wave(1, 1, 2)));
  std::vector<int> seen;
  auto take = [&] {
    return murvmsg::useOldest("MurvWave", h.fifo_lock, h.fifo_murvwave, true,
                              [&](const murv_msgs::MurvWave& m, std::size_t) { seen.push_back(m.count); }) ==
           murvmsg::Oldest::Used;
  };
  EXPECT_TRUE(take());
  EXPECT_TRUE(take());
  h.cb_murvwave(shared(wave(2, 1, 2)));
  EXPECT_TRUE(take());
  EXPECT_TRUE(take());
  EXPECT_TRUE(take());
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 2, 2}));
  EXPECT_EQ(h.fifo_murvwave.size(), 1u);

  // A message whose use fails, in any way, is dropped, kept last or not: it
  // never holds the head of the FIFO.
  LogCapture log;
  h.cb_murvwave(shared(wave(3, 1, 2)));
  auto failWith = [&](auto fail) {
    return murvmsg::useOldest("MurvWave", h.fifo_lock, h.fifo_murvwave, true,
                              [&](const murv_msgs::MurvWave&, std::size_t) { fail(); });
  };
  EXPECT_EQ(failWith([] { throw std::bad_array_new_length(); }), murvmsg::Oldest::Dropped);
  EXPECT_EQ(failWith([] { throw new MURV::GeneralException("no host for it", "here", 1); }), murvmsg::Oldest::Dropped);
  EXPECT_TRUE(h.fifo_murvwave.empty());
  EXPECT_EQ(failWith([] {}), murvmsg::Oldest::None);
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: std::bad_array_new_length"), 1);
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: here, line 1: no host for it"), 1);
}

TEST(SubscriberHolder, CopiesKeepTheHeaderButNotSeq) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  murv_msgs::MurvWave w = wave(3, 2, 3);
  h.cb_murvwave(shared(w));
  ASSERT_EQ(h.fifo_murvwave.size(), 1u);
  const murv_msgs::MurvWave& c = h.fifo_murvwave.front();
  EXPECT_EQ(c.header.seq, 0u);
  EXPECT_EQ(c.header.stamp, w.header.stamp);
  EXPECT_EQ(c.header.frame_id, "mic");
  murv_msgs::MurvWave expected = w;
  expected.header.seq = 0;
  EXPECT_EQ(c, expected) << "everything else as received";
}

TEST(SubscriberHolder, CopiesOfEveryTypeHoldEveryFieldTheyKeep) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  auto noSeq = [](auto m) {
    m.header.seq = 0;
    return m;
  };
  murv_msgs::MurvFFT f = fft(1, 3, 4);
  f.src[1].fftdata_imag.pop_back();  // real and imaginary lists of their own sizes
  h.cb_murvfft(shared(f));
  EXPECT_EQ(h.fifo_murvfft.front(), noSeq(f));

  murv_msgs::MurvFeature fe = feature(2, 3, 3, 4);
  h.cb_murvfeature(shared(fe));
  EXPECT_EQ(h.fifo_murvfeature.front(), noSeq(fe));

  murv_msgs::MurvSource so = source(3, 2, 2);
  h.cb_murvsource(shared(so));
  EXPECT_EQ(h.fifo_murvsource.front(), noSeq(so));

  murv_msgs::MurvSrcWave sw = srcWave(4, 2, 2, 5);
  h.cb_murvsrcwave(shared(sw));
  EXPECT_EQ(h.fifo_murvsrcwave.front(), noSeq(sw));

  murv_msgs::MurvSrcFFT sf = srcFFT(5, 2, 2, 3);
  h.cb_murvsrcfft(shared(sf));
  EXPECT_EQ(h.fifo_murvsrcfft.front(), noSeq(sf));

  murv_msgs::MurvSrcFeature sfe = srcFeature(6, 2, 2, 3);
  h.cb_murvsrcfeature(shared(sfe));
  EXPECT_EQ(h.fifo_murvsrcfeature.front(), noSeq(sfe));

  murv_msgs::MurvSrcFeatureMFM mfm = srcFeatureMFM(7, 2, 2, 3, 2);
  mfm.src[1].length_mfm = 5;  // says 5, holds 2: copied as it is
  h.cb_murvsrcfeaturemfm(shared(mfm));
  EXPECT_EQ(h.fifo_murvsrcfeaturemfm.front(), noSeq(mfm));

  murv_msgs::MurvSorvex sx = sorvex(3);
  h.cb_murvsorvex(shared(sx));
  EXPECT_EQ(h.fifo_murvsorvex.front(), noSeq(sx));
  EXPECT_EQ(h.fifo_murvsorvex.front().src[1].entries[1].entry_subtext, std::string("sub\0text", 8));
}

TEST(SubscriberHolder, CountFieldsNeverReachBeyondTheirLists) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  // exist_src_num 2 of three elements: two copied, the count kept.
  h.cb_murvsource(shared(source(1, 3, 2)));
  EXPECT_EQ(h.fifo_murvsource.back().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvsource.back().exist_src_num, 2);
  EXPECT_EQ(h.fifo_murvsource.back().src[1].id, 11);
  // exist_src_num 4 of two elements: both, and 4 stays.
  h.cb_murvsrcwave(shared(srcWave(1, 2, 4, 3)));
  EXPECT_EQ(h.fifo_murvsrcwave.back().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvsrcwave.back().exist_src_num, 4);
  // 0 and negative copy nothing.
  h.cb_murvfeature(shared(feature(1, 2, 0, 3)));
  h.cb_murvfeature(shared(feature(2, 2, -1, 3)));
  h.cb_murvfeature(shared(feature(3, 2, -2147483647 - 1, 3)));
  ASSERT_EQ(h.fifo_murvfeature.size(), 3u);
  for (const auto& m : h.fifo_murvfeature) EXPECT_TRUE(m.src.empty());
  EXPECT_EQ(h.fifo_murvfeature.back().exist_src_num, -2147483647 - 1);
  // nch is not consulted: every channel, nch kept.
  murv_msgs::MurvWave w = wave(1, 2, 3);
  w.nch = 4;
  h.cb_murvwave(shared(w));
  EXPECT_EQ(h.fifo_murvwave.back().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvwave.back().nch, 4);
  // An element's length does not limit its array.
  murv_msgs::MurvSrcFeature sf = srcFeature(1, 1, 1, 7);
  sf.src[0].length = 10;
  h.cb_murvsrcfeature(shared(sf));
  EXPECT_EQ(h.fifo_murvsrcfeature.back().src[0].featuredata.size(), 7u);
  EXPECT_EQ(h.fifo_murvsrcfeature.back().src[0].length, 10);
}

TEST(SubscriberHolder, TheCopySurvivesTheDeliveredMessage) {
  callbackFuncMurvMsgsSubscriber h(5, false);
  {
    boost::shared_ptr<murv_msgs::MurvSrcWave> delivered = boost::make_shared<murv_msgs::MurvSrcWave>(srcWave(1, 2, 2, 4));
    h.cb_murvsrcwave(delivered);
    delivered->src[0].wavedata[0] = 42.0f;
    delivered->header.frame_id = "changed";
  }  // roscpp releases its message here
  EXPECT_EQ(h.fifo_murvsrcwave.front().src[0].wavedata[0], 0.0f);
  EXPECT_EQ(h.fifo_murvsrcwave.front().header.frame_id, "src");
}

TEST(SubscriberHolder, ReceiptTracesGoToStandardOutput) {
  {
    callbackFuncMurvMsgsSubscriber quiet(5, false);
    testing::internal::CaptureStdout();
    quiet.cb_murvwave(shared(wave(12, 1, 1)));
    quiet.cb_murvsource(shared(source(1, 1, 1)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  callbackFuncMurvMsgsSubscriber h(5, true);
  const std::string t = "] [thread=" + thisThread() + "]";
  testing::internal::CaptureStdout();
  h.cb_murvwave(shared(wave(12, 1, 1)));
  h.cb_murvsource(shared(source(1, 1, 1)));
  h.cb_murvsource(shared(source(-2, 1, 1)));
  h.cb_murvfft(shared(fft(3, 1, 1)));
  h.cb_murvfeature(shared(feature(4, 1, 1, 1)));
  h.cb_murvsrcwave(shared(srcWave(5, 1, 1, 1)));
  h.cb_murvsrcfft(shared(srcFFT(6, 1, 1, 1)));
  h.cb_murvsrcfeature(shared(srcFeature(7, 1, 1, 1)));
  h.cb_murvsrcfeaturemfm(shared(srcFeatureMFM(8, 1, 1, 1, 1)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "MurvWave received [12]\n"
            "MurvSource received [1" + t + "MurvSource received [-2" + t + "MurvFFT received [3" + t +
                "MurvFeature received [4" + t + "MurvSrcWave received [5" + t + "MurvSrcFFT received [6" + t +
                "MurvSrcFeature received [7" + t + "MurvSrcFeatureMFM received [8" + t);
  // The thread id is the calling thread's.
  testing::internal::CaptureStdout();
  std::string other;
  std::thread([&] {
    other = thisThread();
    h.cb_murvsource(shared(source(9, 1, 1)));
  }).join();
  EXPECT_NE(other, thisThread());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "MurvSource received [9] [thread=" + other + "]");
}

TEST(SubscriberHolder, TheRecognitionReceiptIsOneRosInfoRecord) {
  // Print the logger's name with every record.
  ros::console::initialize();
  ros::console::g_formatter.init("[${logger}]: ${message}");
  LogCapture log;
  callbackFuncMurvMsgsSubscriber h(5, true);
  testing::internal::CaptureStdout();
  h.cb_murvsorvex(shared(sorvex(1)));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string text = "MurvSorvex received [thread=" + thisThread() + "]";
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, Info);
  EXPECT_EQ(log.records()[0].text, text);
  // What reaches standard output is rosconsole's own printing of that
  // record, under the default logger of a package without a name.
  EXPECT_NE(out.find("[ros.unknown_package]: " + text), std::string::npos) << out;
  EXPECT_EQ(h.fifo_murvsorvex.size(), 1u);

  callbackFuncMurvMsgsSubscriber quiet(5, false);
  quiet.cb_murvsorvex(shared(sorvex(1)));
  EXPECT_EQ(log.records().size(), 1u);

  // Silencing that logger silences the record: it is the one it goes to.
  ros::console::set_logger_level("ros.unknown_package", ros::console::levels::Warn);
  ros::console::notifyLoggerLevelsChanged();
  h.cb_murvsorvex(shared(sorvex(1)));
  EXPECT_EQ(log.records().size(), 1u);
}

TEST(SubscriberHolder, AMessageThatWouldBecomeTooLargeIsDroppedWithAnError) {
  LogCapture log;
  callbackFuncMurvMsgsSubscriber h(5, false);
  // 65536 channels by 65536 samples: 2^32 cells, 0 when counted in 32 bits,
  // from a message of half a megabyte.
  murv_msgs::MurvWave w;
  w.nch = 65536;
  w.length = 65536;
  w.src.resize(65536);
  w.src[0].wavedata.assign(65536, 1.0f);
  h.cb_murvwave(shared(w));
  EXPECT_TRUE(h.fifo_murvwave.empty());
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: it would make 4294967296 values on the host, more than 16777216"),
            1);

  // Exactly at the limit is taken: 4096 rows of the longest row, 4096.
  w.nch = 4096;
  w.length = 4096;
  w.src.resize(4096);
  w.src[0].wavedata.assign(4096, 1.0f);
  h.cb_murvwave(shared(w));
  EXPECT_EQ(h.fifo_murvwave.size(), 1u);
  w.nch = 4097;
  w.src.resize(4097);
  h.cb_murvwave(shared(w));
  EXPECT_EQ(h.fifo_murvwave.size(), 1u);
  EXPECT_EQ(log.count(Error, "MurvWave message dropped"), 2);

  // The same for a spectrum.
  murv_msgs::MurvFFT f;
  f.nch = 65536;
  f.length = 2000000000;
  f.src.resize(65536);
  f.src[3].fftdata_imag.assign(65536, 1.0f);
  h.cb_murvfft(shared(f));
  EXPECT_TRUE(h.fifo_murvfft.empty());
  EXPECT_EQ(log.count(Error, "MurvFFT message dropped"), 1);
}

TEST(SubscriberHolder, AFailedCopyIsLoggedAndDroppedWithoutThrowing) {
  LogCapture log;
  callbackFuncMurvMsgsSubscriber h(5, false);
  h.cb_murvsrcwave(shared(srcWave(1, 1, 1, 2)));
  const boost::shared_ptr<const murv_msgs::MurvSrcWave> big = shared(srcWave(2, 2, 2, 100000));
  {
    AllocGuard guard(64 * 1024);
    EXPECT_NO_THROW(h.cb_murvsrcwave(big));
    EXPECT_TRUE(guard.refused());
  }
  EXPECT_EQ(countsIn(h.fifo_murvsrcwave), std::vector<int>{1}) << "nothing half-copied, nothing lost";
  EXPECT_EQ(log.count(Error, "MurvSrcWave message dropped: out of memory while copying it"), 1);
  h.cb_murvsrcwave(big);
  EXPECT_EQ(countsIn(h.fifo_murvsrcwave), (std::vector<int>{1, 2}));
}

namespace {
// An entry whose move fails when asked to, as an allocation inside it would.
struct Fragile {
  int v;
  explicit Fragile(int value) : v(value) {}
  Fragile(Fragile&& o) : v(o.v) {
    if (v < 0) throw std::bad_alloc();
  }
  Fragile& operator=(Fragile&& o) {
    v = o.v;
    return *this;
  }
};
}  // namespace

TEST(SubscriberHolder, AFailedAppendToAFullFifoDropsNothing) {
  std::mutex lock;
  std::deque<Fragile> fifo;
  murvmsg::appendBounded(lock, fifo, 2, Fragile(1));
  murvmsg::appendBounded(lock, fifo, 2, Fragile(2));
  int underLock = 0;
  EXPECT_THROW(murvmsg::appendBounded(lock, fifo, 2, Fragile(-3), [&] { ++underLock; }), std::bad_alloc);
  ASSERT_EQ(fifo.size(), 2u);
  EXPECT_EQ(fifo[0].v, 1);
  EXPECT_EQ(fifo[1].v, 2);
  EXPECT_EQ(underLock, 0);
  murvmsg::appendBounded(lock, fifo, 2, Fragile(4), [&] { ++underLock; });
  ASSERT_EQ(fifo.size(), 2u);
  EXPECT_EQ(fifo[0].v, 2);
  EXPECT_EQ(fifo[1].v, 4);
  EXPECT_EQ(underLock, 1);
  EXPECT_TRUE(lock.try_lock()) << "the lock is released after a failure too";
  lock.unlock();
}
