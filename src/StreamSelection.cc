#include "StreamSelection.h"

#include "SharedObjects.h"

#include <algorithm>
#include <iostream>

namespace murvmsg {

namespace {

const char* const typeNames[streamTypeCount] = {"MurvWave",    "MurvFFT",    "MurvFeature",
                                                "MurvSource",  "MurvSrcWave", "MurvSrcFFT",
                                                "MurvSrcFeature", "MurvSrcFeatureMFM", "MurvSorvex"};

const char* const topicParameters[streamTypeCount] = {
    "TOPIC_NAME_MURVWAVE",       "TOPIC_NAME_MURVFFT",           "TOPIC_NAME_MURVFEATURE",
    "TOPIC_NAME_MURVSOURCE",     "TOPIC_NAME_MURVSRCWAVE",       "TOPIC_NAME_MURVSRCFFT",
    "TOPIC_NAME_MURVSRCFEATURE", "TOPIC_NAME_MURVSRCFEATUREMFM", "TOPIC_NAME_MURVSORVEX"};

int declare(MURV::Node& node, const std::string& port, int& id, bool& added) {
  if (!added) {
    id = node.addOutput(port);
    added = true;
  }
  return id;
}

}  // namespace

StreamType streamTypeNamed(const std::string& selection) {
  for (int i = 0; i < streamTypeCount; ++i)
    if (selection == typeNames[i]) return static_cast<StreamType>(i);
  return StreamType::None;
}

const char* streamTypeName(StreamType type) {
  return type == StreamType::None ? "" : typeNames[static_cast<int>(type)];
}

std::vector<std::string> streamTypeNames(int count) { return std::vector<std::string>(typeNames, typeNames + count); }

const char* topicParameter(StreamType type) { return topicParameters[static_cast<int>(type)]; }

DataPorts dataPortsOf(StreamType type) {
  DataPorts p;
  switch (type) {
    case StreamType::MurvWave:
    case StreamType::MurvFFT:
      p.matout = true;
      break;
    case StreamType::MurvFeature:
    case StreamType::MurvSorvex:
      p.mapout = true;
      break;
    case StreamType::MurvSource:
      p.srcout = true;
      break;
    case StreamType::MurvSrcWave:
    case StreamType::MurvSrcFFT:
    case StreamType::MurvSrcFeature:
    case StreamType::MurvSrcFeatureMFM:
      p.srcout = true;
      p.mapout = true;
      break;
    case StreamType::None:
      break;
  }
  return p;
}

const std::vector<std::string>& SelectablePorts::names() {
  static const std::vector<std::string> ports = {"MATOUT", "SRCOUT", "MAPOUT"};
  return ports;
}

int SelectablePorts::translate(MURV::Node& node, const std::string& port) {
  // In the order of names().
  int* const ids[] = {&matout, &srcout, &mapout};
  bool* const added[] = {&matoutAdded, &srcoutAdded, &mapoutAdded};
  for (std::size_t i = 0; i < names().size(); ++i)
    if (port == names()[i]) return declare(node, port, *ids[i], *added[i]);
  const std::vector<std::string>& declared = node.getOutputNames();
  auto it = std::find(declared.begin(), declared.end(), port);
  if (it != declared.end()) return static_cast<int>(it - declared.begin());
  const int id = node.addOutput(port);
  unserved.push_back(port);
  return id;
}

void SelectablePorts::refuseUnserved(MURV::Node* node, const char* file, int line) const {
  if (!unserved.empty()) throw new MURV::NodeException(node, unserved.front() + " is not supported.", file, line);
}

bool SelectablePorts::forbiddenConnected(StreamType type) const {
  if (type == StreamType::None) return false;
  const DataPorts p = dataPortsOf(type);
  return (!p.matout && matout != -1) || (!p.srcout && srcout != -1) || (!p.mapout && mapout != -1);
}

bool endOnPortMismatch(int portMismatch, const std::string& nodeName, MURV::ObjectRef& notEof) {
  if (!portMismatch) return false;
  std::cout << "Error : " << nodeName << " output exception -> Connected output ports are not appropriate..."
            << std::endl;
  notEof = MURV::FalseObject;
  return true;
}

}  // namespace murvmsg
