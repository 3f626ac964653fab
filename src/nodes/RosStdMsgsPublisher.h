#ifndef MURV_ROS_STD_MSGS_PUBLISHER_H
#define MURV_ROS_STD_MSGS_PUBLISHER_H

#include <ros/ros.h>

#include <string>
#include <vector>

#include "Buffer.h"
#include "BufferedNode.h"
#include "ParameterSet.h"
#include "ros/TopicTypes.h"
#include "stop/StopSignals.h"

// Passes the object on INPUT to OUTPUT unchanged and publishes it on
// TOPIC_NAME as the std_msgs type ROS_MESSAGE_TYPE (see StdMsgsConversion.h),
// at most MAX_FREQUENCY times a second. Iterations that publish are paced by
// ROS_LOOP_RATE; every iteration serves ROS's callback queue once, as the
// node has no spinner of its own.
class RosStdMsgsPublisher : public MURV::BufferedNode {
public:
  RosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params);
  ~RosStdMsgsPublisher() override;

  // The inputs declared only when the network asks for them: INPUT (COND,
  // of the conditional twin, is declared when the node is made).
  static std::vector<std::string> inputsOnRequest() { return {onRequestInput}; }

  MURV::ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;
  int translateInput(const std::string& port) override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

protected:
  static constexpr const char* onRequestInput = "INPUT";

  // What sets the conditional twin apart: a COND input that must be true for
  // an iteration to publish, and the file and line its exceptions name.
  struct Variant {
    bool conditional;
    const char* file;
    int getOutputLine;
  };
  RosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params, const Variant& variant);

private:
  bool mayPublish(int count, const ros::Time& now);

  const Variant variant;
  bool enableDebug;
  int condID = -1;
  int inputID = -1;
  int outputID;
  std::string rosMessageType;
  std::string topicName;
  int bufferNum;
  float rosLoopRate;
  murvstream::NodeMade made;  // for the pacing of its iterations
  float maxFrequency;
  murvnode::TopicPublisher publisher;
  ros::Time lastPublish;
};

#endif
