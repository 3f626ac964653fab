#include "ParamsMonitor.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include "objects/ParamsObjects.h"
#include "SharedObjects.h"
#include "stop/StopSignals.h"
#include "Vector.h"
#include "net_types.h"

namespace {

void describe(std::ostream& out, const MURV::Object* object) {
  if (auto p = dynamic_cast<const ParamsDiradureZIDID*>(object)) {
    out << "DiradureZIDID num_source " << p->num_source << " min_deg " << p->min_deg << " max_deg " << p->max_deg
        << " lower_bound_frequency " << p->lower_bound_frequency << " upper_bound_frequency "
        << p->upper_bound_frequency;
  } else if (auto p = dynamic_cast<const ParamsSourceTracker*>(object)) {
    out << "SourceTracker thresh " << p->thresh << " pause_length " << p->pause_length << " min_src_interval "
        << p->min_src_interval << " min_tfindex_interval " << p->min_tfindex_interval << " compare_mode "
        << p->compare_mode;
  } else if (auto p = dynamic_cast<const ParamsDODA*>(object)) {
    out << "DODA lx " << p->lx << " time_constant " << p->time_constant;
  } else {
    out << "an object that is no parameter set";
  }
}

}  // namespace

ParamsMonitor::ParamsMonitor(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  diradureID = addInput("DiradureZIDID");
  sourceTrackerID = addInput("SourceTracker");
  dodaID = addInput("DODA");
  notEofID = addOutput("NOT_EOF");
  rate = MURV::dereference_cast<float>(parameters.get("RATE"));
  changes = MURV::dereference_cast<int>(parameters.get("CHANGES"));
  // Below one iteration in 1000 s the period no longer fits the steady
  // clock's duration for every rate, and a run would wait unstoppably long.
  if (!(rate >= 0.001f) || !std::isfinite(rate))
    throw new MURV::NodeException(this, "RATE must be a positive number of iterations per second, at least 0.001",
                                  "ParamsMonitor", __LINE__);
  // A stop signal ends the wait for the next iteration, however slow RATE is.
  made = murvstream::installStopSignals(murvstream::StopUser::pacedNode);
  inOrder = true;
}

void ParamsMonitor::calculate(int, int count, MURV::Buffer& out) {
  const auto now = std::chrono::steady_clock::now();
  if (nextIteration > now)
    murvstream::IterationStop(count, made)
        .sleep(std::chrono::ceil<std::chrono::microseconds>(nextIteration - now).count());
  nextIteration = std::max(now, nextIteration) +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / rate));

  bool changed = false;
  for (int input : {diradureID, sourceTrackerID, dodaID}) {
    MURV::RCPtr<MURV::Vector<MURV::ObjectRef> > objects = getInput(input, count);
    for (const MURV::ObjectRef& object : *objects) {
      std::ostringstream line;
      line << "[" << count << "] ";
      describe(line, object.get());
      std::cout << line.str() << std::endl;
      changed = true;
    }
  }
  if (changed) ++changesSeen;
  out[count] = changes > 0 && changesSeen >= changes ? MURV::FalseObject : MURV::TrueObject;
}
