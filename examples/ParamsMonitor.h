#ifndef MURV_EXAMPLES_PARAMS_MONITOR_H
#define MURV_EXAMPLES_PARAMS_MONITOR_H

#include <chrono>
#include <string>

#include "BufferedNode.h"
#include "stop/StopSignals.h"

// Stands in for the modules that take the toolbox's parameter sets: prints
// every ParamsDiradureZIDID, ParamsSourceTracker and ParamsDODA that reaches
// its inputs, one line each, and runs the network at RATE iterations per
// second; a stop signal ends its wait for the next iteration. NOT_EOF turns
// false at the iteration that brings the CHANGES-th parameter change (0:
// never), so a demo can end once it has shown them.
class ParamsMonitor : public MURV::BufferedNode {
public:
  ParamsMonitor(std::string nodeName, MURV::ParameterSet params);
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int diradureID;
  int sourceTrackerID;
  int dodaID;
  int notEofID;
  float rate;
  int changes;
  int changesSeen = 0;
  std::chrono::steady_clock::time_point nextIteration;
  murvstream::NodeMade made;
};

#endif
