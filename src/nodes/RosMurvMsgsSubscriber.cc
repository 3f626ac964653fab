#include "RosMurvMsgsSubscriber.h"

#include <algorithm>
#include <complex>
#include <cstdint>
#include <iostream>
#include <type_traits>
#include <utility>

#include "Map.h"
#include "Matrix.h"
#include "ros/MsgFifo.h"
#include "convert/MsgToHost.h"
#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosReceiving.h"
#include "Vector.h"

namespace {

const char* const fileName = "RosMurvMsgsSubscriber";

}  // namespace

RosMurvMsgsSubscriber::RosMurvMsgsSubscriber(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  timestampID = addOutput("TIMESTAMP");

  using namespace murvnode;
  for (int i = 0; i < murvmsg::streamTypeCount; ++i)
    topicNames[i] = paramString(parameters, murvmsg::topicParameter(static_cast<murvmsg::StreamType>(i)));
  streamSelection = paramString(parameters, "STREAM_SELECTION");
  nbChannels = paramInt(parameters, "NB_CHANNELS");
  fftLength = paramInt(parameters, "FFT_LENGTH");
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  rosLoopRate = paramFloat(parameters, "ROS_LOOP_RATE");
  msgBufferNum = paramInt(parameters, "MSG_BUFFER_NUM");
  dataBufferNum = paramInt(parameters, "DATA_BUFFER_NUM");
  remainLatest = paramBool(parameters, "REMAIN_LATEST");
  selection = murvmsg::streamTypeNamed(streamSelection);

  checkedRate(this, "ROS_LOOP_RATE", rosLoopRate, fileName, __LINE__);
  // Only the selected type's topic is subscribed; the others are never
  // handed to ROS.
  if (selection != murvmsg::StreamType::None)
    checkedTopic(this, murvmsg::topicParameter(selection), topicNames[static_cast<int>(selection)], fileName,
                 __LINE__);
  // The zero matrix output while nothing has arrived must have a shape, and
  // one no larger than a received matrix may be; otherwise every such
  // iteration would fail outside the host's exceptions.
  if (selection == murvmsg::StreamType::MurvWave || selection == murvmsg::StreamType::MurvFFT) {
    const std::string shape = "NB_CHANNELS " + std::to_string(nbChannels) + " and FFT_LENGTH " +
                              std::to_string(fftLength);
    if (nbChannels < 0 || fftLength < 0)
      throw new MURV::NodeException(this, shape + " make no matrix", fileName, __LINE__);
    const std::uint64_t cols =
        static_cast<std::uint64_t>(selection == murvmsg::StreamType::MurvWave ? fftLength : fftLength / 2 + 1);
    const std::uint64_t cells = static_cast<std::uint64_t>(nbChannels) * cols;
    if (cells > murvmsg::maxHostValues)
      throw new MURV::NodeException(this,
                                    shape + " make a matrix of " + std::to_string(cells) + " values, more than " +
                                        std::to_string(murvmsg::maxHostValues),
                                    fileName, __LINE__);
  }

  if (selection == murvmsg::StreamType::None)
    warnNoneOf(*this, "STREAM_SELECTION", streamSelection, murvmsg::streamTypeNames(murvmsg::streamTypeCount),
               "nothing is subscribed, and only TIMESTAMP is written");

  made = PacingRate::installStopSignals();
  if (dataBufferNum <= 5) dataBufferNum = 5;
  holder.reset(new callbackFuncMurvMsgsSubscriber(dataBufferNum, enableDebug));
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosMurvMsgsSubscriber::~RosMurvMsgsSubscriber() {
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

int RosMurvMsgsSubscriber::translateOutput(const std::string& outputName) {
  return ports.translate(*this, outputName);
}

void RosMurvMsgsSubscriber::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  ports.refuseUnserved(this, fileName, __LINE__);
  ports.refuseUnwritten(this, selection, fileName, __LINE__);
  subscriber =
      murvnode::subscribeSelected(this, fileName, __LINE__, selection, topicNames, msgBufferNum, holder.get());

  // A spinner needs an initialised ROS even when nothing is subscribed.
  murvnode::startSpinner(this, fileName, __LINE__, spinner);

  murvnode::raiseDepthsTogether(outputRecords, {ports.srcout, ports.matout, ports.mapout, timestampID});

  MURV::BufferedNode::initialize();
}

template <class M>
void RosMurvMsgsSubscriber::writeData(const M& msg, int count) {
  if constexpr (std::is_same_v<M, murv_msgs::MurvWave> || std::is_same_v<M, murv_msgs::MurvFFT>) {
    if (ports.matout != -1) slot(ports.matout, count) = murvmsg::toMatrix(msg);
  } else {
    if constexpr (!std::is_same_v<M, murv_msgs::MurvFeature> && !std::is_same_v<M, murv_msgs::MurvSorvex>) {
      if (ports.srcout != -1) {
        MURV::Vector<MURV::ObjectRef>* sources = new MURV::Vector<MURV::ObjectRef>;
        MURV::ObjectRef owner(sources);
        murvmsg::appendSources(*sources, msg);
        slot(ports.srcout, count) = owner;
      }
    }
    if constexpr (!std::is_same_v<M, murv_msgs::MurvSource>) {
      if (ports.mapout != -1) {
        MURV::Map<int, MURV::ObjectRef>* map = new MURV::Map<int, MURV::ObjectRef>;
        MURV::ObjectRef owner(map);
        murvmsg::addMapEntries(*map, msg);
        slot(ports.mapout, count) = owner;
      }
    }
  }
}

void RosMurvMsgsSubscriber::writeEmpty(int count) {
  if (selection == murvmsg::StreamType::MurvWave) {
    if (ports.matout != -1) slot(ports.matout, count) = MURV::ObjectRef(new MURV::Matrix<float>(nbChannels, fftLength));
    return;
  }
  if (selection == murvmsg::StreamType::MurvFFT) {
    if (ports.matout != -1)
      slot(ports.matout, count) =
          MURV::ObjectRef(new MURV::Matrix<std::complex<float>>(nbChannels, fftLength / 2 + 1));
    return;
  }
  const murvmsg::DataPorts p = murvmsg::dataPortsOf(selection);
  if (p.srcout && ports.srcout != -1) slot(ports.srcout, count) = MURV::ObjectRef(new MURV::Vector<MURV::ObjectRef>);
  if (p.mapout && ports.mapout != -1)
    slot(ports.mapout, count) = MURV::ObjectRef(new MURV::Map<int, MURV::ObjectRef>);
}

template <class M>
void RosMurvMsgsSubscriber::takeOldest(std::deque<M>& fifo, MURV::TimeStamp& stamp, int count) {
  const murvmsg::Oldest oldest = murvmsg::useOldest(streamSelection.c_str(), holder->fifo_lock, fifo, remainLatest,
                                                    [&](const M& msg, std::size_t) {
                                                      murvmsg::setTimeStamp(stamp, msg.header.stamp);
                                                      writeData(msg, count);
                                                    });
  if (oldest == murvmsg::Oldest::Used) return;
  // Nothing queued, or a message that could not be converted: the outputs
  // of an empty FIFO.
  stamp.sec = 0;
  stamp.usec = 0;
  writeEmpty(count);
}

void RosMurvMsgsSubscriber::calculate(int, int count, MURV::Buffer&) {
  murvnode::PacingRate rate(*this, made, rosLoopRate, count);
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  slot(timestampID, count) = MURV::ObjectRef(stamp);

  callbackFuncMurvMsgsSubscriber& h = *holder;
  switch (selection) {
    case murvmsg::StreamType::MurvWave: takeOldest(h.fifo_murvwave, *stamp, count); break;
    case murvmsg::StreamType::MurvFFT: takeOldest(h.fifo_murvfft, *stamp, count); break;
    case murvmsg::StreamType::MurvFeature: takeOldest(h.fifo_murvfeature, *stamp, count); break;
    case murvmsg::StreamType::MurvSource: takeOldest(h.fifo_murvsource, *stamp, count); break;
    case murvmsg::StreamType::MurvSrcWave: takeOldest(h.fifo_murvsrcwave, *stamp, count); break;
    case murvmsg::StreamType::MurvSrcFFT: takeOldest(h.fifo_murvsrcfft, *stamp, count); break;
    case murvmsg::StreamType::MurvSrcFeature: takeOldest(h.fifo_murvsrcfeature, *stamp, count); break;
    case murvmsg::StreamType::MurvSrcFeatureMFM: takeOldest(h.fifo_murvsrcfeaturemfm, *stamp, count); break;
    case murvmsg::StreamType::MurvSorvex: takeOldest(h.fifo_murvsorvex, *stamp, count); break;
    case murvmsg::StreamType::None: break;
  }
  rate.sleep();
}
