#include "MurvMsgsStreamFromRos.h"

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
#include "SharedObjects.h"
#include "Vector.h"

murvstream::StopFlag exit_flag_MurvMsgsStreamFromRos;

namespace {

const char* const fileName = "MurvMsgsStreamFromRos";

// The lines the force-quit exception names: the first-message wait, and the
// data wait of each type in type order.
const int firstMessageWaitLine = 737;
const int dataWaitLines[murvmsg::audioTypeCount] = {766, 807, 850, 894, 940, 997, 1057, 1114};

template <class M>
constexpr bool isChannelType = std::is_same_v<M, murv_msgs::MurvWave> || std::is_same_v<M, murv_msgs::MurvFFT>;

}  // namespace

MurvMsgsStreamFromRos::MurvMsgsStreamFromRos(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params),
      waiter(getName(), exit_flag_MurvMsgsStreamFromRos, fileName) {
  timestampID = addOutput("TIMESTAMP");
  notEofID = addOutput("NOT_EOF");

  audio.readTopics(parameters);
  audio.readSelection(parameters);
  enableDebug = murvnode::paramBool(parameters, "ENABLE_DEBUG");
  pacing.read(this, parameters, fileName, __LINE__);
  audio.warnIfNoType(*this);

  made = murvstream::installStopSignals();
  holder.reset(new callbackFuncMurvMsgsStreamFromRos(pacing.dataBufferNum, enableDebug));
  holder->arrivals = waiter.notifier();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

MurvMsgsStreamFromRos::~MurvMsgsStreamFromRos() {
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

int MurvMsgsStreamFromRos::translateOutput(const std::string& outputName) { return ports.translate(*this, outputName); }

void MurvMsgsStreamFromRos::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  ports.refuseUnserved(this, fileName, __LINE__);
  audio.requireType(this, fileName, __LINE__);
  ports.refuseUnwritten(this, audio.selection, fileName, __LINE__);
  subscriber = murvnode::subscribeSelected(this, fileName, __LINE__, audio.selection, audio.topicNames,
                                          pacing.msgBufferNum, holder.get());

  // The outputs filled together keep their counts together: TIMESTAMP,
  // NOT_EOF and the connected data ports of the type.
  const murvmsg::DataPorts data = murvmsg::dataPortsOf(audio.selection);
  murvnode::raiseDepthsTogether(outputRecords, {timestampID, notEofID, data.matout ? ports.matout : -1,
                                                data.srcout ? ports.srcout : -1, data.mapout ? ports.mapout : -1});

  MURV::BufferedNode::initialize();

  murvnode::startSpinner(this, fileName, __LINE__, spinner);
}

template <class M>
void MurvMsgsStreamFromRos::stream(std::deque<M>& fifo, int dataWaitLine, int count, MURV::TimeStamp& stamp) {
  callbackFuncMurvMsgsStreamFromRos& h = *holder;
  waiter.waitFirstMessage([&h] { return h.firstMessageArrived(); }, firstMessageWaitLine);
  const bool arrived = waiter.waitForData([&] { return murvmsg::entriesIn(h.fifo_lock, fifo) > 0; }, pacing.killTimeLen,
                                          pacing.killNetwork, dataWaitLine);
  if (!arrived) slot(notEofID, count) = MURV::FalseObject;

  // The containers go out, empty after a time-out.
  MURV::Vector<MURV::ObjectRef>* sources = nullptr;
  MURV::Map<int, MURV::ObjectRef>* map = nullptr;
  const murvmsg::DataPorts data = murvmsg::dataPortsOf(audio.selection);
  if (data.srcout && ports.srcout != -1) {
    sources = new MURV::Vector<MURV::ObjectRef>;
    slot(ports.srcout, count) = MURV::ObjectRef(sources);
  }
  if (data.mapout && ports.mapout != -1) {
    map = new MURV::Map<int, MURV::ObjectRef>;
    slot(ports.mapout, count) = MURV::ObjectRef(map);
  }

  MURV::ObjectRef matrix;
  std::size_t held = 0;
  int messageCount = 0, size = 0;
  auto convert = [&](const M& msg, std::size_t entries) {
    murvmsg::setTimeStamp(stamp, msg.header.stamp);
    if constexpr (isChannelType<M>) {
      if (ports.matout != -1) matrix = murvmsg::toMatrix(msg);
      size = msg.nch;
    } else {
      if constexpr (!std::is_same_v<M, murv_msgs::MurvFeature>) {
        if (sources) murvmsg::appendSources(*sources, msg);
      }
      if constexpr (!std::is_same_v<M, murv_msgs::MurvSource>) {
        if (map) murvmsg::addMapEntries(*map, msg);
      }
      size = msg.exist_src_num;
    }
    held = entries;
    messageCount = msg.count;
  };
  const murvmsg::Oldest oldest = murvmsg::useOldest(audio.streamSelection.c_str(), h.fifo_lock, fifo, false, convert);
  const bool converted = oldest == murvmsg::Oldest::Used;
  if (oldest == murvmsg::Oldest::Dropped) {
    // A message that could not be converted is gone; the outputs are those
    // of an empty FIFO, and the stream goes on.
    stamp.sec = 0;
    stamp.usec = 0;
    if (sources) sources->clear();
    if (map) map->clear();
  }

  if constexpr (isChannelType<M>) {
    // With no message there is no shape to give the matrix: it goes out
    // empty, so that whatever reads the port still finds an object.
    using Cell = std::conditional_t<std::is_same_v<M, murv_msgs::MurvWave>, float, std::complex<float>>;
    if (ports.matout != -1)
      slot(ports.matout, count) = converted ? matrix : MURV::ObjectRef(new MURV::Matrix<Cell>(0, 0));
  }
  if (converted && enableDebug)
    std::cout << count << " : " << held << " : " << messageCount << " : " << size << std::endl;
}

void MurvMsgsStreamFromRos::calculate(int, int count, MURV::Buffer&) {
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  slot(timestampID, count) = MURV::ObjectRef(stamp);
  slot(notEofID, count) = MURV::TrueObject;
  murvnode::PacingRate rate(*this, made, pacing.rosLoopRate, count);

  callbackFuncMurvMsgsStreamFromRos& h = *holder;
  const int line = audio.selection == murvmsg::StreamType::None ? 0 : dataWaitLines[static_cast<int>(audio.selection)];
  switch (audio.selection) {
    case murvmsg::StreamType::MurvWave: stream(h.fifo_murvwave, line, count, *stamp); break;
    case murvmsg::StreamType::MurvFFT: stream(h.fifo_murvfft, line, count, *stamp); break;
    case murvmsg::StreamType::MurvFeature: stream(h.fifo_murvfeature, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSource: stream(h.fifo_murvsource, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcWave: stream(h.fifo_murvsrcwave, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFFT: stream(h.fifo_murvsrcfft, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFeature: stream(h.fifo_murvsrcfeature, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFeatureMFM: stream(h.fifo_murvsrcfeaturemfm, line, count, *stamp); break;
    case murvmsg::StreamType::MurvSorvex:
    case murvmsg::StreamType::None: break;
  }
  // A /clock that stops with the stream (a bag played to its end) ends the
  // sleep after the silence limit, and the next wait for data ends the stream.
  rate.sleep(murvstream::silenceLimit(pacing.killTimeLen, pacing.killNetwork));
}
