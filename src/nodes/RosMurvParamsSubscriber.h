#ifndef MURV_ROS_MURV_PARAMS_SUBSCRIBER_H
#define MURV_ROS_MURV_PARAMS_SUBSCRIBER_H

#include <murv_params/DODA.h>
#include <murv_params/DiradureZIDID.h>
#include <murv_params/SourceTracker.h>
#include <ros/ros.h>

#include <memory>
#include <string>

#include "BufferedNode.h"
#include "ParamsPending.h"
#include "ros/TopicTypes.h"

// Turns each murv_params message into the parameter object of its kind,
// which replaces the one of that kind still pending.
class callbackFuncMurvParamsSubscriber : public ParamsPending {
public:
  callbackFuncMurvParamsSubscriber(float durationSeconds, bool debug);
  void cb_DiradureZIDID(const murv_params::DiradureZIDID::ConstPtr& msg);
  void cb_SourceTracker(const murv_params::SourceTracker::ConstPtr& msg);
  void cb_DODA(const murv_params::DODA::ConstPtr& msg);
};

// Takes the localisation, tracking and level-estimator parameter sets from
// murv_params topics and hands the latest of each kind to the network, at
// its next iteration, on the output of the same name.
class RosMurvParamsSubscriber : public MURV::BufferedNode {
public:
  RosMurvParamsSubscriber(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvParamsSubscriber() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int diradureID;
  int sourceTrackerID;
  int dodaID;
  std::string topicDiradureZIDID;
  std::string topicSourceTracker;
  std::string topicDODA;
  int bufferNum;
  float rosDuration;
  bool enableDebug;
  std::unique_ptr<callbackFuncMurvParamsSubscriber> holder;
  murvnode::TopicSubscriber subscribers[3];  // DiradureZIDID, SourceTracker, DODA
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
