#ifndef MURV_HOST_TO_MSG_H
#define MURV_HOST_TO_MSG_H

// How the host objects on RosMurvMsgsPublisher's inputs become murv_msgs
// audio messages: the multichannel waveform and spectrum as frames that
// serialise straight from the host matrix, everything else as messages. Each
// conversion fills only the fields after `count` (and appends to `src`): the
// header and `count` are the caller's. With debug set, the conversions write
// their trace lines to standard output with printf.

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>
#include <ros/message_traits.h>
#include <ros/serialization.h>
#include <ros/time.h>
#include <std_msgs/Header.h>

#include <complex>
#include <cstdint>
#include <cstring>

#include "Map.h"
#include "Matrix.h"
#include "Node.h"
#include "ObjectRef.h"
#include "Source.h"
#include "TimeStamp.h"
#include "Vector.h"

namespace hosttomsg {

typedef MURV::Map<int, MURV::ObjectRef> SourceMap;

// MurvWave and MurvFFT as they go on the wire: the header, the count and the
// host matrix whose rows are the channels. Serialised (see the Serializer
// specialisations below), a frame gives exactly the bytes of the message
// whose element r holds row r, reading the values from the matrix in place:
// a frame's samples are copied once, into roscpp's send buffer, instead of
// first into the message's lists and then again from those.
struct WaveFrame {
  std_msgs::Header header;
  std::int32_t count = 0;
  const MURV::Matrix<float>* wave = nullptr;  // no channels while null
};

struct FFTFrame {
  std_msgs::Header header;
  std::int32_t count = 0;
  const MURV::Matrix<std::complex<float> >* fft = nullptr;  // no channels while null
};

// MIC_WAVE: the frame carries the matrix, one channel per row. The matrix
// must outlive the frame's publication. A matrix too large for one message
// (its length is a 32-bit field) is a GeneralException; so for MIC_FFT.
void fillWave(WaveFrame& frame, const MURV::Matrix<float>& wave, bool debug);

// MIC_FFT: one channel per row, real and imaginary parts apart on the wire.
void fillFFT(FFTFrame& frame, const MURV::Matrix<std::complex<float> >& fft, bool debug);

// SRC_FEATURE without SRC_INFO: one element per map entry, by ascending id.
void fillFeature(murv_msgs::MurvFeature& msg, const SourceMap& features);

// The per-source maps that are connected; null for one that is not.
struct SourceMaps {
  const SourceMap* wave = nullptr;
  const SourceMap* fft = nullptr;
  const SourceMap* feature = nullptr;
  const SourceMap* reliability = nullptr;
};

// The five messages that the per-source conversion fills.
struct SourceMessages {
  murv_msgs::MurvSource& source;
  murv_msgs::MurvSrcWave& wave;
  murv_msgs::MurvSrcFFT& fft;
  murv_msgs::MurvSrcFeature& feature;
  murv_msgs::MurvSrcFeatureMFM& featureMFM;
};

// SRC_INFO and the connected maps: one element per source, in list order, in
// MurvSource and in the message of every connected map. A source id that a
// connected map lacks, or a source wave shorter than advance, is a
// NodeException of node naming the map and the id; so is a negative advance
// when SRC_WAVE is connected and a source is listed.
void fillSources(SourceMessages out, const MURV::Vector<MURV::ObjectRef>& sources, const SourceMaps& maps,
                 int advance, bool debug, MURV::Node* node);

// The real parts of n values as consecutive float32s at realOut, the
// imaginary parts at imagOut; neither destination needs float alignment.
void splitComplex(const std::complex<float>* values, std::size_t n, std::uint8_t* realOut, std::uint8_t* imagOut);

// A sample as a 16-bit value carried in a float32: truncated toward zero to a
// 32-bit integer whose low 16 bits are kept as a signed value. Not a number,
// or beyond the 32-bit integer range, gives 0.
float quantise16(float sample);
// quantise16 of n samples.
void quantise16(const float* samples, std::size_t n, float* out);

// Direction of a position in degrees: azimuth in [-180, 180], elevation in
// [-90, 90], each computed in single precision and scaled in double.
float azimuthDegrees(float x, float y);
float elevationDegrees(float x, float y, float z);

// The header stamp of a host TimeStamp: seconds and usec x 1000 nanoseconds.
// usec outside [0, 1000000) carries whole seconds into sec, so nsec is always
// below 10^9; sec keeps its low 32 bits.
ros::Time stampOf(const MURV::TimeStamp& ts);

// ros::Duration::fromSec's seconds and rounded nanoseconds of offset, added
// to base and normalised. Answers false, leaving *stamp alone, when offset is
// not finite or the sum lies outside what a stamp can hold.
bool addSeconds(const ros::Time& base, double offset, ros::Time* stamp);

// The offset of count's frame from count 0: count times the frame period,
// multiplied in single precision.
double frameOffset(int count, float framePeriod);

}  // namespace hosttomsg

// A frame is published as its message type: the same datatype, MD5 sum and
// definition, and a header for roscpp to number.
namespace ros {
namespace message_traits {

#define MURV_FRAME_TRAITS(Frame, Msg)                                                                 \
  template <> struct IsMessage<Frame> : TrueType {};                                                  \
  template <> struct HasHeader<Frame> : TrueType {};                                                  \
  template <> struct MD5Sum<Frame> {                                                                  \
    static const char* value() { return MD5Sum<Msg>::value(); }                                       \
    static const char* value(const Frame&) { return value(); }                                        \
  };                                                                                                  \
  template <> struct DataType<Frame> {                                                                \
    static const char* value() { return DataType<Msg>::value(); }                                     \
    static const char* value(const Frame&) { return value(); }                                        \
  };                                                                                                  \
  template <> struct Definition<Frame> {                                                              \
    static const char* value() { return Definition<Msg>::value(); }                                   \
    static const char* value(const Frame&) { return value(); }                                        \
  };

MURV_FRAME_TRAITS(hosttomsg::WaveFrame, murv_msgs::MurvWave)
MURV_FRAME_TRAITS(hosttomsg::FFTFrame, murv_msgs::MurvFFT)

#undef MURV_FRAME_TRAITS

}  // namespace message_traits

namespace serialization {

// Field for field what the generated serializers write for MurvWave and
// MurvFFT, the lists' counts taken from the matrix's shape.
template <> struct Serializer<hosttomsg::WaveFrame> {
  template <typename Stream> static void write(Stream& stream, const hosttomsg::WaveFrame& f) {
    const std::int32_t rows = f.wave ? f.wave->rows : 0, cols = f.wave ? f.wave->cols : 0;
    const std::uint32_t channels = rows > 0 ? static_cast<std::uint32_t>(rows) : 0;
    const std::uint32_t samples = cols > 0 ? static_cast<std::uint32_t>(cols) : 0;
    stream.next(f.header);
    stream.next(f.count);
    stream.next(rows);
    stream.next(cols);
    stream.next(static_cast<std::int32_t>(channels * samples * 4u));
    stream.next(channels);
    for (std::uint32_t r = 0; r < channels; ++r) {
      stream.next(samples);
      if (samples) std::memcpy(stream.advance(samples * 4u), f.wave->data + std::size_t(r) * samples, samples * 4u);
    }
  }
  static std::uint32_t serializedLength(const hosttomsg::WaveFrame& f) {
    const std::uint32_t channels = f.wave && f.wave->rows > 0 ? static_cast<std::uint32_t>(f.wave->rows) : 0;
    const std::uint32_t samples = f.wave && f.wave->cols > 0 ? static_cast<std::uint32_t>(f.wave->cols) : 0;
    return serializationLength(f.header) + 20u + channels * (4u + 4u * samples);
  }
};

template <> struct Serializer<hosttomsg::FFTFrame> {
  template <typename Stream> static void write(Stream& stream, const hosttomsg::FFTFrame& f) {
    const std::int32_t rows = f.fft ? f.fft->rows : 0, cols = f.fft ? f.fft->cols : 0;
    const std::uint32_t channels = rows > 0 ? static_cast<std::uint32_t>(rows) : 0;
    const std::uint32_t bins = cols > 0 ? static_cast<std::uint32_t>(cols) : 0;
    stream.next(f.header);
    stream.next(f.count);
    stream.next(rows);
    stream.next(cols);
    stream.next(channels);
    for (std::uint32_t r = 0; r < channels; ++r) {
      const std::complex<float>* row = f.fft->data + std::size_t(r) * bins;
      stream.next(bins);
      std::uint8_t* realOut = stream.advance(bins * 4u);
      stream.next(bins);
      std::uint8_t* imagOut = stream.advance(bins * 4u);
      hosttomsg::splitComplex(row, bins, realOut, imagOut);
    }
  }
  static std::uint32_t serializedLength(const hosttomsg::FFTFrame& f) {
    const std::uint32_t channels = f.fft && f.fft->rows > 0 ? static_cast<std::uint32_t>(f.fft->rows) : 0;
    const std::uint32_t bins = f.fft && f.fft->cols > 0 ? static_cast<std::uint32_t>(f.fft->cols) : 0;
    return serializationLength(f.header) + 16u + channels * (8u + 8u * bins);
  }
};

}  // namespace serialization
}  // namespace ros

#endif
