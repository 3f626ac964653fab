// What the parameter-node tests share: the nodes' parameter sets, reading
// the parameter objects a node hands on, its console and log lines, and
// ROS's own tools as the outside clients.
#ifndef MURV_PARAMS_TEST_SUPPORT_H
#define MURV_PARAMS_TEST_SUPPORT_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "ros/MsgFifo.h"
#include "objects/ParamsObjects.h"
#include "RosTestSupport.h"
#include "Vector.h"

namespace paramtest {

using namespace subtest;
using murvtest::waitFor;

// Runs a ROS tool (command begins with its name: dynparam, rosparam,
// rostopic, rosservice) that must succeed; its output.
inline std::string tool(const std::string& command) {
  const std::string dir = command.rfind("dynparam", 0) == 0 ? "/usr/lib/dynamic_reconfigure/" : "/usr/bin/";
  murvtest::CommandResult r = murvtest::runCommand("/usr/bin/python3 " + dir + command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
  return r.output;
}

// The parameters of a node of type; the subscriber's topics are
// /p/DiradureZIDID, /p/SourceTracker and /p/DODA.
inline MURV::ParameterSet paramsOf(const std::string& type, float duration, bool debug = false) {
  MURV::ParameterSet p;
  if (type == "RosMurvParamsSubscriber") {
    for (const std::string kind : {"DiradureZIDID", "SourceTracker", "DODA"})
      p.add("TOPIC_NAME_" + kind, stringParam("/p/" + kind));
    p.add("BUFFER_NUM", intParam(10));
  }
  p.add("ROS_DURATION", MURV::ObjectRef(new MURV::NetCType<float>(duration)));
  if (type != "RosMurvIntDynReconf") p.add("ENABLE_DEBUG", boolParam(debug));
  return p;
}

// A parameter object's class and fields in one line; each float in the nine
// digits that read back to the same float (every NaN as nan), so equal texts
// mean equal bits.
inline std::string describe(const MURV::ObjectRef& o) {
  auto i = [](int32_t v) { return " " + std::to_string(v); };
  auto f = [](float v) {
    char text[32];
    std::snprintf(text, sizeof text, " %.9g", static_cast<double>(v));
    return std::string(std::isnan(v) ? " nan" : text);
  };
  if (auto p = dynamic_cast<const ParamsDiradureZIDID*>(o.get()))
    return "DiradureZIDID" + i(p->num_source) + i(p->min_deg) + i(p->max_deg) + i(p->lower_bound_frequency) +
           i(p->upper_bound_frequency);
  if (auto p = dynamic_cast<const ParamsSourceTracker*>(o.get()))
    return "SourceTracker" + f(p->thresh) + f(p->pause_length) + f(p->min_src_interval) + f(p->min_tfindex_interval) +
           i(p->compare_mode);
  if (auto p = dynamic_cast<const ParamsDODA*>(o.get())) return "DODA" + f(p->lx) + f(p->time_constant);
  return "something else";
}

// What the outputs DiradureZIDID, SourceTracker and DODA of node hold at
// count, "-" for an empty one; the host asks for first before the others.
inline std::string delivered(MURV::Node& node, int count, const char* first = "DiradureZIDID") {
  node.getOutput(node.getOutputID(first), count);
  std::string all;
  for (const char* name : {"DiradureZIDID", "SourceTracker", "DODA"}) {
    const MURV::ObjectRef out = node.getOutput(node.getOutputID(name), count);
    std::string text = "-";
    for (const MURV::ObjectRef& o : MURV::object_cast<MURV::Vector<MURV::ObjectRef>>(out))
      text = (text == "-" ? "" : text + " + ") + describe(o);
    all += (all.empty() ? "" : " | ") + text;
  }
  return all;
}

// The Info records of the log at file:line whose text begins with text.
inline int receipts(const LogCapture& log, const std::string& file, int line, const std::string& text) {
  int n = 0;
  for (const LogCapture::Record& r : log.records())
    n += r.level == ros::console::levels::Info && r.file == file && r.line == line && r.text.rfind(text, 0) == 0;
  return n;
}

// Ends the capture of standard output and returns the lines that begin with
// name and a blank: a node's own console lines, without the ROS log's lines
// between them. When the test has failed meanwhile, all it caught is shown.
inline std::string endCapture(const std::string& name) {
  std::istringstream in(testing::internal::GetCapturedStdout());
  if (testing::Test::HasFailure()) std::cerr << in.str();
  std::string kept;
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + " ", 0) == 0) kept += line + "\n";
  return kept;
}

}  // namespace paramtest

#endif
