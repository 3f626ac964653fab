#include "ParamsObjects.h"

ParamsDiradureZIDID::ParamsDiradureZIDID(int32_t num_source_, int32_t min_deg_, int32_t max_deg_,
                                         int32_t lower_bound_frequency_, int32_t upper_bound_frequency_)
    : num_source(num_source_),
      min_deg(min_deg_),
      max_deg(max_deg_),
      lower_bound_frequency(lower_bound_frequency_),
      upper_bound_frequency(upper_bound_frequency_) {}
ParamsDiradureZIDID::~ParamsDiradureZIDID() {}
void ParamsDiradureZIDID::serialize(std::ostream&) const {}
void ParamsDiradureZIDID::unserialize(std::istream&) {}
void ParamsDiradureZIDID::printOn(std::ostream&) const {}
void ParamsDiradureZIDID::readFrom(std::istream&) {}

ParamsSourceTracker::ParamsSourceTracker(float thresh_, float pause_length_, float min_src_interval_,
                                         float min_tfindex_interval_, int32_t compare_mode_)
    : thresh(thresh_),
      pause_length(pause_length_),
      min_src_interval(min_src_interval_),
      min_tfindex_interval(min_tfindex_interval_),
      compare_mode(compare_mode_) {}
ParamsSourceTracker::~ParamsSourceTracker() {}
void ParamsSourceTracker::serialize(std::ostream&) const {}
void ParamsSourceTracker::unserialize(std::istream&) {}
void ParamsSourceTracker::printOn(std::ostream&) const {}
void ParamsSourceTracker::readFrom(std::istream&) {}

ParamsDODA::ParamsDODA(float lx_, float time_constant_) : lx(lx_), time_constant(time_constant_) {}
ParamsDODA::~ParamsDODA() {}
void ParamsDODA::serialize(std::ostream&) const {}
void ParamsDODA::unserialize(std::istream&) {}
void ParamsDODA::printOn(std::ostream&) const {}
void ParamsDODA::readFrom(std::istream&) {}
