#ifndef MURV_PARAMS_OBJECTS_H
#define MURV_PARAMS_OBJECTS_H

// The parameter sets that the reconfiguration and parameter-message nodes
// hand to the network, one object per downstream module, each travelling as
// the single element of a Vector<ObjectRef>. They carry their fields only:
// no text or serialised form (writing and reading them does nothing).

#include <cstdint>
#include <iosfwd>

#include "Object.h"

// Sound-source localisation.
class ParamsDiradureZIDID : public MURV::Object {
public:
  ParamsDiradureZIDID(int32_t num_source, int32_t min_deg, int32_t max_deg, int32_t lower_bound_frequency,
                      int32_t upper_bound_frequency);
  ~ParamsDiradureZIDID() override;
  void serialize(std::ostream& out) const override;
  void unserialize(std::istream& in) override;
  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;

  int32_t num_source, min_deg, max_deg, lower_bound_frequency, upper_bound_frequency;
};

// Source tracking; compare_mode 0 compares by degrees (DEG), 1 by
// time-frequency index (TFINDEX).
class ParamsSourceTracker : public MURV::Object {
public:
  ParamsSourceTracker(float thresh, float pause_length, float min_src_interval, float min_tfindex_interval,
                      int32_t compare_mode);
  ~ParamsSourceTracker() override;
  void serialize(std::ostream& out) const override;
  void unserialize(std::istream& in) override;
  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;

  float thresh, pause_length, min_src_interval, min_tfindex_interval;
  int32_t compare_mode;
};

// The level estimator.
class ParamsDODA : public MURV::Object {
public:
  ParamsDODA(float lx, float time_constant);
  ~ParamsDODA() override;
  void serialize(std::ostream& out) const override;
  void unserialize(std::istream& in) override;
  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;

  float lx, time_constant;
};

#endif
