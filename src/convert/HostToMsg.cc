#include "HostToMsg.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "RosMessageLength.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Peers compare the angles and stamps bit for bit, so the single-precision
// steps below must be rounded to float one at a time: each intermediate goes
// through a volatile float, which keeps the compiler from fusing a multiply
// and an add or from keeping more precision than a float holds.

namespace hosttomsg {

namespace {

// Byte counts are 32-bit fields; a count that does not fit wraps instead of
// overflowing a signed product.
std::int32_t byteCount(std::uint64_t values, std::uint32_t bytesPerValue) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(values * bytesPerValue));
}

// Only a value that truncates into the int32 range converts without
// undefined behaviour; NaN fails both comparisons. Anything else is replaced
// by 0 before the conversion, which keeps the loop free of branches.
inline float quantised(float sample) {
  const bool convertible = sample >= -2147483648.0f && sample < 2147483648.0f;
  const std::int32_t whole = static_cast<std::int32_t>(convertible ? sample : 0.0f);
  const std::int32_t low = static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) & 0xFFFFu);
  return static_cast<float>(low >= 0x8000 ? low - 0x10000 : low);
}

const MURV::ObjectRef& entryFor(const SourceMap& map, int id, const char* port, MURV::Node* node) {
  SourceMap::const_iterator it = map.find(id);
  if (it == map.end())
    throw new MURV::NodeException(node, std::string(port) + " has no entry for source id " + std::to_string(id),
                                  "HostToMsg", __LINE__);
  return it->second;
}

template <class Val> void setSourceFields(Val& v, const MURV::Source& s, float azimuth, float elevation) {
  v.id = s.id;
  v.power = s.power;
  v.x = s.x[0];
  v.y = s.x[1];
  v.z = s.x[2];
  v.azimuth = azimuth;
  v.elevation = elevation;
}

// A matrix whose message would not fit one ROS message is refused before
// its length could wrap. perRow and perValue are the bytes
// of a channel's list counts and of one of its values.
void refuseUnsendable(const std_msgs::Header& header, std::uint64_t fixed, const char* port, int rows, int cols,
                      std::uint64_t perRow, std::uint64_t perValue) {
  const std::uint64_t channels = rows > 0 ? std::uint64_t(rows) : 0, values = cols > 0 ? std::uint64_t(cols) : 0;
  if (!murvmsg::fitsOneMessage(ros::serialization::serializationLength(header) + fixed, channels,
                               perRow + perValue * values))
    throw new MURV::GeneralException(std::string(port) + " matrix of " + std::to_string(rows) + " x " +
                                         std::to_string(cols) + " is too large for one ROS message",
                                     "HostToMsg", __LINE__);
}

}  // namespace

void fillWave(WaveFrame& frame, const MURV::Matrix<float>& wave, bool debug) {
  if (debug) std::printf("MIC_WAVE: %d %d\n", wave.rows, wave.cols);
  refuseUnsendable(frame.header, 20, "MIC_WAVE", wave.rows, wave.cols, 4, 4);
  frame.wave = &wave;
}

void fillFFT(FFTFrame& frame, const MURV::Matrix<std::complex<float> >& fft, bool debug) {
  if (debug) std::printf("MIC_FFT: %d %d\n", fft.rows, fft.cols);
  refuseUnsendable(frame.header, 16, "MIC_FFT", fft.rows, fft.cols, 8, 8);
  frame.fft = &fft;
}

void fillFeature(murv_msgs::MurvFeature& msg, const SourceMap& features) {
  msg.exist_src_num = static_cast<std::int32_t>(features.size());
  msg.src.reserve(features.size());
  for (const auto& entry : features) {
    const MURV::Vector<float>& values = MURV::object_cast<MURV::Vector<float> >(entry.second);
    murv_msgs::MurvFeatureVal v;
    v.id = entry.first;
    v.length = static_cast<std::int32_t>(values.size());
    v.data_bytes = byteCount(values.size(), 4);
    v.featuredata.assign(values.begin(), values.end());
    msg.src.push_back(std::move(v));
  }
}

void fillSources(SourceMessages out, const MURV::Vector<MURV::ObjectRef>& sources, const SourceMaps& maps,
                 int advance, bool debug, MURV::Node* node) {
  const std::int32_t n = static_cast<std::int32_t>(sources.size());
  out.source.exist_src_num = n;
  out.wave.exist_src_num = n;
  out.fft.exist_src_num = n;
  out.feature.exist_src_num = n;
  out.featureMFM.exist_src_num = n;
  if (debug) std::printf("SRC_NUM: %d\n", n);

  for (std::int32_t k = 0; k < n; ++k) {
    MURV::RCPtr<MURV::Source> ref = sources[static_cast<size_t>(k)];
    const MURV::Source& s = *ref;
    const float azimuth = azimuthDegrees(s.x[0], s.x[1]);
    const float elevation = elevationDegrees(s.x[0], s.x[1], s.x[2]);

    murv_msgs::MurvSourceVal sv;
    setSourceFields(sv, s, azimuth, elevation);
    out.source.src.push_back(sv);
    if (debug)
      std::printf("\tSRC_INFO[%d]: id %d, x %f %f %f, power %f\n", k, s.id, static_cast<double>(s.x[0]),
                  static_cast<double>(s.x[1]), static_cast<double>(s.x[2]), static_cast<double>(s.power));

    if (maps.wave) {
      // ADVANCE is the number of samples each source wave carries.
      if (advance < 0)
        throw new MURV::NodeException(node, "ADVANCE must not be negative (got " + std::to_string(advance) + ")",
                                      "HostToMsg", __LINE__);
      const MURV::Vector<float>& wave =
          MURV::object_cast<MURV::Vector<float> >(entryFor(*maps.wave, s.id, "SRC_WAVE", node));
      const size_t m = wave.size();
      if (debug)
        std::printf("\t\tSWAVE: %d %d; %d\n", advance, static_cast<int>(byteCount(std::uint32_t(advance), 2)),
                    static_cast<int>(m));
      // The message carries the last ADVANCE samples; a wave that has fewer
      // would have to be padded with samples nobody measured.
      const size_t take = static_cast<size_t>(advance);
      if (m < take)
        throw new MURV::NodeException(node,
                                      "SRC_WAVE of source id " + std::to_string(s.id) + " holds " + std::to_string(m) +
                                          " samples, fewer than ADVANCE " + std::to_string(advance),
                                      "HostToMsg", __LINE__);
      murv_msgs::MurvSrcWaveVal v;
      setSourceFields(v, s, azimuth, elevation);
      v.length = advance;
      v.data_bytes = byteCount(std::uint32_t(advance), 2);
      v.wavedata.resize(take);
      const float* from = wave.data() + (m - take);
      quantise16(from, take, v.wavedata.data());
      out.wave.src.push_back(std::move(v));
    }

    if (maps.fft) {
      const MURV::Vector<std::complex<float> >& fft =
          MURV::object_cast<MURV::Vector<std::complex<float> > >(entryFor(*maps.fft, s.id, "SRC_FFT", node));
      const size_t m = fft.size();
      if (debug) std::printf("\t\tSFFT: %d\n", static_cast<int>(m));
      murv_msgs::MurvSrcFFTVal v;
      setSourceFields(v, s, azimuth, elevation);
      v.length = static_cast<std::int32_t>(m);
      v.fftdata_real.resize(m);
      v.fftdata_imag.resize(m);
      splitComplex(fft.data(), m, reinterpret_cast<std::uint8_t*>(v.fftdata_real.data()),
                   reinterpret_cast<std::uint8_t*>(v.fftdata_imag.data()));
      out.fft.src.push_back(std::move(v));
    }

    const MURV::Vector<float>* feature = nullptr;
    if (maps.feature) {
      feature = &MURV::object_cast<MURV::Vector<float> >(entryFor(*maps.feature, s.id, "SRC_FEATURE", node));
      murv_msgs::MurvSrcFeatureVal v;
      setSourceFields(v, s, azimuth, elevation);
      v.length = static_cast<std::int32_t>(feature->size());
      v.data_bytes = byteCount(feature->size(), 4);
      v.featuredata.assign(feature->begin(), feature->end());
      out.feature.src.push_back(std::move(v));
    }

    if (maps.reliability) {
      const MURV::Vector<float>& reliability =
          MURV::object_cast<MURV::Vector<float> >(entryFor(*maps.reliability, s.id, "SRC_RELIABILITY", node));
      murv_msgs::MurvSrcFeatureMFMVal v;
      setSourceFields(v, s, azimuth, elevation);
      if (feature) {
        v.length_feature = static_cast<std::int32_t>(feature->size());
        v.data_bytes_feature = byteCount(feature->size(), 4);
        v.featuredata_feature.assign(feature->begin(), feature->end());
      }
      v.length_mfm = static_cast<std::int32_t>(reliability.size());
      v.data_bytes_mfm = byteCount(reliability.size(), 4);
      v.featuredata_mfm.assign(reliability.begin(), reliability.end());
      out.featureMFM.src.push_back(std::move(v));
    }
  }
}

float quantise16(float sample) { return quantised(sample); }

void quantise16(const float* samples, std::size_t n, float* out) {
  std::size_t j = 0;
#if defined(__SSE2__)
  // The truncating conversion yields 0x80000000 for NaN and for anything
  // beyond the int32 range; its low 16 bits are 0, as the scalar rule says.
  for (; j + 4 <= n; j += 4) {
    const __m128i whole = _mm_cvttps_epi32(_mm_loadu_ps(samples + j));
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(whole, 16), 16);
    _mm_storeu_ps(out + j, _mm_cvtepi32_ps(low));
  }
#endif
  for (; j < n; ++j) out[j] = quantised(samples[j]);
}

void splitComplex(const std::complex<float>* values, std::size_t n, std::uint8_t* realOut, std::uint8_t* imagOut) {
  // std::complex<float> is laid out as its real then its imaginary part.
  const float* parts = reinterpret_cast<const float*>(values);
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    const __m128 a = _mm_loadu_ps(parts + 2 * i);      // r0 i0 r1 i1
    const __m128 b = _mm_loadu_ps(parts + 2 * i + 4);  // r2 i2 r3 i3
    _mm_storeu_ps(reinterpret_cast<float*>(realOut + 4 * i), _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_ps(reinterpret_cast<float*>(imagOut + 4 * i), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
  }
#endif
  for (; i < n; ++i) {
    std::memcpy(realOut + 4 * i, parts + 2 * i, 4);
    std::memcpy(imagOut + 4 * i, parts + 2 * i + 1, 4);
  }
}

float azimuthDegrees(float x, float y) {
  const volatile float radians = std::atan2(y, x);
  return static_cast<float>(static_cast<double>(radians) * 57.29577951308232);
}

float elevationDegrees(float x, float y, float z) {
  const volatile float xx = x * x;
  const volatile float yy = y * y;
  const volatile float sum = xx + yy;
  const volatile float radians = std::atan2(z, std::sqrt(static_cast<float>(sum)));
  return static_cast<float>(static_cast<double>(radians) * 57.29577951308232);
}

ros::Time stampOf(const MURV::TimeStamp& ts) {
  const long perSecond = 1000000;
  long carry = ts.usec / perSecond;
  long usec = ts.usec % perSecond;
  if (usec < 0) {
    usec += perSecond;
    carry -= 1;
  }
  // Unsigned, so a sec near the end of its range wraps instead of overflowing.
  const std::uint64_t sec = static_cast<std::uint64_t>(ts.sec) + static_cast<std::uint64_t>(carry);
  ros::Time t;
  t.sec = static_cast<std::uint32_t>(sec);
  t.nsec = static_cast<std::uint32_t>(usec) * 1000u;
  return t;
}

bool addSeconds(const ros::Time& base, double offset, ros::Time* stamp) {
  // Beyond 2^32 s no stamp can result, and the conversions below stay exact
  // and defined.
  if (!std::isfinite(offset) || std::fabs(offset) > 4294967296.0) return false;
  const double whole = std::floor(offset);
  const std::int64_t sec = static_cast<std::int64_t>(whole);
  const std::int64_t nsec = static_cast<std::int64_t>(std::round((offset - whole) * 1e9));
  const std::int64_t perSecond = 1000000000;
  const std::int64_t total = (static_cast<std::int64_t>(base.sec) + sec) * perSecond +
                             static_cast<std::int64_t>(base.nsec) + nsec;
  if (total < 0 || total >= (std::int64_t(1) << 32) * perSecond) return false;
  stamp->sec = static_cast<std::uint32_t>(total / perSecond);
  stamp->nsec = static_cast<std::uint32_t>(total % perSecond);
  return true;
}

double frameOffset(int count, float framePeriod) {
  const volatile float product = static_cast<float>(count) * framePeriod;
  return static_cast<double>(product);
}

}  // namespace hosttomsg
