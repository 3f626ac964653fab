#include "RosStdMsgsSubscriber.h"

#include <iostream>
#include <utility>

#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosReceiving.h"
#include "SharedObjects.h"
#include "String.h"
#include "net_types.h"

namespace {
const char* const fileName = "src/RosStdMsgsSubscriber";
}  // namespace

RosStdMsgsSubscriber::RosStdMsgsSubscriber(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  outputID = addOutput("OUTPUT");

  using namespace murvnode;
  rosMessageType = paramString(parameters, "ROS_MESSAGE_TYPE");
  outArrayFormat = paramString(parameters, "OUT_ARRAY_FORMAT");
  topicName = paramTopic(this, parameters, "TOPIC_NAME", fileName, __LINE__);
  boolDefault = paramBool(parameters, "BOOL_DEFAULT");
  intDefault = paramInt(parameters, "INT_DEFAULT");
  floatDefault = paramFloat(parameters, "FLOAT_DEFAULT");
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  rosLoopRate = paramFloat(parameters, "ROS_LOOP_RATE");
  msgBufferNum = paramInt(parameters, "MSG_BUFFER_NUM");
  dataBufferNum = paramInt(parameters, "DATA_BUFFER_NUM");
  remainLatest = paramBool(parameters, "REMAIN_LATEST");
  checkedRate(this, "ROS_LOOP_RATE", rosLoopRate, fileName, __LINE__);
  format = murvstd::arrayFormatNamed(outArrayFormat);

  if (dataBufferNum <= 5) dataBufferNum = 5;
  made = PacingRate::installStopSignals();
  holder.reset(new callbackFuncStdMsgsSubscriber(dataBufferNum, enableDebug));
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosStdMsgsSubscriber::~RosStdMsgsSubscriber() {
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

void RosStdMsgsSubscriber::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  const murvstd::StdType type = murvstd::checkedStdType(this, fileName, __LINE__, rosMessageType, outArrayFormat);
  if (!subscriber)
    subscriber = murvstd::subscribeStdType(this, fileName, __LINE__, type, topicName, msgBufferNum, holder.get());
  category = murvstd::categoryOf(type);

  MURV::BufferedNode::initialize();
  murvnode::startSpinner(this, fileName, __LINE__, spinner);
}

MURV::ObjectRef RosStdMsgsSubscriber::defaultValue() const {
  switch (category) {
    case murvstd::Category::Bool: return boolDefault ? MURV::TrueObject : MURV::FalseObject;
    case murvstd::Category::String: return MURV::ObjectRef(new MURV::String(""));
    case murvstd::Category::Int32: return MURV::ObjectRef(new MURV::NetCType<int>(intDefault));
    case murvstd::Category::Float32: return MURV::ObjectRef(new MURV::NetCType<float>(floatDefault));
    default: return murvstd::emptyArray(category, format);
  }
}

void RosStdMsgsSubscriber::calculate(int, int count, MURV::Buffer&) {
  murvnode::PacingRate rate(*this, made, rosLoopRate, count);
  MURV::ObjectRef value;
  if (holder->serveOldest(category, format, remainLatest, value) == 0) value = defaultValue();
  (*outputRecords[outputID].buffer)[count] = value;
  rate.sleep();
}
