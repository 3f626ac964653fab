#include "RosMurvParamsSubscriber.h"

#include <iostream>

#include "ros/MsgFifo.h"
#include "support/NodeSupport.h"
#include "objects/ParamsObjects.h"
#include "ros/RosLogAt.h"
#include "ros/RosReceiving.h"

namespace {

const char* const fileName = "src/RosMurvParamsSubscriber";

}  // namespace

callbackFuncMurvParamsSubscriber::callbackFuncMurvParamsSubscriber(float durationSeconds, bool debug)
    : ParamsPending(durationSeconds, debug) {}

void callbackFuncMurvParamsSubscriber::cb_DiradureZIDID(const murv_params::DiradureZIDID::ConstPtr& msg) {
  const murvnode::StopPause::Since since;
  if (enable_debug) MURV_LOG_INFO_AT(fileName, 74, "Received [thread=%s]", murvmsg::threadIdText().c_str());
  replace(DiradureZIDID, MURV::ObjectRef(new ParamsDiradureZIDID(msg->num_source, msg->min_deg, msg->max_deg,
                                                                 msg->lower_bound_frequency,
                                                                 msg->upper_bound_frequency)));
  pause(since);
}

void callbackFuncMurvParamsSubscriber::cb_SourceTracker(const murv_params::SourceTracker::ConstPtr& msg) {
  const murvnode::StopPause::Since since;
  if (enable_debug) MURV_LOG_INFO_AT(fileName, 88, "Received [thread=%s]", murvmsg::threadIdText().c_str());
  replace(SourceTracker, MURV::ObjectRef(new ParamsSourceTracker(msg->thresh, msg->pause_length, msg->min_src_interval,
                                                                 msg->min_tfindex_interval, msg->compare_mode)));
  pause(since);
}

void callbackFuncMurvParamsSubscriber::cb_DODA(const murv_params::DODA::ConstPtr& msg) {
  const murvnode::StopPause::Since since;
  if (enable_debug) MURV_LOG_INFO_AT(fileName, 102, "Received [thread=%s]", murvmsg::threadIdText().c_str());
  replace(DODA, MURV::ObjectRef(new ParamsDODA(msg->lx, msg->time_constant)));
  pause(since);
}

RosMurvParamsSubscriber::RosMurvParamsSubscriber(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  diradureID = addOutput("DiradureZIDID");
  sourceTrackerID = addOutput("SourceTracker");
  dodaID = addOutput("DODA");
  using namespace murvnode;
  topicDiradureZIDID = paramTopic(this, parameters, "TOPIC_NAME_DiradureZIDID", fileName, __LINE__);
  topicSourceTracker = paramTopic(this, parameters, "TOPIC_NAME_SourceTracker", fileName, __LINE__);
  topicDODA = paramTopic(this, parameters, "TOPIC_NAME_DODA", fileName, __LINE__);
  bufferNum = paramInt(parameters, "BUFFER_NUM");
  rosDuration = paramFloat(parameters, "ROS_DURATION");
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  checkedDuration(this, "ROS_DURATION", rosDuration, fileName, __LINE__);
  holder.reset(new callbackFuncMurvParamsSubscriber(rosDuration, enableDebug));
  murvnode::StopPause::installStopSignals();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosMurvParamsSubscriber::~RosMurvParamsSubscriber() {
  holder->endPauses();
  murvnode::stopReceiving(subscribers, spinner);
  holder.reset();
}

void RosMurvParamsSubscriber::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  using H = callbackFuncMurvParamsSubscriber;
  subscribers[0] = murvnode::subscribeShared(this, fileName, __LINE__, "TOPIC_NAME_DiradureZIDID", topicDiradureZIDID,
                                             bufferNum, &H::cb_DiradureZIDID, holder.get());
  subscribers[1] = murvnode::subscribeShared(this, fileName, __LINE__, "TOPIC_NAME_SourceTracker", topicSourceTracker,
                                             bufferNum, &H::cb_SourceTracker, holder.get());
  subscribers[2] = murvnode::subscribeShared(this, fileName, __LINE__, "TOPIC_NAME_DODA", topicDODA, bufferNum,
                                             &H::cb_DODA, holder.get());
  murvnode::raiseDepthsTogether(outputRecords, {diradureID, sourceTrackerID, dodaID});
  MURV::BufferedNode::initialize();
  murvnode::startSpinner(this, fileName, __LINE__, spinner, 3);
}

void RosMurvParamsSubscriber::calculate(int, int count, MURV::Buffer&) {
  murvparams::deliverPending(*holder, outputRecords, diradureID, sourceTrackerID, dodaID, count);
  if (enableDebug) std::cout << murvnode::shownName(*this) << " Subscribed [" << count << "]" << std::endl;
}
