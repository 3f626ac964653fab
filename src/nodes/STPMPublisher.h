#ifndef MURV_STPM_PUBLISHER_H
#define MURV_STPM_PUBLISHER_H

#include <string>

#include "BufferedNode.h"

// Passes the object on "ONSETVector" to "OUTPUT" unchanged; "STPMVector" is
// accepted but never read.
class STPMPublisher : public MURV::BufferedNode {
public:
  STPMPublisher(std::string nodeName, MURV::ParameterSet params);
  ~STPMPublisher() override;

  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int stpmInputID;
  int onsetInputID;
  int outputID;
};

#endif
