// Which murv_msgs type a receiving node takes, chosen by its STREAM_SELECTION,
// and which of the selectable outputs MATOUT, SRCOUT and MAPOUT that type
// writes. A connected output that the type does not write is refused when
// the network is initialised.
#ifndef MURV_STREAM_SELECTION_H
#define MURV_STREAM_SELECTION_H

#include <string>
#include <vector>

#include "Node.h"

namespace murvmsg {

// In the order of the nodes' topic parameters and subscription slots.
enum class StreamType {
  MurvWave,
  MurvFFT,
  MurvFeature,
  MurvSource,
  MurvSrcWave,
  MurvSrcFFT,
  MurvSrcFeature,
  MurvSrcFeatureMFM,
  MurvSorvex,
  None
};

constexpr int streamTypeCount = 9;
// The audio types: all but the recognition results of MurvSorvex.
constexpr int audioTypeCount = 8;

// The type named exactly (whole string, case-sensitive) by selection, or
// None. Nodes that do not take MurvSorvex treat it as None.
StreamType streamTypeNamed(const std::string& selection);
const char* streamTypeName(StreamType type);
// The names of the first count types, in type order: what a STREAM_SELECTION
// may name.
std::vector<std::string> streamTypeNames(int count);
// The parameter that names the topic of type, TOPIC_NAME_MURVWAVE to
// TOPIC_NAME_MURVSORVEX; type is not None.
const char* topicParameter(StreamType type);

struct DataPorts {
  bool matout = false;
  bool srcout = false;
  bool mapout = false;
};

// The data ports that type writes; every other selectable port must stay
// unconnected. None writes (and forbids) nothing.
DataPorts dataPortsOf(StreamType type);

// The ids of MATOUT, SRCOUT and MAPOUT: -1 until the network asks for the port.
struct SelectablePorts {
  // MATOUT, SRCOUT and MAPOUT: the outputs a node declares when the network
  // asks for them, and the only ones besides its fixed outputs it writes.
  static const std::vector<std::string>& names();

  int matout = -1;
  int srcout = -1;
  int mapout = -1;
  bool matoutAdded = false;
  bool srcoutAdded = false;
  bool mapoutAdded = false;

  // The id of output port of node: a selectable port is declared on the
  // first request and keeps its id; any other name is the output of that
  // name, declared when there is none yet.
  int translate(MURV::Node& node, const std::string& port);

  // Refuses, with a NodeException of node at file and line whose text is
  // the name followed by " is not supported.", the first output that
  // translate declared besides the selectable ports: the node never writes
  // it, so whatever reads it would wait or fail at its first message.
  void refuseUnserved(MURV::Node* node, const char* file, int line) const;

  // Refuses, with a NodeException of node at file and line, a connected
  // selectable port that type never writes, before anything is subscribed:
  // "SRCOUT is not supported. STREAM_SELECTION MurvWave writes MATOUT,
  // TIMESTAMP and NOT_EOF." The ports listed are the type's data ports,
  // then the node's own outputs. None checks nothing.
  void refuseUnwritten(MURV::Node* node, StreamType type, const char* file, int line) const;

  // The outputs translate declared besides the selectable ports, in order.
  std::vector<std::string> unserved;
};

}  // namespace murvmsg

#endif
