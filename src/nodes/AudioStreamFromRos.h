// Stream source of multichannel waveforms: subscribes to murv_msgs/MurvWave
// on TOPIC_NAME and, on every iteration, waits until a frame is queued, then
// outputs its samples on OUTPUT (channels by samples), its stamp on
// TIMESTAMP, and on NOT_EOF whether the network goes on: false once the
// stream has been silent for longer than KILL_TIME_LEN (with KILL_NETWORK
// set). SIGINT, SIGHUP and SIGTERM make a waiting node give up.
#ifndef MURV_AUDIO_STREAM_FROM_ROS_H
#define MURV_AUDIO_STREAM_FROM_ROS_H

#include <ros/ros.h>

#include <memory>
#include <string>

#include "BufferedNode.h"
#include "ros/TopicTypes.h"
#include "stop/StreamWait.h"
#include "callbackFuncAudioStreamFromRos.h"

// The stop flag of the class, shared by all its instances: set by SIGINT,
// SIGHUP or SIGTERM, never cleared.
extern murvstream::StopFlag exit_flag_AudioStreamFromRos;

class AudioStreamFromRos : public MURV::BufferedNode {
public:
  AudioStreamFromRos(std::string nodeName, MURV::ParameterSet params);
  ~AudioStreamFromRos() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holder whose FIFO calculate() consumes.
  callbackFuncAudioStreamFromRos& callbackHolder() { return *holder; }

private:
  MURV::ObjectRef& slot(int outputID, int count) { return (*outputRecords[outputID].buffer)[count]; }

  int outputID;
  int timestampID;
  int notEofID;
  // The shape of the last frame converted.
  int channelCount = 0;
  int sampleCount = 0;
  std::string topicName;
  float rosLoopRate;
  murvstream::NodeMade made;  // for the pacing of its iterations
  int msgBufferNum;
  int dataBufferNum;
  bool debugPrint;
  int killTimeLen;
  bool killNetwork;
  std::unique_ptr<callbackFuncAudioStreamFromRos> holder;
  murvstream::StreamWaiter waiter;
  murvnode::TopicSubscriber subscriber;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
