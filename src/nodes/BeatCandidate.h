#ifndef MURV_BEAT_CANDIDATE_H
#define MURV_BEAT_CANDIDATE_H

#include <string>

#include "BufferedNode.h"

// Passes the tempo on as a new float object on every iteration; the beat
// flag must be a boolean but its value is not used.
class BeatCandidate : public MURV::BufferedNode {
public:
  BeatCandidate(std::string nodeName, MURV::ParameterSet params);
  ~BeatCandidate() override;

  MURV::ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;
  void calculate(int output_id, int count, MURV::Buffer& out) override;

private:
  int tempoInputID;
  int beatInputID;
  int tempoOutputID;
};

#endif
