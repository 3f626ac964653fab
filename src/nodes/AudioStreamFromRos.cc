#include "AudioStreamFromRos.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <utility>

#include "Matrix.h"
#include "ros/MsgFifo.h"
#include "convert/MsgToHost.h"
#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosReceiving.h"
#include "SharedObjects.h"
#include "TimeStamp.h"

murvstream::StopFlag exit_flag_AudioStreamFromRos;

namespace {

const char* const fileName = "AudioStreamFromRos";

// The lines the force-quit exception names.
const int firstMessageWaitLine = 263;
const int dataWaitLine = 285;

}  // namespace

AudioStreamFromRos::AudioStreamFromRos(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params), waiter(getName(), exit_flag_AudioStreamFromRos, fileName) {
  timestampID = addOutput("TIMESTAMP");
  outputID = addOutput("OUTPUT");
  notEofID = addOutput("NOT_EOF");

  using namespace murvnode;
  topicName = paramTopic(this, parameters, "TOPIC_NAME", fileName, __LINE__);
  rosLoopRate = paramFloat(parameters, "ROS_LOOP_RATE");
  msgBufferNum = paramInt(parameters, "MSG_BUFFER_NUM");
  dataBufferNum = paramInt(parameters, "DATA_BUFFER_NUM");
  debugPrint = paramBool(parameters, "DEBUG_PRINT");
  killTimeLen = paramInt(parameters, "KILL_TIME_LEN");
  killNetwork = paramBool(parameters, "KILL_NETWORK");
  checkedRate(this, "ROS_LOOP_RATE", rosLoopRate, fileName, __LINE__);

  made = murvstream::installStopSignals();
  inOrder = true;
  holder.reset(new callbackFuncAudioStreamFromRos(dataBufferNum, debugPrint));
  holder->arrivals = waiter.notifier();
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

// The subscription goes first: roscpp then waits for a callback in flight
// and delivers no more, whichever thread serves the callback queue. Only
// then may the holder go.
AudioStreamFromRos::~AudioStreamFromRos() {
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

void AudioStreamFromRos::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  // The three outputs are filled together and keep their counts together.
  murvnode::raiseDepthsTogether(outputRecords, {timestampID, notEofID, outputID});
  MURV::BufferedNode::initialize();

  if (!subscriber)
    subscriber = murvnode::subscribeShared(this, fileName, __LINE__, "TOPIC_NAME", topicName, msgBufferNum,
                                           &callbackFuncAudioStreamFromRos::cb, holder.get());
  murvnode::startSpinner(this, fileName, __LINE__, spinner);
}

void AudioStreamFromRos::calculate(int, int count, MURV::Buffer&) {
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  slot(timestampID, count) = MURV::ObjectRef(stamp);
  slot(notEofID, count) = MURV::TrueObject;
  murvnode::PacingRate rate(*this, made, rosLoopRate, count);

  callbackFuncAudioStreamFromRos& h = *holder;
  waiter.waitFirstMessage([&h] { return h.firstMessageArrived(); }, firstMessageWaitLine);
  if (!waiter.waitForData([&h] { return murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) > 0; }, killTimeLen,
                          killNetwork, dataWaitLine))
    slot(notEofID, count) = MURV::FalseObject;

  std::optional<murv_msgs::MurvWave> frame = murvmsg::takeOldest(h.fifo_lock, h.fifo_murvwave);
  // nch channels by length samples; what the frame does not carry is 0.
  MURV::ObjectRef matrix;
  if (!frame || !murvmsg::convertOrDrop("MurvWave", [&] { matrix = murvmsg::toMatrix(*frame); })) {
    // Silence, or a frame that could not be converted: no shape for the
    // matrix; it goes out empty, so that whatever reads the port still finds
    // an object.
    slot(outputID, count) = MURV::ObjectRef(new MURV::Matrix<float>(0, 0));
    return;
  }
  const MURV::Matrix<float>& samples = MURV::object_cast<MURV::Matrix<float>>(matrix);
  channelCount = samples.rows;
  sampleCount = samples.cols;
  slot(outputID, count) = matrix;
  murvmsg::setTimeStamp(*stamp, frame->header.stamp);

  // A /clock that stops with the stream (a bag played to its end) ends the
  // sleep after the silence limit, and the next wait for data ends the stream.
  rate.sleep(murvstream::silenceLimit(killTimeLen, killNetwork));
  if (debugPrint)
    std::cout << count << " : " << murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) + 1 << " : " << frame->count
              << " : " << frame->nch << std::endl;
}
