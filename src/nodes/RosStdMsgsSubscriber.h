// Frame-by-frame receiver of one std_msgs topic, of the type ROS_MESSAGE_TYPE
// names (one of twenty-two). The node's own spinner thread queues what
// arrives, folded into its category, in the callback holder; every
// iteration writes the oldest queued value to OUTPUT as a host object, or
// the category's default while nothing is queued. It never waits for data.
#ifndef MURV_ROS_STD_MSGS_SUBSCRIBER_H
#define MURV_ROS_STD_MSGS_SUBSCRIBER_H

#include <ros/ros.h>

#include <memory>
#include <string>

#include "BufferedNode.h"
#include "convert/StdMsgsToHost.h"
#include "ros/TopicTypes.h"
#include "stop/StopSignals.h"
#include "callbackFuncStdMsgsSubscriber.h"

class RosStdMsgsSubscriber : public MURV::BufferedNode {
public:
  RosStdMsgsSubscriber(std::string nodeName, MURV::ParameterSet params);
  ~RosStdMsgsSubscriber() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holder whose FIFOs calculate() consumes.
  callbackFuncStdMsgsSubscriber& callbackHolder() { return *holder; }

private:
  MURV::ObjectRef defaultValue() const;

  int outputID;
  std::string rosMessageType;
  murvstd::Category category = murvstd::Category::None;
  std::string outArrayFormat;
  murvstd::ArrayFormat format;
  bool boolDefault;
  int intDefault;
  float floatDefault;
  bool enableDebug;
  std::string topicName;
  float rosLoopRate;
  murvstream::NodeMade made;  // for the pacing of its iterations
  int msgBufferNum;
  int dataBufferNum;
  bool remainLatest;
  std::unique_ptr<callbackFuncStdMsgsSubscriber> holder;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
