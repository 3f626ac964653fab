#include "MsgToHost.h"

#include <algorithm>
#include <complex>
#include <string>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "BaseException.h"
#include "objects/RecogSource.h"
#include "Source.h"

namespace murvmsg {

namespace {

using std::uint64_t;

// A count as a size: a negative one is 0.
std::size_t countOf(std::int32_t count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

// The values that one source's vector holds: its length.
std::size_t vectorSize(const murv_msgs::MurvFeatureVal& v) { return countOf(v.length); }
std::size_t vectorSize(const murv_msgs::MurvSrcWaveVal& v) { return countOf(v.length); }
std::size_t vectorSize(const murv_msgs::MurvSrcFFTVal& v) { return countOf(v.length); }
std::size_t vectorSize(const murv_msgs::MurvSrcFeatureVal& v) { return countOf(v.length); }
std::size_t vectorSize(const murv_msgs::MurvSrcFeatureMFMVal& v) { return countOf(v.length_mfm); }

template <class M>
uint64_t matrixCells(const M& m) {
  return uint64_t(countOf(m.nch)) * uint64_t(countOf(m.length));
}

// One object per source plus the values of its vector.
template <class M>
uint64_t perSourceCount(const M& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  uint64_t total = n;
  if constexpr (!std::is_same_v<M, murv_msgs::MurvSource>)
    for (std::size_t k = 0; k < n; ++k) total += vectorSize(m.src[k]);
  return total;
}

void tooLarge(uint64_t values) {
  throw new MURV::GeneralException("Message too large for the host: " + std::to_string(values) +
                                       " values, more than " + std::to_string(maxHostValues),
                                   "MsgToHost", __LINE__);
}

template <class Val>
void appendSourcesOf(MURV::Vector<MURV::ObjectRef>& out, const std::vector<Val>& src, std::int32_t exist) {
  const std::size_t n = usedCount(exist, src.size());
  out.reserve(out.size() + n);
  for (std::size_t k = 0; k < n; ++k) {
    const Val& v = src[k];
    MURV::Source* s = new MURV::Source;
    MURV::ObjectRef owner(s);
    s->id = v.id;
    s->power = v.power;
    s->x[0] = v.x;
    s->x[1] = v.y;
    s->x[2] = v.z;
    out.push_back(owner);
  }
}

// n values, the first ones from data and the rest 0.
MURV::ObjectRef floatVector(const std::vector<float>& data, std::size_t n) {
  MURV::Vector<float>* v = new MURV::Vector<float>(n);
  MURV::ObjectRef owner(v);
  std::copy_n(data.begin(), std::min(n, data.size()), v->begin());
  return owner;
}

// Writes n values (re[i], im[i]) to out, which starts zeroed; a part that
// its list does not hold stays 0. A complex<float> is two floats, real
// first, so the common stretch is one interleaving pass, four bins a step
// where the processor has SSE2 (every x86-64 does).
void interleave(const std::vector<float>& re, const std::vector<float>& im, std::size_t n, std::complex<float>* out) {
  const std::size_t nre = std::min(n, re.size()), nim = std::min(n, im.size());
  const std::size_t both = std::min(nre, nim);
  const float* r = re.data();
  const float* i = im.data();
  float* parts = reinterpret_cast<float*>(out);
  std::size_t k = 0;
#ifdef __SSE2__
  for (; k + 4 <= both; k += 4) {
    const __m128 a = _mm_loadu_ps(r + k), b = _mm_loadu_ps(i + k);
    _mm_storeu_ps(parts + 2 * k, _mm_unpacklo_ps(a, b));
    _mm_storeu_ps(parts + 2 * k + 4, _mm_unpackhi_ps(a, b));
  }
#endif
  for (; k < both; ++k) {
    parts[2 * k] = r[k];
    parts[2 * k + 1] = i[k];
  }
  for (k = both; k < nre; ++k) parts[2 * k] = r[k];
  for (k = both; k < nim; ++k) parts[2 * k + 1] = i[k];
}

MURV::ObjectRef complexVector(const std::vector<float>& re, const std::vector<float>& im, std::size_t n) {
  MURV::Vector<std::complex<float>>* v = new MURV::Vector<std::complex<float>>(n);
  MURV::ObjectRef owner(v);
  interleave(re, im, n, v->data());
  return owner;
}

}  // namespace

uint64_t hostValueCount(const murv_msgs::MurvWave& m) { return matrixCells(m); }
uint64_t hostValueCount(const murv_msgs::MurvFFT& m) { return matrixCells(m); }

uint64_t hostValueCount(const murv_msgs::MurvFeature& m) { return perSourceCount(m); }
uint64_t hostValueCount(const murv_msgs::MurvSource& m) { return perSourceCount(m); }
uint64_t hostValueCount(const murv_msgs::MurvSrcWave& m) { return perSourceCount(m); }
uint64_t hostValueCount(const murv_msgs::MurvSrcFFT& m) { return perSourceCount(m); }
uint64_t hostValueCount(const murv_msgs::MurvSrcFeature& m) { return perSourceCount(m); }
uint64_t hostValueCount(const murv_msgs::MurvSrcFeatureMFM& m) { return perSourceCount(m); }

uint64_t hostValueCount(const murv_msgs::MurvSorvex& m) {
  uint64_t total = m.src.size();
  for (const murv_msgs::MurvSorvexSrc& s : m.src) total += s.entries.size();
  return total;
}

void setTimeStamp(MURV::TimeStamp& ts, const ros::Time& stamp) {
  ts.sec = static_cast<long>(static_cast<std::uint32_t>(stamp.sec));
  ts.usec = static_cast<long>(static_cast<std::uint32_t>(stamp.nsec) / 1000u);
}

MURV::ObjectRef toMatrix(const murv_msgs::MurvWave& m) {
  if (matrixCells(m) > maxHostValues) tooLarge(matrixCells(m));
  const std::size_t rows = countOf(m.nch), cols = countOf(m.length);
  MURV::Matrix<float>* mat = new MURV::Matrix<float>(static_cast<int>(rows), static_cast<int>(cols));
  MURV::ObjectRef owner(mat);
  const std::size_t carried = std::min(rows, m.src.size());
  for (std::size_t c = 0; c < carried; ++c) {
    const std::vector<float>& row = m.src[c].wavedata;
    std::copy_n(row.begin(), std::min(cols, row.size()), mat->data + c * cols);
  }
  return owner;
}

MURV::ObjectRef toMatrix(const murv_msgs::MurvFFT& m) {
  if (matrixCells(m) > maxHostValues) tooLarge(matrixCells(m));
  const std::size_t rows = countOf(m.nch), cols = countOf(m.length);
  MURV::Matrix<std::complex<float>>* mat =
      new MURV::Matrix<std::complex<float>>(static_cast<int>(rows), static_cast<int>(cols));
  MURV::ObjectRef owner(mat);
  const std::size_t carried = std::min(rows, m.src.size());
  for (std::size_t c = 0; c < carried; ++c)
    interleave(m.src[c].fftdata_real, m.src[c].fftdata_imag, cols, mat->data + c * cols);
  return owner;
}

void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSource& m) {
  appendSourcesOf(out, m.src, m.exist_src_num);
}
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcWave& m) {
  appendSourcesOf(out, m.src, m.exist_src_num);
}
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFFT& m) {
  appendSourcesOf(out, m.src, m.exist_src_num);
}
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeature& m) {
  appendSourcesOf(out, m.src, m.exist_src_num);
}
void appendSources(MURV::Vector<MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeatureMFM& m) {
  appendSourcesOf(out, m.src, m.exist_src_num);
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvFeature& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  for (std::size_t k = 0; k < n; ++k)
    out[m.src[k].id] = floatVector(m.src[k].featuredata, vectorSize(m.src[k]));
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcWave& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  for (std::size_t k = 0; k < n; ++k) out[m.src[k].id] = floatVector(m.src[k].wavedata, vectorSize(m.src[k]));
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFFT& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  for (std::size_t k = 0; k < n; ++k)
    out[m.src[k].id] = complexVector(m.src[k].fftdata_real, m.src[k].fftdata_imag, vectorSize(m.src[k]));
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeature& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  for (std::size_t k = 0; k < n; ++k)
    out[m.src[k].id] = floatVector(m.src[k].featuredata, vectorSize(m.src[k]));
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSrcFeatureMFM& m) {
  const std::size_t n = usedCount(m.exist_src_num, m.src.size());
  for (std::size_t k = 0; k < n; ++k)
    out[m.src[k].id] = floatVector(m.src[k].featuredata_mfm, vectorSize(m.src[k]));
}

void addMapEntries(MURV::Map<int, MURV::ObjectRef>& out, const murv_msgs::MurvSorvex& m) {
  for (const murv_msgs::MurvSorvexSrc& s : m.src) {
    RecogSource* r = new RecogSource;
    MURV::ObjectRef owner(r);
    r->id = s.id;
    r->azimuth = s.azimuth;
    r->elevation = s.elevation;
    r->aux1 = s.aux1;
    r->aux2 = s.aux2;
    r->aux3 = s.aux3;
    r->aux4 = s.aux4;
    r->status = static_cast<int>(s.status);  // int8 on the wire: sign-extended
    r->entries.reserve(s.entries.size());
    for (const murv_msgs::MurvSorvexSrcVal& e : s.entries) {
      RecogSource::tag_ASR_SRC entry;
      entry.entry_text = e.entry_text;
      entry.entry_index = e.entry_index;
      entry.entry_subtext = e.entry_subtext;
      entry.entry_value = e.entry_value;
      r->entries.push_back(std::move(entry));
    }
    out[s.id] = owner;
  }
}

}  // namespace murvmsg
