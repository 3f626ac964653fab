#include "RosAddMurvIntServer.h"

#include <cinttypes>
#include <iostream>

#include "ros/MsgFifo.h"
#include "support/NodeSupport.h"
#include "ros/RosLogAt.h"
#include "ros/RosReceiving.h"

callbackFuncAddMurvIntServer::callbackFuncAddMurvIntServer(double durationSeconds) : pause(durationSeconds) {}

bool callbackFuncAddMurvIntServer::cb(murv_msgs::MurvIntSrvRequest& req, murv_msgs::MurvIntSrvResponse& res) {
  const murvnode::StopPause::Since since;
  res.sum = murvnode::wrappingSum(req.first, req.second);
  MURV_LOG_INFO_AT("src/RosAddMurvIntServer", 61, "Request [%" PRId64 " + %" PRId64 " = %" PRId64 "] [thread=%s]",
                   req.first, req.second, res.sum, murvmsg::threadIdText().c_str());
  {
    std::lock_guard<std::mutex> guard(lock);
    storedValue = murvnode::low32(res.sum);
  }
  // The answer goes out only after the pause.
  pause.sleep(since);
  return true;
}

int32_t callbackFuncAddMurvIntServer::stored() {
  std::lock_guard<std::mutex> guard(lock);
  return storedValue;
}

RosAddMurvIntServer::RosAddMurvIntServer(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  output1ID = addOutput("OUTPUT1");
  topicName = murvnode::paramTopic(this, parameters, "TOPIC_NAME", "RosAddMurvIntServer", __LINE__);
  rosDuration = murvnode::checkedDuration(this, "ROS_DURATION", murvnode::paramFloat(parameters, "ROS_DURATION"),
                                          "RosAddMurvIntServer", __LINE__);
  auto released = std::make_shared<std::promise<void>>();
  holderReleased = released->get_future();
  holder.reset(new callbackFuncAddMurvIntServer(rosDuration),
               [released](callbackFuncAddMurvIntServer*) { released->set_value(); });
  murvnode::StopPause::installStopSignals();
  inOrder = true;
}

RosAddMurvIntServer::~RosAddMurvIntServer() {
  // A call that has started is answered before the service goes, at once:
  // its pause ends. None starts from here on: the holder is the service's
  // tracked object, and once the node has let it go roscpp refuses every new
  // call. Calls may run on other nodes' spinners too: each holds the holder
  // until roscpp has taken its answer, so once the last has let it go no
  // call runs, and the holder is freed after the service has gone.
  callbackFuncAddMurvIntServer* last = holder.get();
  last->endPauses();
  holder.reset();
  murvnode::stopServing(service, spinner, [this] { holderReleased.wait(); });
  delete last;
}

void RosAddMurvIntServer::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  service = murvnode::onSharedRosHandleFor(
      this, "RosAddMurvIntServer", __LINE__, "TOPIC_NAME", topicName, [&](ros::NodeHandle& nh) {
        // The holder is the tracked object: a call takes it for its duration,
        // and no call starts once it has gone.
        return nh.advertiseService(topicName, &callbackFuncAddMurvIntServer::cb, holder);
      });
  MURV::BufferedNode::initialize();
  murvnode::startSpinner(this, "RosAddMurvIntServer", __LINE__, spinner);
}

void RosAddMurvIntServer::calculate(int, int count, MURV::Buffer& out) {
  const int32_t value = holder->stored();
  std::cout << murvnode::shownName(*this) << " Output : [" << value << "]" << std::endl;
  out[count] = MURV::ObjectRef(new MURV::NetCType<int>(value));
}
