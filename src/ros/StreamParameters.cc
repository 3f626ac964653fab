#include "StreamParameters.h"

#include "support/NodeSupport.h"

namespace murvstream {

void Pacing::read(MURV::Node* node, const MURV::ParameterSet& p, const char* file, int line) {
  using namespace murvnode;
  rosLoopRate = paramFloat(p, "ROS_LOOP_RATE");
  msgBufferNum = paramInt(p, "MSG_BUFFER_NUM");
  dataBufferNum = paramInt(p, "DATA_BUFFER_NUM");
  killTimeLen = paramInt(p, "KILL_TIME_LEN");
  killNetwork = paramBool(p, "KILL_NETWORK");
  checkedRate(node, "ROS_LOOP_RATE", rosLoopRate, file, line);
}

void AudioSelection::readTopics(const MURV::ParameterSet& p) {
  for (int i = 0; i < murvmsg::audioTypeCount; ++i)
    topicNames[i] = murvnode::paramString(p, murvmsg::topicParameter(static_cast<murvmsg::StreamType>(i)));
}

void AudioSelection::readSelection(const MURV::ParameterSet& p) {
  streamSelection = murvnode::paramString(p, "STREAM_SELECTION");
  selection = murvmsg::streamTypeNamed(streamSelection);
  if (selection == murvmsg::StreamType::MurvSorvex) selection = murvmsg::StreamType::None;
}

void AudioSelection::warnIfNoType(const MURV::Node& node) const {
  if (selection == murvmsg::StreamType::None)
    murvnode::warnNoneOf(node, "STREAM_SELECTION", streamSelection, murvmsg::streamTypeNames(murvmsg::audioTypeCount),
                         "the node will be refused when the network is initialised");
}

void AudioSelection::requireType(MURV::Node* node, const char* file, int line) const {
  if (selection == murvmsg::StreamType::None)
    murvnode::refuseChoice(node, "STREAM_SELECTION", streamSelection,
                           murvmsg::streamTypeNames(murvmsg::audioTypeCount), file, line);
  murvnode::checkedTopic(node, murvmsg::topicParameter(selection), topicNames[static_cast<int>(selection)], file, line);
}

}  // namespace murvstream
