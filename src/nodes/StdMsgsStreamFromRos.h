// Stream source of one std_msgs topic, of the type ROS_MESSAGE_TYPE names
// (one of twenty-two). The node's own spinner thread queues what arrives,
// folded into its category, in the callback holder; every iteration waits
// until a message is queued, writes its value to OUTPUT as a host object
// and says on NOT_EOF whether the network goes on: false for an iteration
// whose wait outlasted KILL_TIME_LEN (with KILL_NETWORK set). SIGINT,
// SIGHUP and SIGTERM make a waiting node give up.
#ifndef MURV_STD_MSGS_STREAM_FROM_ROS_H
#define MURV_STD_MSGS_STREAM_FROM_ROS_H

#include <ros/ros.h>

#include <memory>
#include <string>

#include "BufferedNode.h"
#include "convert/StdMsgsToHost.h"
#include "ros/StreamParameters.h"
#include "ros/TopicTypes.h"
#include "stop/StreamWait.h"
#include "callbackFuncStdMsgsStreamFromRos.h"

// The stop flag of the class, shared by all its instances: set by SIGINT,
// SIGHUP or SIGTERM, never cleared.
extern murvstream::StopFlag exit_flag_StdMsgsStreamFromRos;

class StdMsgsStreamFromRos : public MURV::BufferedNode {
public:
  StdMsgsStreamFromRos(std::string nodeName, MURV::ParameterSet params);
  ~StdMsgsStreamFromRos() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holder whose FIFOs calculate() consumes.
  callbackFuncStdMsgsStreamFromRos& callbackHolder() { return *holder; }

private:
  MURV::ObjectRef& slot(int outputID, int count) { return (*outputRecords[outputID].buffer)[count]; }

  int outputID;
  int notEofID;
  std::string rosMessageType;
  murvstd::Category category = murvstd::Category::None;
  std::string outArrayFormat;
  murvstd::ArrayFormat format;
  bool enableDebug;
  std::string topicName;
  murvstream::Pacing pacing;
  murvstream::NodeMade made;  // for the pacing of its iterations
  std::unique_ptr<callbackFuncStdMsgsStreamFromRos> holder;
  murvstream::StreamWaiter waiter;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
