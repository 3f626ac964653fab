#include "RosMurvIntPublisher.h"

#include <murv_msgs/MurvInt.h>

#include <cstdint>
#include <iostream>

#include "stop/LeaveWatch.h"
#include "support/NodeSupport.h"
#include "ros/RosHandle.h"

RosMurvIntPublisher::RosMurvIntPublisher(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  output1ID = addOutput("OUTPUT1");
  topicName = murvnode::paramTopic(this, parameters, "TOPIC_NAME", "RosMurvIntPublisher", __LINE__);
  bufferNum = murvnode::paramInt(parameters, "BUFFER_NUM");
  param = murvnode::paramInt(parameters, "PARAM");
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

// The topic is withdrawn here, marked as the node's own leaving, rather
// than as the member goes: a master that no longer answers must not hold it.
RosMurvIntPublisher::~RosMurvIntPublisher() { murvmaster::shutDownLeaving(publisher); }

void RosMurvIntPublisher::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  publisher = murvnode::advertiseShared<murv_msgs::MurvInt>(this, "RosMurvIntPublisher", __LINE__, "TOPIC_NAME",
                                                            topicName, murvnode::rosQueueSize(bufferNum));
  MURV::BufferedNode::initialize();
}

void RosMurvIntPublisher::calculate(int, int count, MURV::Buffer& out) {
  // The sum wraps around in 32 bits, as two's complement.
  const int32_t value = murvnode::wrappingSum(param, count);
  murv_msgs::MurvInt msg;
  msg.data = value;
  // A publisher that was never advertised or has been shut down publishes
  // nothing.
  if (publisher) publisher.publish(msg);
  // One write for the whole line, as the subscribers' receipt lines.
  std::cout << (murvnode::shownName(*this) + " Published : [" + std::to_string(value) + "]\n") << std::flush;
  out[count] = MURV::ObjectRef(new MURV::NetCType<int>(value));
}
