// Feeds arbitrary bytes, as the body of one of the ten std_msgs array types
// (the first byte picks which, the second the host shape), through the
// bounded reader, the fold and the front conversion. A layout the check
// refuses must make the conversion refuse too; one it accepts must convert
// to exactly the shape its dim sizes give, holding the data's values.
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "Matrix.h"
#include "MurvMsgReader.h"
#include "StdMsgsToHost.h"
#include "Vector.h"

namespace {

using murvstd::ArrayFormat;
using C = std::complex<float>;

// Element k of the host object against the data, bit for bit.
template <class T, class Data>
void expectValues(const T* values, std::int64_t n, const Data& data) {
  for (std::int64_t k = 0; k < n; ++k) {
    const C want = std::is_same_v<T, C> ? C(data[2 * k], data[2 * k + 1]) : C(data[k]);
    const C got(values[k]);
    if (std::memcmp(&want, &got, sizeof want) != 0) std::abort();
  }
}

template <class T, class M>
void check(const M& m, ArrayFormat format) {
  const bool malformed = !murvstd::layoutFault(m, format).empty();
  MURV::ObjectRef out;
  try {
    out = murvstd::toHost(m, format);
  } catch (const std::invalid_argument&) {
    if (!malformed) std::abort();
    return;
  }
  if (malformed || (format == ArrayFormat::None) != !out.get()) std::abort();
  if (!out.get()) return;
  const std::int64_t first = m.layout.dim[0].size;
  if (auto* v = dynamic_cast<MURV::Vector<T>*>(out.get())) {
    if (format != ArrayFormat::Vector || std::int64_t(v->size()) != first) std::abort();
    expectValues(v->data(), first, m.data);
  } else if (auto* c = dynamic_cast<MURV::Vector<C>*>(out.get())) {
    if (format != ArrayFormat::ComplexVector || std::int64_t(c->size()) != first) std::abort();
    expectValues(c->data(), first, m.data);
  } else {
    auto shape = [&](auto* x) {
      if (x->rows != first || x->cols != std::int64_t(m.layout.dim[1].size)) std::abort();
      expectValues(x->data, x->msize(), m.data);
    };
    if (auto* x = dynamic_cast<MURV::Matrix<T>*>(out.get()); x && format == ArrayFormat::Matrix) shape(x);
    else if (auto* y = dynamic_cast<MURV::Matrix<C>*>(out.get()); y && format == ArrayFormat::ComplexMatrix) shape(y);
    else std::abort();
  }
}

template <class Received>
void readOne(const std::vector<uint8_t>& body, ArrayFormat format) {
  Received received;
  try {
    murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), received);
  } catch (const ros::serialization::StreamOverrunException&) {
    return;
  }
  const auto folded = murvstd::fold(received);
  if (folded.data.size() != received.data.size() || folded.layout != received.layout) std::abort();
  using T = typename decltype(folded.data)::value_type;
  check<T>(folded, format);
}

using Reader = void (*)(const std::vector<uint8_t>&, ArrayFormat);
const Reader readers[] = {
    readOne<std_msgs::Int8MultiArray>,   readOne<std_msgs::Int16MultiArray>,  readOne<std_msgs::Int32MultiArray>,
    readOne<std_msgs::Int64MultiArray>,  readOne<std_msgs::UInt8MultiArray>,  readOne<std_msgs::UInt16MultiArray>,
    readOne<std_msgs::UInt32MultiArray>, readOne<std_msgs::UInt64MultiArray>, readOne<std_msgs::Float32MultiArray>,
    readOne<std_msgs::Float64MultiArray>};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > UINT32_MAX) return 0;
  // A copy of exactly the body, so that any read past it is caught.
  readers[data[0] % 10](std::vector<uint8_t>(data + 2, data + size), static_cast<ArrayFormat>(data[1] % 5));
  return 0;
}
