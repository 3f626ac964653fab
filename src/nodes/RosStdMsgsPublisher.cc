#include "RosStdMsgsPublisher.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <utility>

#include "stop/LeaveWatch.h"
#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosHandle.h"
#include "convert/StdMsgsConversion.h"
#include "convert/StdMsgsToHost.h"

RosStdMsgsPublisher::RosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params)
    : RosStdMsgsPublisher(std::move(nodeName), std::move(params), Variant{false, "src/RosStdMsgsPublisher", 812}) {}

RosStdMsgsPublisher::RosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params, const Variant& v)
    : MURV::BufferedNode(std::move(nodeName), params), variant(v) {
  using namespace murvnode;
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  rosMessageType = paramString(parameters, "ROS_MESSAGE_TYPE");
  topicName = paramString(parameters, "TOPIC_NAME");
  bufferNum = paramInt(parameters, "BUFFER_NUM");
  maxFrequency = paramFloat(parameters, "MAX_FREQUENCY");
  rosLoopRate = checkedRate(this, "ROS_LOOP_RATE", paramFloat(parameters, "ROS_LOOP_RATE"), variant.file, __LINE__);
  if (variant.conditional) condID = addInput("COND");
  outputID = addOutput("OUTPUT");
  made = PacingRate::installStopSignals();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

// The topic is withdrawn here, marked as the node's own leaving, rather
// than as the member goes: a master that no longer answers must not hold it.
RosStdMsgsPublisher::~RosStdMsgsPublisher() { murvmaster::shutDownLeaving(publisher); }

int RosStdMsgsPublisher::translateInput(const std::string& port) {
  if (port == onRequestInput) return inputID = addInput(port);
  // The conditional twin takes any other name for COND, its first input.
  if (variant.conditional) return condID;
  throw new MURV::NodeException(this, port + " is not supported.", variant.file, 209);
}

void RosStdMsgsPublisher::initialize() {
  // A type outside the table would publish nothing for the whole run.
  if (inputID != -1 && !stdmsgs::isTypeName(rosMessageType))
    murvnode::refuseValue(this, "ROS_MESSAGE_TYPE", rosMessageType, murvstd::stdTypesTaken, variant.file, __LINE__);
  // Only a node with INPUT advertises its topic.
  if (inputID != -1) {
    murvnode::checkedTopic(this, "TOPIC_NAME", topicName, variant.file, __LINE__);
    const std::uint32_t queue = murvnode::rosQueueSize(bufferNum);
    auto advertise = [&](ros::NodeHandle& nh) { return stdmsgs::advertise(nh, rosMessageType, topicName, queue); };
    publisher = murvnode::onSharedTopicFor(this, variant.file, __LINE__, "TOPIC_NAME", topicName,
                                           murvnode::TopicRole::advertises, stdmsgs::messageType(rosMessageType),
                                           advertise);
  }
  lastPublish = onSharedRosHandle(this, variant.file, __LINE__, [](ros::NodeHandle&) { return ros::Time::now(); });
  MURV::BufferedNode::initialize();
  std::cout << murvnode::shownName(*this) << " initialized" << std::endl;
}

MURV::ObjectRef RosStdMsgsPublisher::getOutput(int output_id, int count) {
  MURV::Buffer& buffer = murvnode::outputBuffer(this, outputRecords, output_id, variant.file, __LINE__);
  return murvnode::calculateUpTo(
      this, lastCount, buffer, count, [&](int c) { calculate(output_id, c, buffer); }, variant.file,
      variant.getOutputLine);
}

// The gates an iteration passes to publish: COND, for the conditional twin,
// then MAX_FREQUENCY, measured from the last iteration that passed both (or
// from initialize). Passing them moves the last-publish time.
bool RosStdMsgsPublisher::mayPublish(int count, const ros::Time& now) {
  if (variant.conditional && !MURV::dereference_cast<bool>(getInput(condID, count))) return false;
  if (maxFrequency > 0.0f && 1.0 / static_cast<double>(maxFrequency) > (now - lastPublish).toSec()) return false;
  lastPublish = now;
  return true;
}

void RosStdMsgsPublisher::calculate(int, int count, MURV::Buffer& out) {
  if (inputID == -1) return;
  const MURV::ObjectRef in = getInput(inputID, count);
  out[count] = in;
  ros::spinOnce();
  const ros::Time now = ros::Time::now();
  murvnode::PacingRate rate(*this, made, static_cast<double>(rosLoopRate), count);
  // An iteration stopped at a gate returns at once, so it does not slow the
  // network down between publications.
  if (!mayPublish(count, now)) return;

  bool sent = false;
  const stdmsgs::Outcome outcome = stdmsgs::convert(in.get(), rosMessageType, [&](const auto& msg) {
    // Once ROS has shut down nothing is sent, though the handle stays valid.
    if (publisher && ros::ok()) {
      publisher.publish(msg);
      sent = true;
    }
  });
  if (enableDebug && sent) std::printf("%s Published %s\n", murvnode::shownName(*this).c_str(), rosMessageType.c_str());
  if (enableDebug && outcome == stdmsgs::Outcome::Mismatch)
    std::printf("%s node : Input is not matched to %s.\n", murvnode::shownName(*this).c_str(), rosMessageType.c_str());
  rate.sleep();
}
