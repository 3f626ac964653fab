#include "RosMurvMsgsPublisher.h"

#include <complex>
#include <cstdint>
#include <iostream>
#include <utility>

#include "convert/HostToMsg.h"
#include "Map.h"
#include "stop/LeaveWatch.h"
#include "Matrix.h"
#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosHandle.h"
#include "Source.h"
#include "TimeStamp.h"
#include "Vector.h"

namespace {

const char* const kFile = "RosMurvMsgsPublisher";

// The TIMESTAMP_TYPE values that make stamps; any other leaves them 0.
const char* const rosTimeNow = "ROS_TIME_NOW";
const char* const constantIncrement = "CONSTANT_INCREMENT";

typedef MURV::Map<int, MURV::ObjectRef> SourceMap;

// A publisher that was never advertised, or whose topic has gone, is skipped.
template <class M> void publishOn(const murvnode::TopicPublisher& publisher, const M& message) {
  if (publisher) publisher.publish(message);
}

}  // namespace

RosMurvMsgsPublisher::RosMurvMsgsPublisher(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  using namespace murvnode;
  advance = paramInt(parameters, "ADVANCE");
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  topicMurvWave = paramString(parameters, "TOPIC_NAME_MURVWAVE");
  topicMurvFFT = paramString(parameters, "TOPIC_NAME_MURVFFT");
  topicMurvFeature = paramString(parameters, "TOPIC_NAME_MURVFEATURE");
  topicMurvSource = paramString(parameters, "TOPIC_NAME_MURVSOURCE");
  topicMurvSrcWave = paramString(parameters, "TOPIC_NAME_MURVSRCWAVE");
  topicMurvSrcFFT = paramString(parameters, "TOPIC_NAME_MURVSRCFFT");
  topicMurvSrcFeature = paramString(parameters, "TOPIC_NAME_MURVSRCFEATURE");
  topicMurvSrcFeatureMFM = paramString(parameters, "TOPIC_NAME_MURVSRCFEATUREMFM");
  bufferNum = paramInt(parameters, "BUFFER_NUM");
  rosLoopRate = checkedRate(this, "ROS_LOOP_RATE", paramFloat(parameters, "ROS_LOOP_RATE"), kFile, __LINE__);
  rosFrameID = paramString(parameters, "ROS_FRAME_ID");
  timestampType = paramString(parameters, "TIMESTAMP_TYPE");
  samplingRate = paramInt(parameters, "SAMPLING_RATE");

  if (timestampType != rosTimeNow && timestampType != constantIncrement)
    warnNoneOf(*this, "TIMESTAMP_TYPE", timestampType, {rosTimeNow, constantIncrement},
               "the stamps are 0 while TIMESTAMP is not connected");
  if (timestampType == constantIncrement && samplingRate <= 0)
    throw new MURV::NodeException(
        this, "SAMPLING_RATE must be positive for CONSTANT_INCREMENT stamps (got " + std::to_string(samplingRate) + ")",
        kFile, __LINE__);
  // Only CONSTANT_INCREMENT stamps use the period; without a positive rate
  // it has no meaning and stays 0.
  framePeriod = samplingRate > 0 ? static_cast<float>(advance) / static_cast<float>(samplingRate) : 0.0f;

  outputID = addOutput("OUTPUT");
  made = PacingRate::installStopSignals();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

// The topics are withdrawn here, marked as the node's own leaving, rather
// than as the members go: a master that no longer answers must not hold it.
RosMurvMsgsPublisher::~RosMurvMsgsPublisher() {
  murvmaster::shutDownLeaving(pubMurvWave, pubMurvFFT, pubMurvFeature, pubMurvSource, pubMurvSrcWave, pubMurvSrcFFT,
                              pubMurvSrcFeature, pubMurvSrcFeatureMFM);
}

std::vector<std::string> RosMurvMsgsPublisher::inputsOnRequest() {
  return {"MIC_WAVE", "MIC_FFT", "SRC_INFO", "SRC_WAVE", "SRC_FFT", "SRC_FEATURE", "SRC_RELIABILITY", "TIMESTAMP"};
}

int RosMurvMsgsPublisher::translateInput(const std::string& port) {
  // In the order of inputsOnRequest().
  int* const ids[] = {&micWaveID, &micFFTID, &srcInfoID, &srcWaveID,
                      &srcFFTID, &srcFeatureID, &srcReliabilityID, &timestampID};
  const std::vector<std::string> names = inputsOnRequest();
  for (size_t i = 0; i < names.size(); ++i) {
    if (port == names[i]) {
      *ids[i] = addInput(port);
      return *ids[i];
    }
  }
  throw new MURV::NodeException(this, port + " is not supported.", kFile, 336);
}

void RosMurvMsgsPublisher::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  // The connected inputs choose the topics advertised; each of those needs
  // a name before anything is advertised.
  const bool info = srcInfoID != -1;
  using namespace murv_msgs;
  using murvnode::advertiseShared;
  const struct {
    bool used;
    const char* parameter;
    const std::string& topic;
    murvnode::TopicPublisher& publisher;
    murvnode::TopicPublisher (*advertise)(MURV::Node*, const char*, int, const std::string&, const std::string&,
                                          std::uint32_t);
  } topics[] = {
      {micWaveID != -1, "TOPIC_NAME_MURVWAVE", topicMurvWave, pubMurvWave, advertiseShared<MurvWave>},
      {micFFTID != -1, "TOPIC_NAME_MURVFFT", topicMurvFFT, pubMurvFFT, advertiseShared<MurvFFT>},
      {srcFeatureID != -1 && !info, "TOPIC_NAME_MURVFEATURE", topicMurvFeature, pubMurvFeature,
       advertiseShared<MurvFeature>},
      {info, "TOPIC_NAME_MURVSOURCE", topicMurvSource, pubMurvSource, advertiseShared<MurvSource>},
      {info && srcWaveID != -1, "TOPIC_NAME_MURVSRCWAVE", topicMurvSrcWave, pubMurvSrcWave,
       advertiseShared<MurvSrcWave>},
      {info && srcFFTID != -1, "TOPIC_NAME_MURVSRCFFT", topicMurvSrcFFT, pubMurvSrcFFT, advertiseShared<MurvSrcFFT>},
      {info && srcFeatureID != -1, "TOPIC_NAME_MURVSRCFEATURE", topicMurvSrcFeature, pubMurvSrcFeature,
       advertiseShared<MurvSrcFeature>},
      {info && srcReliabilityID != -1, "TOPIC_NAME_MURVSRCFEATUREMFM", topicMurvSrcFeatureMFM, pubMurvSrcFeatureMFM,
       advertiseShared<MurvSrcFeatureMFM>}};
  for (const auto& t : topics)
    if (t.used) murvnode::checkedTopic(this, t.parameter, t.topic, kFile, __LINE__);
  // Every iteration paces itself on the ROS clock, so the ROS connection is
  // needed even when no input asks for a topic.
  onSharedRosHandle(this, kFile, __LINE__, [](ros::NodeHandle&) {});
  const std::uint32_t queue = murvnode::rosQueueSize(bufferNum);
  for (const auto& t : topics)
    if (t.used) t.publisher = t.advertise(this, kFile, __LINE__, t.parameter, t.topic, queue);
  MURV::BufferedNode::initialize();
}

MURV::ObjectRef RosMurvMsgsPublisher::getOutput(int output_id, int count) {
  MURV::Buffer& buffer = murvnode::outputBuffer(this, outputRecords, output_id, kFile, __LINE__);
  return murvnode::calculateUpTo(
      this, lastCount, buffer, count, [&](int c) { calculate(output_id, c, buffer); }, kFile, 730);
}

ros::Time RosMurvMsgsPublisher::stampFor(int count) {
  if (timestampID != -1) return hosttomsg::stampOf(MURV::object_cast<MURV::TimeStamp>(getInput(timestampID, count)));
  if (timestampType == rosTimeNow) return ros::Time::now();
  if (timestampType == constantIncrement) {
    if (count == 0) baseTime = ros::Time::now();
    ros::Time stamp;
    if (!hosttomsg::addSeconds(baseTime, hosttomsg::frameOffset(count, framePeriod), &stamp))
      throw new MURV::NodeException(this, "The CONSTANT_INCREMENT stamp of count " + std::to_string(count) +
                                              " lies outside the range of a ROS time",
                                    kFile, __LINE__);
    return stamp;
  }
  return ros::Time();
}

void RosMurvMsgsPublisher::calculate(int, int count, MURV::Buffer& out) {
  // The data inputs, each as its port's type; OUTPUT carries the last one.
  MURV::RCPtr<MURV::Matrix<float> > micWave;
  MURV::RCPtr<MURV::Matrix<std::complex<float> > > micFFT;
  MURV::RCPtr<MURV::Vector<MURV::ObjectRef> > srcInfo;
  MURV::RCPtr<SourceMap> srcWave, srcFFT, srcFeature, srcReliability;
  if (micWaveID != -1) out[count] = micWave = getInput(micWaveID, count);
  if (micFFTID != -1) out[count] = micFFT = getInput(micFFTID, count);
  if (srcInfoID != -1) out[count] = srcInfo = getInput(srcInfoID, count);
  if (srcWaveID != -1) out[count] = srcWave = getInput(srcWaveID, count);
  if (srcFFTID != -1) out[count] = srcFFT = getInput(srcFFTID, count);
  if (srcFeatureID != -1) out[count] = srcFeature = getInput(srcFeatureID, count);
  if (srcReliabilityID != -1) out[count] = srcReliability = getInput(srcReliabilityID, count);

  // The waveform and spectrum go out as frames that read the host matrices
  // in place; they serialise to MurvWave and MurvFFT.
  hosttomsg::WaveFrame wave;
  hosttomsg::FFTFrame fft;
  murv_msgs::MurvFeature feature;
  murv_msgs::MurvSource source;
  murv_msgs::MurvSrcWave srcWaveMsg;
  murv_msgs::MurvSrcFFT srcFFTMsg;
  murv_msgs::MurvSrcFeature srcFeatureMsg;
  murv_msgs::MurvSrcFeatureMFM srcFeatureMFMMsg;

  const ros::Time stamp = stampFor(count);
  // header.seq stays 0: roscpp numbers each topic's messages as it sends them.
  auto head = [&](auto& m) {
    m.count = count;
    m.header.stamp = stamp;
    m.header.frame_id = rosFrameID;
  };
  head(wave);
  head(fft);
  head(feature);
  head(source);
  head(srcWaveMsg);
  head(srcFFTMsg);
  head(srcFeatureMsg);
  head(srcFeatureMFMMsg);

  murvnode::PacingRate rate(*this, made, static_cast<double>(rosLoopRate), count);

  if (micWave.get()) {
    hosttomsg::fillWave(wave, *micWave, enableDebug);
    publishOn(pubMurvWave, wave);
  }
  if (micFFT.get()) {
    hosttomsg::fillFFT(fft, *micFFT, enableDebug);
    publishOn(pubMurvFFT, fft);
  }
  if (srcFeature.get() && !srcInfo.get()) {
    hosttomsg::fillFeature(feature, *srcFeature);
    publishOn(pubMurvFeature, feature);
  }
  if (srcInfo.get()) {
    hosttomsg::SourceMaps maps;
    maps.wave = srcWave.get();
    maps.fft = srcFFT.get();
    maps.feature = srcFeature.get();
    maps.reliability = srcReliability.get();
    hosttomsg::fillSources(hosttomsg::SourceMessages{source, srcWaveMsg, srcFFTMsg, srcFeatureMsg, srcFeatureMFMMsg},
                           *srcInfo, maps, advance, enableDebug, this);
    publishOn(pubMurvSource, source);
    if (maps.wave) publishOn(pubMurvSrcWave, srcWaveMsg);
    if (maps.fft) publishOn(pubMurvSrcFFT, srcFFTMsg);
    if (maps.feature) publishOn(pubMurvSrcFeature, srcFeatureMsg);
    if (maps.reliability) publishOn(pubMurvSrcFeatureMFM, srcFeatureMFMMsg);
  }

  rate.sleep();
}
