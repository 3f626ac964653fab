#include "StreamSelection.h"

#include "support/NodeSupport.h"

#include <algorithm>

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

void SelectablePorts::refuseUnwritten(MURV::Node* node, StreamType type, const char* file, int line) const {
  if (type == StreamType::None) return;
  const DataPorts p = dataPortsOf(type);
  // In the order of names().
  const int ids[] = {matout, srcout, mapout};
  const bool written[] = {p.matout, p.srcout, p.mapout};
  std::vector<std::string> writes;
  for (std::size_t i = 0; i < names().size(); ++i)
    if (written[i]) writes.push_back(names()[i]);
  for (const std::string& output : node->getOutputNames())
    if (std::find(names().begin(), names().end(), output) == names().end() &&
        std::find(unserved.begin(), unserved.end(), output) == unserved.end())
      writes.push_back(output);
  for (std::size_t i = 0; i < names().size(); ++i)
    if (!written[i] && ids[i] != -1)
      throw new MURV::NodeException(node,
                                    names()[i] + " is not supported. STREAM_SELECTION " + streamTypeName(type) +
                                        " writes " + murvnode::listed(writes, "and") + ".",
                                    file, line);
}

}  // namespace murvmsg
