#ifndef MURV_ROS_MURV_INT_SUBSCRIBER_H
#define MURV_ROS_MURV_INT_SUBSCRIBER_H

#include <murv_msgs/MurvInt.h>
#include <ros/ros.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "BufferedNode.h"
#include "ros/TopicTypes.h"
#include "stop/StopPause.h"

// Keeps the last integer received; the spinner thread writes it, the
// network thread reads it.
class callbackFuncMurvInt {
public:
  explicit callbackFuncMurvInt(double durationSeconds);
  void cb(const murv_msgs::MurvInt::ConstPtr& msg);
  int32_t last();
  // Ends the pause in progress and every later one: the node is going.
  void endPauses() { pause.end(); }

private:
  int64_t lastValue = 0;
  murvnode::StopPause pause;
  std::mutex lock;
};

// Outputs, on every iteration, the last value that arrived on its topic.
class RosMurvIntSubscriber : public MURV::BufferedNode {
public:
  RosMurvIntSubscriber(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvIntSubscriber() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int output1ID;
  std::string topicName;
  int bufferNum;
  float rosDuration;
  std::unique_ptr<callbackFuncMurvInt> holder;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
