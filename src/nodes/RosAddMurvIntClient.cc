#include "RosAddMurvIntClient.h"

#include <murv_msgs/MurvIntSrv.h>

#include <iostream>

#include "support/NodeSupport.h"
#include "ros/RosHandle.h"
#include "stop/StopPause.h"
#include "stop/StoppableServiceCall.h"

RosAddMurvIntClient::RosAddMurvIntClient(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  output1ID = addOutput("OUTPUT1");
  topicName = murvnode::paramTopic(this, parameters, "TOPIC_NAME", "RosAddMurvIntClient", __LINE__);
  param = murvnode::paramInt(parameters, "PARAM");
  murvnode::StopPause::installStopSignals();
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

RosAddMurvIntClient::~RosAddMurvIntClient() {}

void RosAddMurvIntClient::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;
  // Not persistent: each call looks the service up again, so a server that
  // comes, goes or moves is found.
  client = murvnode::onSharedRosHandleFor(
      this, "RosAddMurvIntClient", __LINE__, "TOPIC_NAME", topicName,
      [&](ros::NodeHandle& nh) { return nh.serviceClient<murv_msgs::MurvIntSrv>(topicName, false); });
  MURV::BufferedNode::initialize();
}

void RosAddMurvIntClient::calculate(int, int count, MURV::Buffer& out) {
  if (client.isValid()) {
    murv_msgs::MurvIntSrv srv;
    srv.request.first = count;
    srv.request.second = murvnode::wrappingSum(param, count);
    // A failed call (no server, transport error, refusal, a stop signal in
    // this iteration) keeps the last result.
    if (murvnode::callUntilStopped(client, srv, count)) result = murvnode::low32(srv.response.sum);
  }
  std::cout << murvnode::shownName(*this) << " Published : [" << result << "]" << std::endl;
  out[count] = MURV::ObjectRef(new MURV::NetCType<int>(result));
}
