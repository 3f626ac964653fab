#ifndef MURV_ROS_ADD_MURV_INT_SERVER_H
#define MURV_ROS_ADD_MURV_INT_SERVER_H

#include <boost/shared_ptr.hpp>
#include <murv_msgs/MurvIntSrv.h>
#include <ros/ros.h>

#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "BufferedNode.h"
#include "stop/StopPause.h"

// Answers murv_msgs/MurvIntSrv requests and keeps the low 32 bits of the
// last sum; a spinner thread writes it, the network thread reads it.
class callbackFuncAddMurvIntServer {
public:
  explicit callbackFuncAddMurvIntServer(double durationSeconds);
  bool cb(murv_msgs::MurvIntSrvRequest& req, murv_msgs::MurvIntSrvResponse& res);
  int32_t stored();
  // Ends the pause in progress and every later one: the node is going.
  void endPauses() { pause.end(); }

private:
  int32_t storedValue = 0;
  murvnode::StopPause pause;
  std::mutex lock;
};

// Offers the integer-sum service under TOPIC_NAME and outputs, on every
// iteration, the last sum it computed.
class RosAddMurvIntServer : public MURV::BufferedNode {
public:
  RosAddMurvIntServer(std::string nodeName, MURV::ParameterSet params);
  ~RosAddMurvIntServer() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int output1ID;
  std::string topicName;
  float rosDuration;
  // Shared with each call in flight; holderReleased is ready once the last
  // owner has let it go, and the destructor then frees it.
  boost::shared_ptr<callbackFuncAddMurvIntServer> holder;
  std::future<void> holderReleased;
  ros::ServiceServer service;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
