// Stream source that pairs one murv_msgs audio stream, chosen by
// STREAM_SELECTION, with the robot's sensor_msgs/JointState messages on
// TOPIC_NAME. Two spinner threads queue what arrives in the node's two
// callback holders; every iteration waits until an audio message is queued,
// waits until the joint states have caught up with its time, and outputs the
// message on MATOUT, SRCOUT or MAPOUT and TIMESTAMP1, beside the joint state
// in force at its time (the last one strictly older than it) on POSITION,
// VELOCITY and TIMESTAMP2. Joint states that do not reach the message's time
// within KILL_TIME_LEN leave it paired with the newest one, with a warning
// in the ROS log; that never ends the network. Every pairing drops the joint
// states older than the one paired, whether or not the wait timed out, so
// joint states that lag behind the audio do not pile up; after a message
// stamped ahead of them, later messages pair with the newest joint
// state until newer ones pass their stamps. NOT_EOF says whether the
// network goes on: false once the audio stream has been silent for longer
// than KILL_TIME_LEN (with KILL_NETWORK set), or when a connected port does
// not fit the type. SIGINT, SIGTERM and SIGHUP make a waiting node give up.
#ifndef MURV_SYNC_MURV_MSGS_AND_JOINT_STATE_H
#define MURV_SYNC_MURV_MSGS_AND_JOINT_STATE_H

#include <ros/ros.h>
#include <sensor_msgs/JointState.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "BufferedNode.h"
#include "JointStatePairing.h"
#include "ros/StreamParameters.h"
#include "ros/StreamSelection.h"
#include "ros/TopicTypes.h"
#include "stop/StreamWait.h"
#include "TimeStamp.h"
#include "callbackFuncSyncMurvMsgsAndJointState.h"

// The stop flag of the class, shared by all its instances: set by SIGINT,
// SIGTERM or SIGHUP, never cleared.
extern murvstream::StopFlag exit_flag_SyncMurvMsgsAndJointState;

class SyncMurvMsgsAndJointState : public MURV::BufferedNode {
public:
  SyncMurvMsgsAndJointState(std::string nodeName, MURV::ParameterSet params);
  ~SyncMurvMsgsAndJointState() override;

  // The outputs declared only when the network asks for them.
  static std::vector<std::string> outputsOnRequest() { return murvmsg::SelectablePorts::names(); }

  void initialize() override;
  int translateOutput(const std::string& outputName) override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

  // The holders whose FIFOs calculate() consumes.
  callbackFuncSyncMurvMsgsAndJointState& streamHolder() { return *stream; }
  callbackFuncSyncRosJointState& jointHolder() { return *joint; }

private:
  template <class M>
  sensor_msgs::JointState pass(std::deque<M>& fifo, int count, MURV::TimeStamp& stamp);
  template <class M>
  callbackFuncSyncRosJointState::InForce pairWith(std::deque<M>& fifo, M& base);
  void writeJointState(const sensor_msgs::JointState& state, int count);
  MURV::ObjectRef& slot(int outputID, int count) { return (*outputRecords[outputID].buffer)[count]; }

  murvmsg::SelectablePorts ports;
  int positionID;
  int velocityID;
  int timestamp1ID;
  int timestamp2ID;
  int notEofID;
  murvstream::AudioSelection audio;
  std::string jointTopic;
  bool enableDebug;
  bool enableSyncDebug;
  bool enableStatusDebug;
  murvstream::Pacing pacing;
  murvstream::NodeMade made;  // for the pacing of its iterations
  std::unique_ptr<callbackFuncSyncMurvMsgsAndJointState> stream;
  std::unique_ptr<callbackFuncSyncRosJointState> joint;
  murvstream::StreamWaiter waiter;
  murvsync::LateJointStates lateJoints;
  // The joint-state subscription, then the audio one.
  murvnode::TopicSubscriber subscribers[2];
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

#endif
