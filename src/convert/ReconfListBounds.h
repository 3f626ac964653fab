// roscpp's reader for the lists of a dynamic_reconfigure::Config, bounded.
//
// A set_parameters request carries a Config whose lists (bools, ints, strs,
// doubles, groups) roscpp's stock reader sizes from their counts before it
// looks at the bytes: a request of a few bytes could make a reconfiguration
// node allocate, and touch, gigabytes. The explicit specialisations below
// read those lists as the checking reader reads the toolbox's own messages:
// a count whose elements cannot lie in the bytes that remain, or beyond the
// reader's element bound, throws roscpp's StreamOverrunException before
// anything is allocated; the server answers that request with the error and
// goes on serving.
//
// A specialisation must be seen before any use of the list type in every
// unit, or two units would read the same list differently. The build forces
// this header into every unit of the toolbox and of the programs that link
// it, and a unit that has included dynamic_reconfigure's Config before it
// does not compile.
#ifndef MURV_RECONF_LIST_BOUNDS_H
#define MURV_RECONF_LIST_BOUNDS_H

#ifdef DYNAMIC_RECONFIGURE_MESSAGE_CONFIG_H
#error "ReconfListBounds.h must be included before any dynamic_reconfigure header"
#endif

#include <dynamic_reconfigure/BoolParameter.h>
#include <dynamic_reconfigure/DoubleParameter.h>
#include <dynamic_reconfigure/GroupState.h>
#include <dynamic_reconfigure/IntParameter.h>
#include <dynamic_reconfigure/StrParameter.h>
#include <ros/serialization.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "MurvMsgReader.h"

namespace murvreconf {

template <class E>
struct BoundedListSerializer {
  using VecType = std::vector<E>;

  template <class Stream>
  static void write(Stream& stream, const VecType& v) {
    stream.next(static_cast<uint32_t>(v.size()));
    for (const E& e : v) stream.next(e);
  }

  template <class Stream>
  static void read(Stream& stream, VecType& v) {
    uint32_t count;
    stream.next(count);
    MurvMsgReader::checkListCount<E>(count, stream.getLength());
    v.resize(count);
    for (E& e : v) stream.next(e);
  }

  static uint32_t serializedLength(const VecType& v) {
    uint32_t size = 4;
    for (const E& e : v) size += ros::serialization::serializationLength(e);
    return size;
  }
};

}  // namespace murvreconf

namespace ros {
namespace serialization {

#define MURV_BOUNDED_RECONF_LIST(E) \
  template <>                       \
  struct VectorSerializer<E, std::allocator<E>, void> : murvreconf::BoundedListSerializer<E> {};

MURV_BOUNDED_RECONF_LIST(dynamic_reconfigure::BoolParameter)
MURV_BOUNDED_RECONF_LIST(dynamic_reconfigure::IntParameter)
MURV_BOUNDED_RECONF_LIST(dynamic_reconfigure::StrParameter)
MURV_BOUNDED_RECONF_LIST(dynamic_reconfigure::DoubleParameter)
MURV_BOUNDED_RECONF_LIST(dynamic_reconfigure::GroupState)

#undef MURV_BOUNDED_RECONF_LIST

}  // namespace serialization
}  // namespace ros

#endif
