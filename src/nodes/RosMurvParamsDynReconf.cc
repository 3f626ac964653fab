#include "RosMurvParamsDynReconf.h"

#include <boost/bind/bind.hpp>
#include <iostream>

#include "ros/MsgFifo.h"
#include "support/NodeSupport.h"
#include "objects/ParamsObjects.h"
#include "ros/RosLogAt.h"

namespace {

const char* const fileName = "src/RosMurvParamsDynReconf";

}  // namespace

callbackFuncMurvParamsDynReconf::callbackFuncMurvParamsDynReconf(float durationSeconds, bool debug)
    : ParamsPending(durationSeconds, debug) {}

void callbackFuncMurvParamsDynReconf::cb(murv_params::DynReconfMurvParamsConfig& config, uint32_t) {
  const murvnode::StopPause::Since since;
  if (enable_debug) MURV_LOG_INFO_AT(fileName, 75, "Received [thread=%s]", murvmsg::threadIdText().c_str());
  const MURV::ObjectRef diradure(new ParamsDiradureZIDID(
      config.DiradureZIDID_num_source, config.DiradureZIDID_min_deg, config.DiradureZIDID_max_deg,
      config.DiradureZIDID_lower_bound_frequency, config.DiradureZIDID_upper_bound_frequency));
  const MURV::ObjectRef tracker(new ParamsSourceTracker(
      static_cast<float>(config.SourceTracker_thresh), static_cast<float>(config.SourceTracker_pause_length),
      static_cast<float>(config.SourceTracker_min_src_interval),
      static_cast<float>(config.SourceTracker_min_tfindex_interval), config.SourceTracker_compare_mode));
  const MURV::ObjectRef doda(
      new ParamsDODA(static_cast<float>(config.DODA_lx), static_cast<float>(config.DODA_time_constant)));
  replaceAll(diradure, tracker, doda, config.MurvParamsDynReconfEnable);
  pause(since);
}

RosMurvParamsDynReconf::RosMurvParamsDynReconf(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  diradureID = addOutput("DiradureZIDID");
  sourceTrackerID = addOutput("SourceTracker");
  dodaID = addOutput("DODA");
  rosDuration = murvnode::paramFloat(parameters, "ROS_DURATION");
  enableDebug = murvnode::paramBool(parameters, "ENABLE_DEBUG");
  murvnode::checkedDuration(this, "ROS_DURATION", rosDuration, fileName, __LINE__);
  holder.reset(new callbackFuncMurvParamsDynReconf(rosDuration, enableDebug));
  murvnode::StopPause::installStopSignals();
  inOrder = true;
}

RosMurvParamsDynReconf::~RosMurvParamsDynReconf() {
  holder->endPauses();
  serving.stop();
  holder.reset();
}

void RosMurvParamsDynReconf::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  serving.serve(this, fileName, __LINE__,
                boost::bind(&callbackFuncMurvParamsDynReconf::cb, holder.get(), boost::placeholders::_1,
                            boost::placeholders::_2));
  murvnode::raiseDepthsTogether(outputRecords, {diradureID, sourceTrackerID, dodaID});
  MURV::BufferedNode::initialize();
  serving.spin();
}

void RosMurvParamsDynReconf::calculate(int, int count, MURV::Buffer&) {
  murvparams::deliverPending(*holder, outputRecords, diradureID, sourceTrackerID, dodaID, count);
  if (enableDebug) std::cout << murvnode::shownName(*this) << " Subscribed [" << count << "]" << std::endl;
}
