#ifndef MURV_EXAMPLES_CHANNEL_LEVEL_H
#define MURV_EXAMPLES_CHANNEL_LEVEL_H

#include <string>

#include "BufferedNode.h"

// The level (root mean square) of each row of a float matrix, as a vector
// with one value per channel.
class ChannelLevel : public MURV::BufferedNode {
public:
  ChannelLevel(std::string nodeName, MURV::ParameterSet params);
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int inputID;
  int outputID;
};

#endif
