#include "RosMurvIntDynReconf.h"

#include <boost/bind/bind.hpp>
#include <iostream>

#include "ros/MsgFifo.h"
#include "support/NodeSupport.h"
#include "ros/RosLogAt.h"
#include "net_types.h"

namespace {

const char* const fileName = "src/RosMurvIntDynReconf";

}  // namespace

callbackFuncMurvIntDynReconf::callbackFuncMurvIntDynReconf(float durationSeconds)
    : pause(static_cast<double>(durationSeconds)) {}

void callbackFuncMurvIntDynReconf::cb(murv_params::DynReconfMurvIntConfig& config, uint32_t) {
  const murvnode::StopPause::Since since;
  MURV_LOG_INFO_AT(fileName, 64, "Received [%d] [thread=%s]", config.number, murvmsg::threadIdText().c_str());
  {
    std::lock_guard<std::mutex> guard(lock);
    value = config.number;
  }
  pause.sleep(since);
}

int64_t callbackFuncMurvIntDynReconf::stored() {
  std::lock_guard<std::mutex> guard(lock);
  return value;
}

RosMurvIntDynReconf::RosMurvIntDynReconf(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  output1ID = addOutput("OUTPUT1");
  rosDuration = murvnode::paramFloat(parameters, "ROS_DURATION");
  murvnode::checkedDuration(this, "ROS_DURATION", rosDuration, fileName, __LINE__);
  holder.reset(new callbackFuncMurvIntDynReconf(rosDuration));
  murvnode::StopPause::installStopSignals();
  inOrder = true;
}

RosMurvIntDynReconf::~RosMurvIntDynReconf() {
  holder->endPauses();
  serving.stop();
  holder.reset();
}

void RosMurvIntDynReconf::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  serving.serve(this, fileName, __LINE__,
                boost::bind(&callbackFuncMurvIntDynReconf::cb, holder.get(), boost::placeholders::_1,
                            boost::placeholders::_2));
  MURV::BufferedNode::initialize();
  serving.spin();
}

void RosMurvIntDynReconf::calculate(int, int count, MURV::Buffer&) {
  const int64_t value = holder->stored();
  std::cout << murvnode::shownName(*this) << " Subscribed [" << value << "]" << std::endl;
  (*outputRecords[static_cast<size_t>(output1ID)].buffer)[count] =
      MURV::ObjectRef(new MURV::NetCType<int>(static_cast<int>(static_cast<uint32_t>(value))));
}
