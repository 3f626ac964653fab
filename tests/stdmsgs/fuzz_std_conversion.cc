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
#include "convert/MurvMsgReader.h"
#include "convert/StdMsgsToHost.h"
#include "Vector.h"

namespace {

using murvstd::ArrayFormat;
using C = std::complex<float>;

template <class Received>
void readOne(const std::vector<uint8_t>& body, ArrayFormat format) {
  Received received;
  try {
    murvDeserialize(body.data(), static_cast<uint32_t>(body.size()), received);
  } catch (const ros::serialization::StreamOverrunException&) {
    return;
  }
  const auto m = murvstd::fold(received);
  if (m.data.size() != received.data.size() || m.layout != received.layout) std::abort();
  using T = typename decltype(m.data)::value_type;
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
  const bool matrix = format == ArrayFormat::Matrix || format == ArrayFormat::ComplexMatrix;
  const std::int64_t rows = m.layout.dim[0].size, cols = matrix ? m.layout.dim[1].size : 1;
  // The object's shape first, then element k against the data, bit for bit.
  auto expect = [&](ArrayFormat f, std::int64_t r, std::int64_t c, const auto* values) {
    if (f != format || r != rows || c != cols) std::abort();
    for (std::int64_t k = 0; k < r * c; ++k) {
      using E = std::decay_t<decltype(values[0])>;
      const C want = std::is_same_v<E, C> ? C(m.data[2 * k], m.data[2 * k + 1]) : C(m.data[k]);
      const C got(values[k]);
      if (std::memcmp(&want, &got, sizeof want) != 0) std::abort();
    }
  };
  MURV::Object* o = out.get();
  if (auto* v = dynamic_cast<MURV::Vector<T>*>(o)) expect(ArrayFormat::Vector, v->size(), 1, v->data());
  else if (auto* w = dynamic_cast<MURV::Vector<C>*>(o)) expect(ArrayFormat::ComplexVector, w->size(), 1, w->data());
  else if (auto* x = dynamic_cast<MURV::Matrix<T>*>(o)) expect(ArrayFormat::Matrix, x->rows, x->cols, x->data);
  else if (auto* y = dynamic_cast<MURV::Matrix<C>*>(o)) expect(ArrayFormat::ComplexMatrix, y->rows, y->cols, y->data);
  else std::abort();
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
