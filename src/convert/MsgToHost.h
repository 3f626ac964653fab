// Turning received murv_msgs messages into host objects.
//
// Shapes follow the count fields: a matrix is nch rows by length columns,
// a source's vector holds its length (length_mfm) values, and a negative
// count is 0. The lists are read only as far as they go: a cell or element
// for which the message carries no value is 0, and a source that the list
// does not hold (exist_src_num beyond it) is not made, since nothing would
// say what it is. Counts name any size in a few bytes, so what one message
// may become is bounded: at most maxHostValues values, counted in 64 bits
// (hostValueCount), which the receiving callbacks check before they queue a
// message.
#ifndef MURV_MSG_TO_HOST_H
#define MURV_MSG_TO_HOST_H

#include <cstddef>
#include <cstdint>

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>
#include <ros/time.h>

#include "Map.h"
#include "Matrix.h"
#include "ObjectRef.h"
#include "TimeStamp.h"
#include "Vector.h"

namespace murvmsg {

// The most values (matrix cells, vector elements, source and result
// objects) that one message may turn into: what the host's largest matrix
// holds, 64 MiB of float.
constexpr std::uint64_t maxHostValues = static_cast<std::uint64_t>(MURV::matrixMaxElements);

// How many of a list's listSize elements a count field lets a reader use.
inline std::size_t usedCount(std::int32_t count, std::size_t listSize) {
  if (count <= 0) return 0;
  return static_cast<std::size_t>(count) < listSize ? static_cast<std::size_t>(count) : listSize;
}

// The number of values the conversion of a message makes, in 64 bits.
std::uint64_t hostValueCount(const murv_msgs::MurvWave& m);
std::uint64_t hostValueCount(const murv_msgs::MurvFFT& m);
std::uint64_t hostValueCount(const murv_msgs::MurvFeature& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSource& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSrcWave& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSrcFFT& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSrcFeature& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSrcFeatureMFM& m);
std::uint64_t hostValueCount(const murv_msgs::MurvSorvex& m);

// sec = stamp seconds, usec = stamp nanoseconds / 1000, both unsigned 32-bit
// on the wire, so any header fits.
void setTimeStamp(MURV::TimeStamp& ts, const ros::Time& stamp);

// MATOUT: nch channels by length samples (Matrix<float>) or bins
// (Matrix<std::complex<float>>). A message beyond maxHostValues throws a
// GeneralException rather than allocating.
MURV::ObjectRef toMatrix(const murv_msgs::MurvWave& m);
MURV::ObjectRef toMatrix(const murv_msgs::MurvFFT& m);

// SRCOUT: appends one new MURV::Source per source, in message order.
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSource& m);
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcWave& m);
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFFT& m);
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeature& m);
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeatureMFM& m);

// MAPOUT: one entry per source, keyed by its id, in message order, so a
// later source replaces an earlier one of the same id.
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvFeature& m);
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcWave& m);
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFFT& m);
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeature& m);
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeatureMFM& m);
void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSorvex& m);

}  // namespace murvmsg

#endif
