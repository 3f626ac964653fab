#include "StdMsgsStreamFromRos.h"

#include <iostream>
#include <utility>

#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosReceiving.h"
#include "SharedObjects.h"

murvstream::StopFlag exit_flag_StdMsgsStreamFromRos;

namespace {

const char* const fileName = "src/StdMsgsStreamFromRos";

// The lines the force-quit exception names: the first-message wait, and the
// data wait of each category.
const int firstMessageWaitLine = 769;

int dataWaitLine(murvstd::Category category) {
  switch (category) {
    case murvstd::Category::Bool: return 798;
    case murvstd::Category::String: return 828;
    case murvstd::Category::Int32: return 858;
    case murvstd::Category::Float32: return 888;
    case murvstd::Category::Int32MultiArray: return 918;
    case murvstd::Category::Float32MultiArray: return 1015;
    case murvstd::Category::None: break;
  }
  return 0;
}

}  // namespace

StdMsgsStreamFromRos::StdMsgsStreamFromRos(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params), waiter(getName(), exit_flag_StdMsgsStreamFromRos, fileName) {
  outputID = addOutput("OUTPUT");
  notEofID = addOutput("NOT_EOF");

  using namespace murvnode;
  rosMessageType = paramString(parameters, "ROS_MESSAGE_TYPE");
  outArrayFormat = paramString(parameters, "OUT_ARRAY_FORMAT");
  topicName = paramTopic(this, parameters, "TOPIC_NAME", fileName, __LINE__);
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  pacing.read(this, parameters, fileName, __LINE__);
  format = murvstd::arrayFormatNamed(outArrayFormat);

  made = murvstream::installStopSignals();
  if (pacing.dataBufferNum <= 5) pacing.dataBufferNum = 5;
  holder.reset(new callbackFuncStdMsgsStreamFromRos(pacing.dataBufferNum, enableDebug));
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

// The subscription goes first: roscpp then waits for a callback in flight
// and delivers no more, whichever thread serves the callback queue. Only
// then may the holder go.
StdMsgsStreamFromRos::~StdMsgsStreamFromRos() {
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

void StdMsgsStreamFromRos::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  // A type or shape the node cannot take would leave every iteration
  // waiting for a message that cannot come.
  const murvstd::StdType type = murvstd::checkedStdType(this, fileName, __LINE__, rosMessageType, outArrayFormat);
  holder->arrivals = waiter.notifier();
  if (!subscriber)
    subscriber =
        murvstd::subscribeStdType(this, fileName, __LINE__, type, topicName, pacing.msgBufferNum, holder.get());
  category = murvstd::categoryOf(type);

  // Both outputs are filled together and keep their counts together.
  murvnode::raiseDepthsTogether(outputRecords, {outputID, notEofID});
  MURV::BufferedNode::initialize();
  murvnode::startSpinner(this, fileName, __LINE__, spinner);
}

void StdMsgsStreamFromRos::calculate(int, int count, MURV::Buffer&) {
  slot(notEofID, count) = MURV::TrueObject;
  murvnode::PacingRate rate(*this, made, pacing.rosLoopRate, count);

  callbackFuncStdMsgsStreamFromRos& h = *holder;
  waiter.waitFirstMessage([&h] { return h.firstMessageArrived(); }, firstMessageWaitLine);
  // A malformed message is dropped (and logged) while waiting: it is no data.
  if (!waiter.waitForData([&] { return h.hasServable(category, format); }, pacing.killTimeLen, pacing.killNetwork,
                          dataWaitLine(category)))
    slot(notEofID, count) = MURV::FalseObject;

  // After a time-out the FIFO holds a message only if one arrived during
  // the wait's last pause; it is still output.
  MURV::ObjectRef value;
  const std::size_t held = h.serveOldest(category, format, false, value);
  if (held > 0) {
    slot(outputID, count) = value;
    if (enableDebug) std::cout << count << " : " << held << std::endl;
  }
  // A /clock that stops with the stream (a bag played to its end) ends the
  // sleep after the silence limit, and the next wait for data ends the stream.
  rate.sleep(murvstream::silenceLimit(pacing.killTimeLen, pacing.killNetwork));
}
