#include "BeatCandidate.h"

#include <iostream>

#include "support/NodeSupport.h"
#include "net_types.h"

BeatCandidate::BeatCandidate(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  std::cout << "BeatCandidate::BeatCandidate" << std::endl;
  tempoInputID = addInput("TEMPO");
  beatInputID = addInput("BEATDETECTED");
  tempoOutputID = addOutput("TEMPO");
}

BeatCandidate::~BeatCandidate() { std::cout << "BeatCandidate::~BeatCandidate" << std::endl; }

void BeatCandidate::initialize() {
  std::cout << " initialized..." << std::endl;
  MURV::BufferedNode::initialize();
}

MURV::ObjectRef BeatCandidate::getOutput(int output_id, int count) {
  MURV::Buffer& buffer = *outputRecords.at(output_id).buffer;
  return murvnode::calculateUpTo(
      this, lastCount, buffer, count, [&](int c) { calculate(output_id, c, buffer); }, "BeatCandidate", 191);
}

void BeatCandidate::calculate(int, int count, MURV::Buffer&) {
  // The tempo is read first, so a wrong tempo fails before the flag's
  // upstream is computed for this count.
  float tempo = MURV::dereference_cast<float>(getInput(tempoInputID, count));
  MURV::dereference_cast<bool>(getInput(beatInputID, count));
  (*outputRecords[tempoOutputID].buffer)[count] = MURV::ObjectRef(new MURV::NetCType<float>(tempo));
}
