// Frame-by-frame receiver of one murv_msgs type, chosen by STREAM_SELECTION.
// The node's own spinner thread queues what arrives in the callback holder;
// every iteration turns the oldest queued message into host objects on
// MATOUT, SRCOUT or MAPOUT and its stamp into TIMESTAMP. It never waits for
// data: with nothing queued it outputs empty containers or a zero matrix.
#ifndef MURV_ROS_MURV_MSGS_SUBSCRIBER_H
#define MURV_ROS_MURV_MSGS_SUBSCRIBER_H

#include <ros/ros.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "BufferedNode.h"
#include "ros/TopicTypes.h"
#include "stop/StopSignals.h"
#include "ros/StreamSelection.h"
#include "TimeStamp.h"
#include "callbackFuncMurvMsgsSubscriber.h"

class RosMurvMsgsSubscriber : public MURV::BufferedNode {
public:
  RosMurvMsgsSubscriber(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvMsgsSubscriber() override;

  // The outputs declared only when the network asks for them.
  static std::vector<std::string> outputsOnRequest() { return murvmsg::SelectablePorts::names(); }

  void initialize() override;
  int translateOutput(const std::string& outputName) override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holder whose FIFOs calculate() consumes.
  callbackFuncMurvMsgsSubscriber& callbackHolder() { return *holder; }

private:
  template <class M>
  void takeOldest(std::deque<M>& fifo, MURV::TimeStamp& stamp, int count);
  template <class M>
  void writeData(const M& msg, int count);
  void writeEmpty(int count);
  MURV::ObjectRef& slot(int outputID, int count) { return (*outputRecords[outputID].buffer)[count]; }

  murvmsg::SelectablePorts ports;
  int timestampID;
  std::string topicNames[murvmsg::streamTypeCount];
  int nbChannels;
  int fftLength;
  std::string streamSelection;
  murvmsg::StreamType selection;
  bool enableDebug;
  int msgBufferNum;
  int dataBufferNum;
  bool remainLatest;
  float rosLoopRate;
  murvstream::NodeMade made;  // for the pacing of its iterations
  std::unique_ptr<callbackFuncMurvMsgsSubscriber> holder;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
