#ifndef MURV_NODE_SUPPORT_H
#define MURV_NODE_SUPPORT_H

// What the toolbox's nodes share: reading their parameters, the lazy
// computation of every count up to the one asked for, and the pacing rate.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include <ros/names.h>

#include "Buffer.h"
#include "BufferedNode.h"
#include "Node.h"
#include "PrintableText.h"
#include "String.h"
#include "net_types.h"

namespace murvnode {

// Parameters have no defaults: every value comes from the network
// description, and a value of another type raises the cast's exception.
inline int paramInt(const MURV::ParameterSet& p, const std::string& name) {
  return MURV::dereference_cast<int>(p.get(name));
}
inline float paramFloat(const MURV::ParameterSet& p, const std::string& name) {
  return MURV::dereference_cast<float>(p.get(name));
}
inline bool paramBool(const MURV::ParameterSet& p, const std::string& name) {
  return MURV::dereference_cast<bool>(p.get(name));
}
inline std::string paramString(const MURV::ParameterSet& p, const std::string& name) {
  return MURV::object_cast<MURV::String>(p.get(name));
}

// A number as an error text shows it: "%g", so that a small rate such as
// 1e-30 reads as itself rather than as 0.000000.
inline std::string shownNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A rate of iterations per second that ros::Rate can use: positive, finite
// and with a period that ros::Duration can hold (below 2^31 - 1 seconds).
// Anything else is refused, naming the parameter, since ros::Rate would
// otherwise throw on every iteration.
inline float checkedRate(MURV::Node* node, const std::string& name, float rate, const char* file, int line) {
  if (!(rate > 0.0f) || !std::isfinite(rate) || !(1.0 / static_cast<double>(rate) < 2147483647.0))
    throw new MURV::NodeException(node,
                                  name + " must be a positive, finite rate of at least one iteration in 2147483647 "
                                         "seconds (got " + shownNumber(rate) + ")",
                                  file, line);
  return rate;
}

// A pause in seconds that ros::Duration can hold: finite, not negative and
// below 2^31 seconds (ros::Duration throws beyond). Anything else is
// refused, naming the parameter.
inline float checkedDuration(MURV::Node* node, const std::string& name, float seconds, const char* file, int line) {
  if (!(seconds >= 0.0f) || !(static_cast<double>(seconds) < 2147483648.0))
    throw new MURV::NodeException(
        node, name + " must be a finite, non-negative number of seconds below 2^31 (got " + shownNumber(seconds) + ")",
        file, line);
  return seconds;
}

// A name or value from the network description as a trace shows it: one
// line, escaped where a terminal would act on it, at most 200 characters.
inline std::string shown(const std::string& text) { return murvtext::printable(text, 200); }
inline std::string shownName(const MURV::Node& node) { return shown(node.getName()); }

// A value quoted in a refusal: shorter than in a trace, so that what the
// parameter takes, which follows it, stays on the runner's one line. An
// empty one, or one with a space, is put in quotes to show where it ends.
inline std::string quotedValue(const std::string& value) {
  const std::string shown = murvtext::printable(value, 64);
  return value.empty() || value.find(' ') != std::string::npos ? "\"" + shown + "\"" : shown;
}

// "A, B or C" (conjunction "or") of names.
inline std::string listed(const std::vector<std::string>& names, const std::string& conjunction) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? "" : i + 1 == names.size() ? " " + conjunction + " " : ", ") + names[i];
  return list;
}

// Refuses value, which parameter does not take, with a NodeException of
// node at file and line: "PARAMETER VALUE is not supported: it takes
// TAKES." The parameter leads, so that the runner reports the refusal at
// its param line.
[[noreturn]] inline void refuseValue(MURV::Node* node, const std::string& parameter, const std::string& value,
                                     const std::string& takes, const char* file, int line) {
  throw new MURV::NodeException(
      node, parameter + " " + quotedValue(value) + " is not supported: it takes " + takes + ".", file, line);
}
// The same for a parameter that takes one of choices.
[[noreturn]] inline void refuseChoice(MURV::Node* node, const std::string& parameter, const std::string& value,
                                      const std::vector<std::string>& choices, const char* file, int line) {
  refuseValue(node, parameter, value, listed(choices, "or"), file, line);
}

// A topic or service name for ROS. An empty one is refused, naming the
// parameter: roscpp does not always refuse it (a publisher on an empty name
// advertises nothing), and the node would then run doing nothing. So is the
// root namespace ("/", "//", ...), which roscpp resolves to an empty name,
// and one that is no ROS name at all, which ROS would refuse without naming
// the parameter.
inline const std::string& checkedTopic(MURV::Node* node, const std::string& name, const std::string& topic,
                                       const char* file, int line) {
  if (topic.empty()) throw new MURV::NodeException(node, name + " must not be empty", file, line);
  std::string why;
  if (!ros::names::validate(topic, why))
    throw new MURV::NodeException(node,
                                  name + " " + quotedValue(topic) +
                                      " is not a ROS name: one starts with a letter, / or ~ and goes on with letters, "
                                      "digits, _ and /",
                                  file, line);
  if (topic.find_first_not_of('/') == std::string::npos)
    throw new MURV::NodeException(
        node, name + " " + quotedValue(topic) + " is the root namespace, not a topic or service name", file, line);
  return topic;
}
inline std::string paramTopic(MURV::Node* node, const MURV::ParameterSet& p, const std::string& name,
                              const char* file, int line) {
  return checkedTopic(node, name, paramString(p, name), file, line);
}

// Says on standard error, in one line that begins with the node's name,
// that parameter holds none of the values it may take, which those are, and
// what the node does instead. Such a value does not stop the node from
// being made, so a misspelt one would otherwise go unnoticed until the node
// did nothing with it.
inline void warnNoneOf(const MURV::Node& node, const std::string& parameter, const std::string& value,
                       const std::vector<std::string>& choices, const std::string& outcome) {
  std::cerr << shownName(node) << ": warning: " << parameter << " \"" << shown(value) << "\" is not one of "
            << listed(choices, "or") << ": " << outcome << std::endl;
}

// Integer sums that wrap around in two's complement, without the undefined
// behaviour of a signed overflow, and the low 32 bits of a 64-bit value.
inline std::int32_t wrappingSum(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int64_t wrappingSum(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int32_t low32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

// Calculates every count after lastCount up to count, in order, then returns
// what the buffer holds for count. lastCount moves after each count that
// succeeded, so a failure does not make later requests redo (and publish
// again) the counts before it. A host exception leaves with a NodeException
// of node chained to it; other exceptions pass unchanged.
template <class Calculate>
MURV::ObjectRef calculateUpTo(MURV::Node* node, int& lastCount, MURV::Buffer& buffer, int count, Calculate calc,
                              const char* file, int line) {
  try {
    while (lastCount < count) {
      const int c = lastCount + 1;
      calc(c);
      lastCount = c;
    }
    return buffer.get(count);
  } catch (MURV::BaseException* e) {
    throw e->add(new MURV::NodeException(node, "Exception caught in BufferedNode::getOutput", file, line));
  }
}

// The buffer of a BufferedNode's output output_id, for a node's own
// getOutput: an id the node does not have, or a request before the node was
// initialized (no buffers yet), is a NodeException of node at file and line.
inline MURV::Buffer& outputBuffer(MURV::Node* node, std::vector<MURV::OutputRecord>& records, int output_id,
                                  const char* file, int line) {
  if (output_id < 0 || output_id >= static_cast<int>(records.size()))
    throw new MURV::NodeException(node, "Unknown output id " + std::to_string(output_id), file, line);
  if (!records[output_id].buffer)
    throw new MURV::NodeException(node, "Output requested before the node was initialized", file, line);
  return *records[output_id].buffer;
}

// Outputs filled together in one calculate() keep their counts together:
// each gets 1 + the largest first depth among them, and likewise for the
// second depth. An id of -1 (a port not connected) takes no part.
inline void raiseDepthsTogether(std::vector<MURV::OutputRecord>& records, std::initializer_list<int> ids) {
  int first = 0, second = 0;
  for (int id : ids) {
    if (id == -1) continue;
    first = std::max(first, records[static_cast<size_t>(id)].firstDepth);
    second = std::max(second, records[static_cast<size_t>(id)].secondDepth);
  }
  for (int id : ids) {
    if (id == -1) continue;
    records[static_cast<size_t>(id)].firstDepth = first + 1;
    records[static_cast<size_t>(id)].secondDepth = second + 1;
  }
}

// A ROS queue size from a node parameter. roscpp takes 0 for an unbounded
// queue; a negative size, which would wrap to a practically unbounded one,
// asks for the same and is passed as 0.
inline std::uint32_t rosQueueSize(int size) { return size < 0 ? 0u : static_cast<std::uint32_t>(size); }

}  // namespace murvnode

#endif
