#include "ParamsPending.h"

ParamsPending::ParamsPending(float durationSeconds, bool debug)
    : enable_debug(debug), pausing(static_cast<double>(durationSeconds)) {}

void ParamsPending::takeInto(MURV::Vector<MURV::ObjectRef>& diradure, MURV::Vector<MURV::ObjectRef>& tracker,
                             MURV::Vector<MURV::ObjectRef>& doda) {
  std::lock_guard<std::mutex> guard(lock);
  MURV::Vector<MURV::ObjectRef>* lists[] = {&DiradureZIDID, &SourceTracker, &DODA};
  MURV::Vector<MURV::ObjectRef>* outs[] = {&diradure, &tracker, &doda};
  for (int i = 0; i < 3; ++i) {
    if (lists[i]->empty()) continue;
    outs[i]->push_back(lists[i]->front());
    lists[i]->clear();
  }
}

void ParamsPending::replace(MURV::Vector<MURV::ObjectRef>& list, const MURV::ObjectRef& object) {
  std::lock_guard<std::mutex> guard(lock);
  list.clear();
  list.push_back(object);
}

void ParamsPending::replaceAll(const MURV::ObjectRef& diradure, const MURV::ObjectRef& tracker,
                               const MURV::ObjectRef& doda, bool give) {
  std::lock_guard<std::mutex> guard(lock);
  DiradureZIDID.clear();
  SourceTracker.clear();
  DODA.clear();
  if (!give) return;
  DiradureZIDID.push_back(diradure);
  SourceTracker.push_back(tracker);
  DODA.push_back(doda);
}

namespace murvparams {

void deliverPending(ParamsPending& pending, std::vector<MURV::OutputRecord>& records, int diradureID, int trackerID,
                    int dodaID, int count) {
  MURV::Vector<MURV::ObjectRef>* outs[3];
  const int ids[] = {diradureID, trackerID, dodaID};
  for (int i = 0; i < 3; ++i) {
    outs[i] = new MURV::Vector<MURV::ObjectRef>;
    (*records[static_cast<size_t>(ids[i])].buffer)[count] = outs[i];
  }
  pending.takeInto(*outs[0], *outs[1], *outs[2]);
}

}  // namespace murvparams

