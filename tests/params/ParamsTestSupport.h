// What the parameter-node tests share: the nodes' parameter sets, reading
// the parameter objects a node hands on, and ROS's own tools as the
// outside clients.
#ifndef MURV_PARAMS_TEST_SUPPORT_H
#define MURV_PARAMS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ParamsObjects.h"
#include "SubscriberTestSupport.h"
#include "Vector.h"

namespace paramtest {

using subtest::boolParam;
using subtest::createNode;
using subtest::intParam;
using subtest::NodePtr;
using subtest::stringParam;

const std::string dynparam = "/usr/bin/python3 /usr/lib/dynamic_reconfigure/dynparam ";
const std::string rostopic = "/usr/bin/python3 /usr/bin/rostopic ";
const std::string rosparam = "/usr/bin/python3 /usr/bin/rosparam ";
const std::string rosservice = "/usr/bin/python3 /usr/bin/rosservice ";

inline MURV::ObjectRef floatParam(float v) { return MURV::ObjectRef(new MURV::NetCType<float>(v)); }

inline MURV::ParameterSet intReconfParams(float duration) {
  MURV::ParameterSet p;
  p.add("ROS_DURATION", floatParam(duration));
  return p;
}

inline MURV::ParameterSet paramsReconfParams(float duration, bool debug) {
  MURV::ParameterSet p;
  p.add("ROS_DURATION", floatParam(duration));
  p.add("ENABLE_DEBUG", boolParam(debug));
  return p;
}

// Topics /<prefix>/diradure, /<prefix>/tracker and /<prefix>/doda.
inline MURV::ParameterSet paramsSubscriberParams(const std::string& prefix, float duration, bool debug) {
  MURV::ParameterSet p;
  p.add("TOPIC_NAME_DiradureZIDID", stringParam("/" + prefix + "/diradure"));
  p.add("TOPIC_NAME_SourceTracker", stringParam("/" + prefix + "/tracker"));
  p.add("TOPIC_NAME_DODA", stringParam("/" + prefix + "/doda"));
  p.add("BUFFER_NUM", intParam(10));
  p.add("ROS_DURATION", floatParam(duration));
  p.add("ENABLE_DEBUG", boolParam(debug));
  return p;
}

// A float's text that reads back to the same float.
inline std::string exact(float f) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
  return text;
}

inline uint32_t bitsOf(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// A parameter object's class and fields in one line, floats exact.
inline std::string describe(const MURV::ObjectRef& o) {
  if (auto p = dynamic_cast<const ParamsDiradureZIDID*>(o.get()))
    return "DiradureZIDID " + std::to_string(p->num_source) + " " + std::to_string(p->min_deg) + " " +
           std::to_string(p->max_deg) + " " + std::to_string(p->lower_bound_frequency) + " " +
           std::to_string(p->upper_bound_frequency);
  if (auto p = dynamic_cast<const ParamsSourceTracker*>(o.get()))
    return "SourceTracker " + exact(p->thresh) + " " + exact(p->pause_length) + " " + exact(p->min_src_interval) +
           " " + exact(p->min_tfindex_interval) + " " + std::to_string(p->compare_mode);
  if (auto p = dynamic_cast<const ParamsDODA*>(o.get())) return "DODA " + exact(p->lx) + " " + exact(p->time_constant);
  return o.get() ? "something else" : "nil";
}

// What the outputs DiradureZIDID, SourceTracker and DODA of node hold at
// count, each object described, "-" for an empty output; asked in the
// order given by first (the one the host asks for first).
inline std::string delivered(MURV::Node& node, int count, const std::string& first = "DiradureZIDID") {
  std::vector<std::string> names = {first};
  for (const char* n : {"DiradureZIDID", "SourceTracker", "DODA"})
    if (n != first) names.push_back(n);
  std::string byName[3];
  for (const std::string& name : names) {
    MURV::ObjectRef out = node.getOutput(node.getOutputID(name), count);
    const auto& objects = MURV::object_cast<MURV::Vector<MURV::ObjectRef>>(out);
    std::string text;
    for (const MURV::ObjectRef& o : objects) text += (text.empty() ? "" : " + ") + describe(o);
    byName[name == "DiradureZIDID" ? 0 : name == "SourceTracker" ? 1 : 2] = text.empty() ? "-" : text;
  }
  return byName[0] + " | " + byName[1] + " | " + byName[2];
}

// Ends the capture of standard output and returns what it caught; when the
// test has failed meanwhile, that text (which holds the failures) is shown
// on standard error as well.
inline std::string endCapture() {
  std::string out = testing::internal::GetCapturedStdout();
  if (testing::Test::HasFailure()) std::cerr << out;
  return out;
}

// The lines of text that begin with name and a blank: a node's own console
// lines, without the ROS log's lines between them.
inline std::string linesOf(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.rfind(name + " ", 0) == 0) kept += line + "\n";
  return kept;
}

}  // namespace paramtest

#endif
