#include "RosMurvIntSubscriber.h"

#include <iostream>
#include <string>

#include "support/NodeSupport.h"
#include "ros/RosReceiving.h"

callbackFuncMurvInt::callbackFuncMurvInt(double durationSeconds) : pause(durationSeconds) {}

void callbackFuncMurvInt::cb(const murv_msgs::MurvInt::ConstPtr& msg) {
  const murvnode::StopPause::Since since;
  // One write for the whole line: the network's thread prints its own
  // lines meanwhile, and pieces of the two must not interleave.
  std::cout << ("RosMurvIntSubscriber Subscriber Received [" + std::to_string(msg->data) + "]\n") << std::flush;
  {
    std::lock_guard<std::mutex> guard(lock);
    lastValue = murvnode::low32(msg->data);
  }
  pause.sleep(since);
}

int32_t callbackFuncMurvInt::last() {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int32_t>(lastValue);
}

RosMurvIntSubscriber::RosMurvIntSubscriber(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  output1ID = addOutput("OUTPUT1");
  topicName = murvnode::paramTopic(this, parameters, "TOPIC_NAME", "RosMurvIntSubscriber", __LINE__);
  bufferNum = murvnode::paramInt(parameters, "BUFFER_NUM");
  rosDuration = murvnode::checkedDuration(this, "ROS_DURATION", murvnode::paramFloat(parameters, "ROS_DURATION"),
                                          "RosMurvIntSubscriber", __LINE__);
  holder.reset(new callbackFuncMurvInt(rosDuration));
  murvnode::StopPause::installStopSignals();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosMurvIntSubscriber::~RosMurvIntSubscriber() {
  holder->endPauses();
  murvnode::stopReceiving(subscriber, spinner);
  holder.reset();
}

void RosMurvIntSubscriber::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  subscriber = murvnode::subscribeShared(this, "RosMurvIntSubscriber", __LINE__, "TOPIC_NAME", topicName, bufferNum,
                                         &callbackFuncMurvInt::cb, holder.get());
  MURV::BufferedNode::initialize();
  murvnode::startSpinner(this, "RosMurvIntSubscriber", __LINE__, spinner);
}

void RosMurvIntSubscriber::calculate(int, int count, MURV::Buffer& out) {
  out[count] = MURV::ObjectRef(new MURV::NetCType<int>(holder->last()));
}
