#ifndef MURV_ROS_MURV_INT_DYN_RECONF_H
#define MURV_ROS_MURV_INT_DYN_RECONF_H

#include <murv_params/DynReconfMurvIntConfig.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "BufferedNode.h"
#include "ros/ReconfServing.h"
#include "stop/StopPause.h"

// Keeps the integer of the last accepted change; the reconfiguration server
// writes it, the network thread reads it.
class callbackFuncMurvIntDynReconf {
public:
  explicit callbackFuncMurvIntDynReconf(float durationSeconds);
  void cb(murv_params::DynReconfMurvIntConfig& config, uint32_t level);
  int64_t stored();
  // Ends the pause in progress and every later one: the node is going.
  void endPauses() { pause.end(); }

private:
  int64_t value = 0;
  murvnode::StopPause pause;
  std::mutex lock;
};

// Serves the integer "number" through dynamic reconfiguration and outputs
// its current value on OUTPUT1 at every iteration.
class RosMurvIntDynReconf : public MURV::BufferedNode {
public:
  RosMurvIntDynReconf(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvIntDynReconf() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int output1ID;
  float rosDuration;
  std::unique_ptr<callbackFuncMurvIntDynReconf> holder;
  murvnode::ReconfServing<murv_params::DynReconfMurvIntConfig> serving;
};

#endif
