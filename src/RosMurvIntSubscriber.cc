#include "RosMurvIntSubscriber.h"

#include <iostream>
#include <string>

#include "NodeSupport.h"
#include "RosReceiving.h"

callbackFuncMurvInt::callbackFuncMurvInt(double durationSeconds) : duration(new ros::Duration(durationSeconds)) {}

void callbackFuncMurvInt::cb(const murv_msgs::MurvInt::ConstPtr& msg) {
  // One write for the whole line: the network's thread prints its own
  // lines meanwhile, and pieces of the two must not interleave.
  std::cout << ("RosMurvIntSubscriber Subscriber Received [" + std::to_string(msg->data) + "]\n") << std::flush;
  {
    std::lock_guard<std::mutex> guard(lock);
    lastValue = murvnode::low32(msg->data);
  }
  duration->sleep();
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
  // A negative pause never ends its sleep: the callback would hold the
  // spinner, and the node's destruction, for good.
  rosDuration = murvnode::checkedDuration(this, "ROS_DURATION", murvnode::paramFloat(parameters, "ROS_DURATION"),
                                          "RosMurvIntSubscriber", __LINE__);
  holder.reset(new callbackFuncMurvInt(rosDuration));
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosMurvIntSubscriber::~RosMurvIntSubscriber() {
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
