// The stream nodes' callback holders without ROS: the FIFO rules, the
// first-message flag, what each callback copies, the receipt traces, and
// messages whose counts promise more than they carry.
#include <gtest/gtest.h>

#include <climits>

#include "ros/MsgFifo.h"
#include "convert/MsgToHost.h"
#include "StreamTestSupport.h"
#include "alloc_guard.h"
#include "nodes/callbackFuncAudioStreamFromRos.h"
#include "nodes/callbackFuncMurvMsgsStreamFromRos.h"

using namespace subtest;
using ros::console::levels::Error;
using ros::console::levels::Info;
using streamtest::ownLines;

namespace {

template <class M>
std::vector<int> countsIn(const std::deque<M>& fifo) {
  std::vector<int> out;
  for (const M& m : fifo) out.push_back(m.count);
  return out;
}

std::size_t entriesOf(callbackFuncMurvMsgsStreamFromRos& h) {
  return h.fifo_murvwave.size() + h.fifo_murvfft.size() + h.fifo_murvfeature.size() + h.fifo_murvsource.size() +
         h.fifo_murvsrcwave.size() + h.fifo_murvsrcfft.size() + h.fifo_murvsrcfeature.size() +
         h.fifo_murvsrcfeaturemfm.size();
}

}  // namespace

TEST(StreamHolder, AFullFifoDropsExactlyItsOldestEntry) {
  callbackFuncMurvMsgsStreamFromRos three(3, false);
  for (int c = 1; c <= 5; ++c) three.cb_murvwave(shared(wave(c, 1, 2)));
  EXPECT_EQ(countsIn(three.fifo_murvwave), (std::vector<int>{3, 4, 5}));

  // The configured capacity is used as it stands, down to 1; below 1 a FIFO
  // still keeps the newest entry rather than growing or losing it.
  for (int capacity : {2, 1, 0, -4}) {
    callbackFuncMurvMsgsStreamFromRos h(capacity, false);
    const int kept = std::max(1, capacity);
    EXPECT_EQ(h.capacity, kept);
    for (int c = 1; c <= 4; ++c) {
      h.cb_murvsource(shared(source(c, 1, 1)));
      EXPECT_LE(h.fifo_murvsource.size(), static_cast<std::size_t>(kept));
      EXPECT_EQ(h.fifo_murvsource.back().count, c);
    }
    EXPECT_EQ(h.fifo_murvsource.front().count, 5 - kept) << capacity;
  }
}

TEST(StreamHolder, TheFirstMessageFlagClearsOnceForEveryType) {
  callbackFuncMurvMsgsStreamFromRos h(5, false);
  EXPECT_EQ(h.first_message_flag, 1);
  EXPECT_FALSE(h.firstMessageArrived());
  h.cb_murvsrcfft(shared(srcFFT(1, 1, 1, 2)));
  EXPECT_EQ(h.first_message_flag, 0);
  EXPECT_TRUE(h.firstMessageArrived());
  ASSERT_TRUE(murvmsg::takeOldest(h.fifo_lock, h.fifo_murvsrcfft).has_value());
  EXPECT_FALSE(murvmsg::takeOldest(h.fifo_lock, h.fifo_murvsrcfft).has_value());
  EXPECT_TRUE(h.firstMessageArrived()) << "an emptied FIFO does not set the flag back";

  // A message that is not queued does not clear it.
  callbackFuncMurvMsgsStreamFromRos dropped(5, false);
  murv_msgs::MurvWave huge;
  huge.nch = huge.length = 65536;
  huge.src.resize(65536);
  huge.src[0].wavedata.assign(65536, 1.0f);
  dropped.cb_murvwave(shared(huge));
  EXPECT_TRUE(dropped.fifo_murvwave.empty());
  EXPECT_FALSE(dropped.firstMessageArrived());
}

TEST(StreamHolder, EachCallbackQueuesItsOwnCopyInItsOwnFifo) {
  callbackFuncMurvMsgsStreamFromRos h(5, false);
  h.cb_murvwave(shared(wave(1, 2, 3)));
  EXPECT_EQ(entriesOf(h), 1u);
  h.cb_murvfft(shared(fft(2, 1, 2)));
  h.cb_murvfeature(shared(feature(3, 1, 1, 2)));
  h.cb_murvsource(shared(source(4, 1, 1)));
  h.cb_murvsrcwave(shared(srcWave(5, 1, 1, 2)));
  h.cb_murvsrcfft(shared(srcFFT(6, 1, 1, 2)));
  h.cb_murvsrcfeature(shared(srcFeature(7, 1, 1, 2)));
  h.cb_murvsrcfeaturemfm(shared(srcFeatureMFM(8, 1, 1, 2, 2)));
  EXPECT_EQ(countsIn(h.fifo_murvwave), std::vector<int>{1});
  EXPECT_EQ(countsIn(h.fifo_murvfft), std::vector<int>{2});
  EXPECT_EQ(countsIn(h.fifo_murvfeature), std::vector<int>{3});
  EXPECT_EQ(countsIn(h.fifo_murvsource), std::vector<int>{4});
  EXPECT_EQ(countsIn(h.fifo_murvsrcwave), std::vector<int>{5});
  EXPECT_EQ(countsIn(h.fifo_murvsrcfft), std::vector<int>{6});
  EXPECT_EQ(countsIn(h.fifo_murvsrcfeature), std::vector<int>{7});
  EXPECT_EQ(countsIn(h.fifo_murvsrcfeaturemfm), std::vector<int>{8});

  // The copy owns its data: the delivered message can go at once.
  EXPECT_EQ(h.fifo_murvwave.front().src[1].wavedata, (std::vector<float>{1000, 1001, 1002}));
  EXPECT_EQ(h.fifo_murvfft.front().src[0].fftdata_imag, (std::vector<float>{-0.0f, -1.0f}));
}

TEST(StreamHolder, CountsAreCopiedAsTheyCameAndNothingIsReadBeyondAList) {
  callbackFuncMurvMsgsStreamFromRos h(5, false);
  // More sources in the list than announced: the announced ones.
  h.cb_murvsource(shared(source(1, 4, 2)));
  ASSERT_EQ(h.fifo_murvsource.front().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvsource.front().exist_src_num, 2);
  EXPECT_EQ(h.fifo_murvsource.front().src[1].id, 11);
  EXPECT_FLOAT_EQ(h.fifo_murvsource.front().src[1].elevation, -11.0f);
  // More announced than listed: those listed, the count as it came.
  h.cb_murvsrcwave(shared(srcWave(2, 2, 5, 3)));
  EXPECT_EQ(h.fifo_murvsrcwave.front().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvsrcwave.front().exist_src_num, 5);
  // A negative count: no source.
  h.cb_murvfeature(shared(feature(3, 2, -1, 3)));
  EXPECT_TRUE(h.fifo_murvfeature.front().src.empty());
  EXPECT_EQ(h.fifo_murvfeature.front().exist_src_num, -1);
  // Channels are copied whatever nch says.
  murv_msgs::MurvWave w = wave(4, 2, 3);
  w.nch = 4;
  h.cb_murvwave(shared(w));
  EXPECT_EQ(h.fifo_murvwave.front().nch, 4);
  EXPECT_EQ(h.fifo_murvwave.front().src.size(), 2u);
  EXPECT_EQ(h.fifo_murvwave.front().data_bytes, w.data_bytes);
  // The header without its sequence number.
  EXPECT_EQ(h.fifo_murvwave.front().header.seq, 0u);
  EXPECT_EQ(h.fifo_murvwave.front().header.stamp, ros::Time(12, 345678901));
  EXPECT_EQ(h.fifo_murvwave.front().header.frame_id, "mic");
  // An element's arrays are copied whole, whatever its length says.
  murv_msgs::MurvSrcFeatureMFM mfm = srcFeatureMFM(5, 1, 1, 2, 7);
  mfm.src[0].length_mfm = 5;
  h.cb_murvsrcfeaturemfm(shared(mfm));
  EXPECT_EQ(h.fifo_murvsrcfeaturemfm.front().src[0].featuredata_mfm.size(), 7u);
  EXPECT_EQ(h.fifo_murvsrcfeaturemfm.front().src[0].length_mfm, 5);
}

TEST(StreamHolder, ReceiptTracesGoToTheRosLogOnly) {
  LogCapture log;
  callbackFuncMurvMsgsStreamFromRos quiet(5, false);
  callbackFuncMurvMsgsStreamFromRos loud(5, true);
  testing::internal::CaptureStdout();
  quiet.cb_murvwave(shared(wave(7, 1, 1)));
  loud.cb_murvwave(shared(wave(7, 1, 1)));
  loud.cb_murvsrcfeaturemfm(shared(srcFeatureMFM(-3, 1, 1, 1, 1)));
  loud.cb_murvfft(shared(fft(2147483647, 1, 1)));
  EXPECT_EQ(ownLines(testing::internal::GetCapturedStdout()), "");
  const std::string thread = "] [thread=" + murvmsg::threadIdText() + "]";
  EXPECT_EQ(log.count(Info, "received ["), 3);
  EXPECT_EQ(log.count(Info, "MurvWave received [7" + thread), 1);
  EXPECT_EQ(log.count(Info, "MurvSrcFeatureMFM received [-3" + thread), 1);
  EXPECT_EQ(log.count(Info, "MurvFFT received [2147483647" + thread), 1);
}

TEST(StreamHolder, AMessageThatWouldBecomeTooLargeIsDroppedWithAnError) {
  LogCapture log;
  callbackFuncMurvMsgsStreamFromRos h(5, false);
  // 5000 channels of which one holds 16384 samples: 81,920,000 cells from a
  // message of 85 kB.
  murv_msgs::MurvWave w;
  w.nch = 5000;
  w.length = 16384;
  w.src.resize(5000);
  w.src[4999].wavedata.assign(16384, 1.0f);
  h.cb_murvwave(shared(w));
  EXPECT_TRUE(h.fifo_murvwave.empty());
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: it would make 81920000 values on the host, more than 16777216"),
            1);
}

TEST(AudioStreamHolder, TheCopyIsTrimmedToTheFrameAndNeverPadded) {
  callbackFuncAudioStreamFromRos h(10, false);
  // Four channels announced, two carried.
  murv_msgs::MurvWave w = wave(1, 2, 3);
  w.nch = 4;
  h.cb(shared(w));
  ASSERT_EQ(h.fifo_murvwave.size(), 1u);
  const murv_msgs::MurvWave& a = h.fifo_murvwave.back();
  EXPECT_EQ(a.nch, 4);
  EXPECT_EQ(a.length, 3);
  EXPECT_EQ(a.data_bytes, w.data_bytes);
  EXPECT_EQ(a.count, 1);
  EXPECT_EQ(a.header.seq, 0u);
  EXPECT_EQ(a.header.stamp, w.header.stamp);
  EXPECT_EQ(a.header.frame_id, "mic");
  ASSERT_EQ(a.src.size(), 2u);
  EXPECT_EQ(a.src[1].wavedata, (std::vector<float>{1000, 1001, 1002}));
  // The matrix made from it has the four rows, two of them 0.
  const MURV::ObjectRef four = murvmsg::toMatrix(a);
  const MURV::Matrix<float>& rows = MURV::object_cast<MURV::Matrix<float>>(four);
  EXPECT_EQ(std::vector<float>(rows.data, rows.data + rows.msize()),
            (std::vector<float>{0, 1, 2, 1000, 1001, 1002, 0, 0, 0, 0, 0, 0}));

  // More channels carried than announced, and channels longer and shorter
  // than length.
  murv_msgs::MurvWave v = wave(2, 3, 7);
  v.nch = 2;
  v.length = 5;
  v.src[0].wavedata.resize(3);
  h.cb(shared(v));
  const murv_msgs::MurvWave& b = h.fifo_murvwave.back();
  ASSERT_EQ(b.src.size(), 2u);
  EXPECT_EQ(b.src[0].wavedata, (std::vector<float>{0, 1, 2}));
  EXPECT_EQ(b.src[1].wavedata, (std::vector<float>{1000, 1001, 1002, 1003, 1004}));
  // The matrix made from it fills the short channel with 0.
  const MURV::ObjectRef m = murvmsg::toMatrix(b);
  const MURV::Matrix<float>& cells = MURV::object_cast<MURV::Matrix<float>>(m);
  EXPECT_EQ(std::vector<float>(cells.data, cells.data + 10),
            (std::vector<float>{0, 1, 2, 0, 0, 1000, 1001, 1002, 1003, 1004}));

  // Negative counts: nothing.
  murv_msgs::MurvWave n = wave(3, 2, 3);
  n.length = -1;
  h.cb(shared(n));
  EXPECT_EQ(h.fifo_murvwave.back().src.size(), 2u);
  EXPECT_TRUE(h.fifo_murvwave.back().src[0].wavedata.empty());
  n.nch = -2;
  h.cb(shared(n));
  EXPECT_TRUE(h.fifo_murvwave.back().src.empty());
}

TEST(AudioStreamHolder, CountsThatPromiseMoreThanTheFrameCarriesAllocateNothingLarge) {
  LogCapture log;
  callbackFuncAudioStreamFromRos h(5, false);
  murv_msgs::MurvWave w = wave(9, 2, 16);
  w.nch = INT_MAX;
  w.length = INT_MAX;
  murv_msgs::MurvWave atCap = w;
  atCap.nch = 4096;
  atCap.length = 4096;
  {
    // The queued copy holds what the frame carries, whatever the counts.
    AllocGuard guard(64 * 1024);
    h.cb(shared(w));
    EXPECT_TRUE(h.fifo_murvwave.empty()) << "more cells than the host takes";
    h.cb(shared(atCap));
    ASSERT_EQ(h.fifo_murvwave.size(), 1u);
    EXPECT_FALSE(guard.refused());
    EXPECT_LT(guard.largest(), 4096u);
  }
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: it would make 4611686014132420609 values"), 1);
  // The matrix follows the counts, 2^24 cells.
  const MURV::ObjectRef m = murvmsg::toMatrix(h.fifo_murvwave.front());
  const MURV::Matrix<float>& cells = MURV::object_cast<MURV::Matrix<float>>(m);
  EXPECT_EQ(std::make_pair(cells.rows, cells.cols), std::make_pair(4096, 4096));
  EXPECT_EQ(cells.data[4096 + 15], 1015.0f);
  EXPECT_EQ(cells.data[4096 + 16], 0.0f);
  // What the host could not hold is dropped, the flag left alone.
  callbackFuncAudioStreamFromRos big(5, false);
  murv_msgs::MurvWave b;
  b.nch = 65536;
  b.length = 65536;
  b.src.resize(65536);
  b.src[0].wavedata.assign(65536, 1.0f);
  big.cb(shared(b));
  EXPECT_TRUE(big.fifo_murvwave.empty());
  EXPECT_FALSE(big.firstMessageArrived());
  EXPECT_EQ(log.count(Error, "MurvWave message dropped: it would make 4294967296 values on the host"), 1);
}

TEST(AudioStreamHolder, FifoRulesFlagAndTrace) {
  LogCapture log;
  callbackFuncAudioStreamFromRos two(2, true);
  EXPECT_FALSE(two.firstMessageArrived());
  testing::internal::CaptureStdout();
  for (int c = 1; c <= 4; ++c) two.cb(shared(wave(c, 1, 1)));
  EXPECT_EQ(ownLines(testing::internal::GetCapturedStdout()), "");
  EXPECT_EQ(countsIn(two.fifo_murvwave), (std::vector<int>{3, 4}));
  EXPECT_TRUE(two.firstMessageArrived());
  EXPECT_EQ(log.count(Info, "Received [4] [thread=" + murvmsg::threadIdText() + "]"), 1);
  EXPECT_EQ(log.count(Info, "Received ["), 4);

  callbackFuncAudioStreamFromRos none(0, false);
  EXPECT_EQ(none.capacity, 1);
  none.cb(shared(wave(1, 1, 1)));
  none.cb(shared(wave(2, 1, 1)));
  EXPECT_EQ(countsIn(none.fifo_murvwave), std::vector<int>{2});
  EXPECT_EQ(log.count(Info, "Received ["), 4) << "no trace without DEBUG_PRINT";
}
