#ifndef MURV_ROS_MURV_PARAMS_DYN_RECONF_H
#define MURV_ROS_MURV_PARAMS_DYN_RECONF_H

#include <murv_params/DynReconfMurvParamsConfig.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BufferedNode.h"
#include "ParamsPending.h"
#include "ros/ReconfServing.h"

// Turns each accepted change into one parameter object per module, pending
// until the next iteration while MurvParamsDynReconfEnable is set; a change
// with the flag cleared withdraws what is pending.
class callbackFuncMurvParamsDynReconf : public ParamsPending {
public:
  callbackFuncMurvParamsDynReconf(float durationSeconds, bool debug);
  void cb(murv_params::DynReconfMurvParamsConfig& config, uint32_t level);
};

// Serves the localisation, tracking and level-estimator parameters through
// dynamic reconfiguration and hands each accepted change to the network, at
// its next iteration, on the outputs DiradureZIDID, SourceTracker and DODA.
class RosMurvParamsDynReconf : public MURV::BufferedNode {
public:
  RosMurvParamsDynReconf(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvParamsDynReconf() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int diradureID;
  int sourceTrackerID;
  int dodaID;
  float rosDuration;
  bool enableDebug;
  std::unique_ptr<callbackFuncMurvParamsDynReconf> holder;
  murvnode::ReconfServing<murv_params::DynReconfMurvParamsConfig> serving;
};

#endif
