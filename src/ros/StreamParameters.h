// The parameters the stream sources share, each read once when a node is
// constructed. A parameter that is missing or of another type raises the
// host's exception naming it, so the reads keep the order each node has
// always made them in: a network that lacks several parameters is told
// about the same one first.
#ifndef MURV_STREAM_PARAMETERS_H
#define MURV_STREAM_PARAMETERS_H

#include <string>

#include "Node.h"
#include "StreamSelection.h"

namespace murvstream {

// How a stream source paces its iterations and bounds its queues, and how
// long its stream may be silent before the network ends.
struct Pacing {
  float rosLoopRate = 0.0f;
  int msgBufferNum = 0;
  int dataBufferNum = 0;
  int killTimeLen = 0;
  bool killNetwork = false;

  // Reads ROS_LOOP_RATE, MSG_BUFFER_NUM, DATA_BUFFER_NUM, KILL_TIME_LEN and
  // KILL_NETWORK, in this order, then refuses a rate ros::Rate cannot use
  // with a NodeException of node at file and line.
  void read(MURV::Node* node, const MURV::ParameterSet& p, const char* file, int line);
};

// The murv_msgs audio stream a source takes: the topic of each audio type,
// and the type STREAM_SELECTION names. The stream sources take no
// recognition results: MurvSorvex selects nothing, as an unknown name does.
struct AudioSelection {
  std::string topicNames[murvmsg::audioTypeCount];
  std::string streamSelection;
  murvmsg::StreamType selection = murvmsg::StreamType::None;

  // Reads TOPIC_NAME_MURVWAVE to TOPIC_NAME_MURVSRCFEATUREMFM, in type order.
  void readTopics(const MURV::ParameterSet& p);
  // Reads STREAM_SELECTION.
  void readSelection(const MURV::ParameterSet& p);
  // Warns on standard error, for node, when the selection names no type,
  // listing the types it may name: requireType will refuse it.
  void warnIfNoType(const MURV::Node& node) const;

  // Refuses, with a NodeException of node at file and line that names
  // STREAM_SELECTION and the types it takes, a selection that names no
  // type; and one whose topic is empty or no ROS name: every iteration would
  // wait for a first message that cannot come.
  void requireType(MURV::Node* node, const char* file, int line) const;
};

}  // namespace murvstream

#endif
