#ifndef MURV_ROS_MURV_MSGS_PUBLISHER_H
#define MURV_ROS_MURV_MSGS_PUBLISHER_H

#include <ros/ros.h>

#include <string>
#include <vector>

#include "Buffer.h"
#include "BufferedNode.h"
#include "ParameterSet.h"
#include "ros/TopicTypes.h"
#include "stop/StopSignals.h"

// Publishes a network's audio data and sound sources as murv_msgs audio
// messages, one of each type whose inputs are connected on every iteration,
// all with one header stamp, at most ROS_LOOP_RATE iterations per second.
class RosMurvMsgsPublisher : public MURV::BufferedNode {
public:
  RosMurvMsgsPublisher(std::string nodeName, MURV::ParameterSet params);
  ~RosMurvMsgsPublisher() override;

  // The inputs declared only when the network asks for them: all of them.
  static std::vector<std::string> inputsOnRequest();

  MURV::ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;
  int translateInput(const std::string& port) override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  ros::Time stampFor(int count);

  bool enableDebug;
  int advance;

  int micWaveID = -1;
  int micFFTID = -1;
  int srcInfoID = -1;
  int srcWaveID = -1;
  int srcFFTID = -1;
  int srcFeatureID = -1;
  int srcReliabilityID = -1;
  int timestampID = -1;
  int outputID;

  std::string topicMurvWave;
  std::string topicMurvFFT;
  std::string topicMurvFeature;
  std::string topicMurvSource;
  std::string topicMurvSrcWave;
  std::string topicMurvSrcFFT;
  std::string topicMurvSrcFeature;
  std::string topicMurvSrcFeatureMFM;

  int bufferNum;
  float rosLoopRate;
  murvstream::NodeMade made;  // for the pacing of its iterations
  std::string rosFrameID;
  std::string timestampType;
  int samplingRate;
  float framePeriod;
  ros::Time baseTime;

  murvnode::TopicPublisher pubMurvWave;
  murvnode::TopicPublisher pubMurvFFT;
  murvnode::TopicPublisher pubMurvFeature;
  murvnode::TopicPublisher pubMurvSource;
  murvnode::TopicPublisher pubMurvSrcWave;
  murvnode::TopicPublisher pubMurvSrcFFT;
  murvnode::TopicPublisher pubMurvSrcFeature;
  murvnode::TopicPublisher pubMurvSrcFeatureMFM;
};

#endif
