// Stream source of one murv_msgs audio type, chosen by STREAM_SELECTION.
// The node's own spinner thread queues what arrives in the callback holder;
// every iteration waits until a message is queued, turns the oldest one into
// host objects on MATOUT, SRCOUT or MAPOUT and its stamp into TIMESTAMP, and
// says on NOT_EOF whether the network goes on: false once the stream has
// been silent for longer than KILL_TIME_LEN (with KILL_NETWORK set), or
// when a connected port does not fit the type. SIGINT, SIGHUP and SIGTERM
// make a waiting node give up.
#ifndef MURV_MURV_MSGS_STREAM_FROM_ROS_H
#define MURV_MURV_MSGS_STREAM_FROM_ROS_H

#include <ros/ros.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "BufferedNode.h"
#include "ros/StreamParameters.h"
#include "ros/StreamSelection.h"
#include "ros/TopicTypes.h"
#include "stop/StreamWait.h"
#include "TimeStamp.h"
#include "callbackFuncMurvMsgsStreamFromRos.h"

// The stop flag of the class, shared by all its instances: set by SIGINT,
// SIGHUP or SIGTERM, never cleared.
extern murvstream::StopFlag exit_flag_MurvMsgsStreamFromRos;

class MurvMsgsStreamFromRos : public MURV::BufferedNode {
public:
  MurvMsgsStreamFromRos(std::string nodeName, MURV::ParameterSet params);
  ~MurvMsgsStreamFromRos() override;

  // The outputs declared only when the network asks for them.
  static std::vector<std::string> outputsOnRequest() { return murvmsg::SelectablePorts::names(); }

  void initialize() override;
  int translateOutput(const std::string& outputName) override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holder whose FIFOs calculate() consumes.
  callbackFuncMurvMsgsStreamFromRos& callbackHolder() { return *holder; }

private:
  template <class M>
  void stream(std::deque<M>& fifo, int dataWaitLine, int count, MURV::TimeStamp& stamp);
  MURV::ObjectRef& slot(int outputID, int count) { return (*outputRecords[outputID].buffer)[count]; }

  murvmsg::SelectablePorts ports;
  int timestampID;
  int notEofID;
  murvstream::AudioSelection audio;
  bool enableDebug;
  murvstream::Pacing pacing;
  murvstream::NodeMade made;  // for the pacing of its iterations
  std::unique_ptr<callbackFuncMurvMsgsStreamFromRos> holder;
  murvstream::StreamWaiter waiter;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
