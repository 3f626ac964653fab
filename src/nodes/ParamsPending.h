#ifndef MURV_PARAMS_PENDING_H
#define MURV_PARAMS_PENDING_H

// What the callback holders of the nodes that hand parameter sets to the
// network share: one pending list per parameter-object class, each holding
// at most the latest object not yet handed on, the pause that ends every
// callback, and the one lock that guards the lists. Callbacks build their
// objects before they lock and pause after they unlock; calculate() locks
// only to move what is pending out.

#include <mutex>
#include <vector>

#include "BufferedNode.h"
#include "ObjectRef.h"
#include "stop/StopPause.h"
#include "Vector.h"

class ParamsPending {
public:
  ParamsPending(float durationSeconds, bool debug);

  // Under the lock, for each of the three lists in order: its first object,
  // if any, is appended to the vector of the same name and the list emptied.
  void takeInto(MURV::Vector<MURV::ObjectRef>& diradure, MURV::Vector<MURV::ObjectRef>& tracker,
                MURV::Vector<MURV::ObjectRef>& doda);

  // Ends the pauses in progress and every later one: the node is going.
  void endPauses() { pausing.end(); }

  MURV::Vector<MURV::ObjectRef> DiradureZIDID;
  MURV::Vector<MURV::ObjectRef> SourceTracker;
  MURV::Vector<MURV::ObjectRef> DODA;

protected:
  // Under the lock: list holds object alone from now on.
  void replace(MURV::Vector<MURV::ObjectRef>& list, const MURV::ObjectRef& object);
  // Under the lock: all three lists emptied, then, when give is set, each
  // given its object.
  void replaceAll(const MURV::ObjectRef& diradure, const MURV::ObjectRef& tracker, const MURV::ObjectRef& doda,
                  bool give);
  // The pause after a callback that began at since, taken without the lock.
  void pause(const murvnode::StopPause::Since& since) const { pausing.sleep(since); }

  bool enable_debug;
  murvnode::StopPause pausing;
  std::mutex lock;
};

namespace murvparams {

// The calculate() of a node with the outputs DiradureZIDID, SourceTracker and
// DODA: a new empty vector in each output's buffer at count, then what is
// pending moved into them.
void deliverPending(ParamsPending& pending, std::vector<MURV::OutputRecord>& records, int diradureID, int trackerID,
                    int dodaID, int count);

}  // namespace murvparams

#endif
