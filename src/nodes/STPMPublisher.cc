#include "STPMPublisher.h"

#include <iostream>

STPMPublisher::STPMPublisher(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  std::cout << "STPMPublisher::STPMPublisher" << std::endl;
  stpmInputID = addInput("STPMVector");
  onsetInputID = addInput("ONSETVector");
  outputID = addOutput("OUTPUT");
}

STPMPublisher::~STPMPublisher() { std::cout << "STPMPublisher::~STPMPublisher" << std::endl; }

void STPMPublisher::initialize() {
  std::cout << "STPMPublisher initialized..." << std::endl;
  MURV::BufferedNode::initialize();
}

void STPMPublisher::calculate(int, int count, MURV::Buffer& out) { out[count] = getInput(onsetInputID, count); }
