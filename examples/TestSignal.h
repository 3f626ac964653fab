#ifndef MURV_EXAMPLES_TEST_SIGNAL_H
#define MURV_EXAMPLES_TEST_SIGNAL_H

#include <string>

#include "BufferedNode.h"

// A multichannel test signal, one frame per iteration: channel k is a sine
// of (k + 1) x 250 Hz with amplitude AMPLITUDE / (k + 1), continuous from
// frame to frame.
class TestSignal : public MURV::BufferedNode {
public:
  TestSignal(std::string nodeName, MURV::ParameterSet params);
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int outputID;
  int channels;
  int length;
  int samplingRate;
  float amplitude;
};

#endif
