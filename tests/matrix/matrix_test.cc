#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "Matrix.h"
#include "ObjectParser.h"
#include "ObjectRef.h"
#include "alloc_probe.h"
#include "test_util.h"

using namespace MURV;
using murvtest::printed;
using murvtest::rest;
using murvtest::thrownBy;
typedef std::complex<float> cfloat;

namespace {

template <class T> RCPtr<Matrix<T>> makeMatrix(int rows, int cols, const std::vector<T>& values) {
  RCPtr<Matrix<T>> m(new Matrix<T>(rows, cols));
  for (size_t k = 0; k < values.size(); ++k) m->data[k] = values[k];
  return m;
}

template <class T> std::vector<T> elements(const Matrix<T>& m) { return std::vector<T>(m.data, m.data + m.msize()); }

// Feeds text to readFrom, as operator>> does after "<" and the type word.
template <class T> std::string readError(Matrix<T>& m, const std::string& text) {
  std::istringstream in(text);
  return thrownBy([&] { m.readFrom(in); });
}

const std::int64_t bigRequest = 1 << 20;

}  // namespace

TEST(MatrixText, PrintsEachElementType) {
  RCPtr<Matrix<float>> f = makeMatrix<float>(2, 2, {1, 2, 3, 4});
  const std::string expected = "<Matrix<float>\n<rows 2>\n<cols 2>\n<data \n1 2 \n3 4 \n>\n>\n";
  EXPECT_EQ(printed(*f), expected);
  std::ostringstream pretty;
  f->prettyPrint(pretty);
  EXPECT_EQ(pretty.str(), expected);

  RCPtr<Matrix<int>> i = makeMatrix<int>(1, 3, {-1, 0, 70000});
  EXPECT_EQ(printed(*i), "<Matrix<int>\n<rows 1>\n<cols 3>\n<data \n-1 0 70000 \n>\n>\n");

  RCPtr<Matrix<cfloat>> c = makeMatrix<cfloat>(2, 1, {{1, 2}, {3, -4}});
  EXPECT_EQ(printed(*c), "<Matrix<complex<float>>\n<rows 2>\n<cols 1>\n<data \n(1,2) \n(3,-4) \n>\n>\n");

  // Numbers follow the stream's own settings.
  RCPtr<Matrix<float>> p = makeMatrix<float>(1, 2, {3.14159f, 1234567.0f});
  std::ostringstream out;
  out.precision(3);
  p->printOn(out);
  EXPECT_EQ(out.str(), "<Matrix<float>\n<rows 1>\n<cols 2>\n<data \n3.14 1.23e+06 \n>\n>\n");
}

TEST(MatrixText, EmptyAndDegenerateShapes) {
  Matrix<float> none;
  Matrix<float> tall(3, 0);
  Matrix<float> wide(0, 3);
  EXPECT_EQ(printed(none), "<Matrix<float>\n<rows 0>\n<cols 0>\n<data \n>\n>\n");
  EXPECT_EQ(printed(tall), "<Matrix<float>\n<rows 3>\n<cols 0>\n<data \n\n\n\n>\n>\n");
  EXPECT_EQ(printed(wide), "<Matrix<float>\n<rows 0>\n<cols 3>\n<data \n>\n>\n");

  EXPECT_TRUE(none.mempty());
  EXPECT_FALSE(tall.mempty());
  EXPECT_FALSE(wide.mempty());
  EXPECT_EQ(none.msize(), 0);
  EXPECT_EQ(tall.msize(), 0);
  EXPECT_EQ(wide.msize(), 0);
  EXPECT_EQ(printed(Matrix<int>(0, 0)), "<Matrix<int>\n<rows 0>\n<cols 0>\n<data \n>\n>\n");
}

template <class T> void expectRoundTrip(const RCPtr<Matrix<T>>& source) {
  std::stringstream text;
  source->printOn(text);
  ObjectRef ref(new Matrix<T>(1, 1));
  text >> ref;
  Matrix<T>& back = object_cast<Matrix<T>>(ref);
  EXPECT_NE(&back, source.get());
  EXPECT_EQ(back.rows, source->rows);
  EXPECT_EQ(back.cols, source->cols);
  EXPECT_EQ(elements(back), elements(*source));
  EXPECT_EQ(rest(text), "\n");
}

TEST(MatrixText, ReadsBackWhatItPrints) {
  expectRoundTrip(makeMatrix<float>(2, 2, {1, 2, 3, 4}));
  expectRoundTrip(makeMatrix<float>(2, 3, {-0.5f, 1e-7f, 123456.0f, 0, 2.5e10f, -3}));
  expectRoundTrip(makeMatrix<int>(3, 2, {-2147483647 - 1, 2147483647, 0, -1, 5, 6}));
  expectRoundTrip(makeMatrix<cfloat>(1, 3, {{1, 2}, {-3.5f, 0}, {0, -4}}));
  expectRoundTrip(RCPtr<Matrix<float>>(new Matrix<float>()));
  expectRoundTrip(RCPtr<Matrix<float>>(new Matrix<float>(3, 0)));
  expectRoundTrip(RCPtr<Matrix<int>>(new Matrix<int>(0, 3)));

  // Two printed matrices one after the other read as two objects.
  std::stringstream text;
  makeMatrix<int>(1, 1, {7})->printOn(text);
  makeMatrix<int>(1, 2, {8, 9})->printOn(text);
  ObjectRef a, b;
  text >> a >> b;
  EXPECT_EQ(elements(object_cast<Matrix<int>>(a)), std::vector<int>({7}));
  EXPECT_EQ(elements(object_cast<Matrix<int>>(b)), std::vector<int>({8, 9}));
}

TEST(MatrixRead, ResizeCopiesTheOverlapAtTheNewStride) {
  // 3 x 2 read as 2 x 3: six new values over the whole array.
  RCPtr<Matrix<float>> m = makeMatrix<float>(3, 2, {1, 2, 3, 4, 5, 6});
  std::istringstream in("<rows 2 >\n<cols 3 >\n<data 7 8 9 10 11 12 >\n> tail");
  m->readFrom(in);
  EXPECT_EQ(m->rows, 2);
  EXPECT_EQ(m->cols, 3);
  EXPECT_EQ(elements(*m), std::vector<float>({7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(rest(in), " tail");

  // When the values run out, what was copied shows: old (1,0) and (1,1)
  // moved to positions 3 and 4, the new column is zero.
  m = makeMatrix<float>(3, 2, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(readError(*m, "<rows 2 > <cols 3 > <data 7 8 9"), "Matrix<T>::readFrom : Parse error trying to build data");
  EXPECT_EQ(m->rows, 2);
  EXPECT_EQ(m->cols, 3);
  EXPECT_EQ(elements(*m), std::vector<float>({7, 8, 9, 3, 4, 0}));

  // Growing both ways keeps the old block and zeroes the rest.
  RCPtr<Matrix<cfloat>> c = makeMatrix<cfloat>(2, 2, {{1, 1}, {2, 2}, {3, 3}, {4, 4}});
  EXPECT_EQ(readError(*c, "<rows 3 > <cols 3 > <data"), "Matrix<T>::readFrom : Parse error trying to build data");
  EXPECT_EQ(elements(*c), std::vector<cfloat>({{1, 1}, {2, 2}, 0, {3, 3}, {4, 4}, 0, 0, 0, 0}));

  // "data" with no shape before it keeps the current shape.
  RCPtr<Matrix<int>> i = makeMatrix<int>(2, 2, {1, 2, 3, 4});
  std::istringstream again("<data 5 6 7 8 >\n>");
  i->readFrom(again);
  EXPECT_EQ(i->rows, 2);
  EXPECT_EQ(i->cols, 2);
  EXPECT_EQ(elements(*i), std::vector<int>({5, 6, 7, 8}));
}

TEST(MatrixRead, MalformedTextThrowsTheParsingMessages) {
  const std::string lt = "Matrix<T>::readFrom : Parse error: '<' expected";
  const std::string gt = "Matrix<T>::readFrom : Parse error: '>' expected ";
  const std::string build = "Matrix<T>::readFrom : Parse error trying to build ";
  const std::string unknown = "Matrix<T>::readFrom : unknown argument: ";
  const struct {
    const char* text;
    std::string message;
  } cases[] = {
      {"x", lt},
      {"", lt},
      {"<rows 2 >\n", lt},                        // ends before the closing '>'
      {"<foo 1 > >", unknown + "foo"},
      {"<Rows 1 > >", unknown + "Rows"},
      {"<rows a > >", build + "rows"},
      {"<cols > >", build + "cols"},
      {"<rows", build + "rows"},
      {"<", build},                               // ends before the tag word
      {"<rows 2>> >", gt},
      {"<rows 2 > <cols 2", gt},
      {"<rows 1 > <cols 1 > <data 1 2 > >", gt},  // one value too many
      {"<rows 2 > <cols 2 > <data 1 2 3 > >", build + "data"},
      {"<rows 2 > <cols 2 > >", "Matrix<T>::readFrom : Parse error: 'data' expected"},  // a shape without data
      {"<rows 1 > <cols 2 > <data 1 y > >", build + "data"},
  };
  for (const auto& c : cases) {
    Matrix<float> m;
    EXPECT_EQ(readError(m, c.text), c.message) << "input: " << c.text;
  }

  // The messages say Matrix<T> whatever the element type.
  Matrix<int> i;
  EXPECT_EQ(readError(i, "<bar 1 > >"), unknown + "bar");
  Matrix<cfloat> z;
  EXPECT_EQ(readError(z, "<rows 1 > <cols 1 > <data (1,x) > >"), build + "data");

  // A failure keeps what was read before it.
  Matrix<float> part;
  EXPECT_EQ(readError(part, "<rows 1 > <cols 2 > <data 4 z > >"), build + "data");
  EXPECT_EQ(part.rows, 1);
  EXPECT_EQ(part.cols, 2);
  EXPECT_EQ(part.data[0], 4.0f);
}

// Dimensions whose element count is negative, too large, or wraps to a small
// count in 32 bits must be refused before any allocation, leaving the matrix
// as it was.
TEST(MatrixRead, RefusesHostileSizesWithoutAllocating) {
  const struct {
    const char* rows;
    const char* cols;
    const char* tag;
  } cases[] = {
      {"65536", "65536", "data"},            // 2^32: wraps to 0 in 32 bits
      {"65537", "65537", "data"},            // wraps to 131073
      {"2147483647", "2147483647", "data"},  // wraps to 1
      {"46341", "46341", "data"},            // wraps negative
      {"-1", "5", "data"},
      {"-2", "-3", "data"},                  // positive product of negatives
      {"0", "-1", "data"},
      {"-2147483648", "2", "data"},
      {"16777217", "1", "data"},             // one over the cap
      {"4096", "4097", "data"},
      {"0", "2147483647", "data"},           // no elements, absurd width
      {"4294967297", "1", "rows"},           // not an int
      {"1", "99999999999999999999999", "cols"},  // not even a 64-bit integer
  };
  for (const auto& c : cases) {
    RCPtr<Matrix<cfloat>> m = makeMatrix<cfloat>(1, 2, {{1, 2}, {3, 4}});
    cfloat* before = m->data;
    const std::string text = std::string("<rows ") + c.rows + " >\n<cols " + c.cols + " >\n<data 1 2 3 >\n>\n";
    allocprobe::reset();
    EXPECT_EQ(readError(*m, text), std::string("Matrix<T>::readFrom : Parse error trying to build ") + c.tag)
        << c.rows << " x " << c.cols;
    EXPECT_LT(allocprobe::largest(), std::size_t(bigRequest)) << c.rows << " x " << c.cols;
    EXPECT_EQ(m->rows, 1);
    EXPECT_EQ(m->cols, 2);
    EXPECT_EQ(m->data, before);
    EXPECT_EQ(elements(*m), std::vector<cfloat>({{1, 2}, {3, 4}}));
  }

  // The same through the generic reader.
  std::istringstream in("<Matrix<float> <rows 65536 > <cols 65536 > <data 1 >\n>\n");
  ObjectRef ref;
  allocprobe::reset();
  EXPECT_EQ(thrownBy([&] { in >> ref; }), "Matrix<T>::readFrom : Parse error trying to build data");
  EXPECT_LT(allocprobe::largest(), std::size_t(bigRequest));
}

TEST(MatrixConstruct, RefusesOnlyShapesNoArrayHoldsAndStartsAtZero) {
  // Negative shapes, and 2^62 elements, whose bytes no address space holds.
  const int cases[][2] = {{-1, 5}, {-2, -3}, {0, -1}, {-5, 0}, {-2147483647 - 1, 2}, {2147483647, 2147483647}};
  for (const auto& c : cases) {
    allocprobe::reset();
    EXPECT_THROW(Matrix<float>(c[0], c[1]), std::bad_array_new_length) << c[0] << " x " << c[1];
    EXPECT_THROW(Matrix<cfloat>(c[0], c[1]), std::bad_array_new_length) << c[0] << " x " << c[1];
    EXPECT_LT(allocprobe::largest(), std::size_t(bigRequest)) << c[0] << " x " << c[1];
  }

  // The cap on what text may ask for does not bind a matrix made in the
  // process: no elements however many rows, or more than 2^24 elements.
  for (const auto& c : {std::pair{16777217, 0}, std::pair{0, 2147483647}}) {
    Matrix<cfloat> none(c.first, c.second);
    EXPECT_EQ(std::make_pair(none.rows, none.cols), c);
    EXPECT_EQ(none.msize(), 0);
  }
  Matrix<float> wide(64, 524288);
  EXPECT_EQ(wide.msize(), 2 * matrixMaxElements);
  EXPECT_EQ(wide.data[0], 0);
  EXPECT_EQ(wide.data[2 * matrixMaxElements - 1], 0);

  // msize does not wrap even where rows x cols exceeds an int.
  Matrix<float> probe;
  float* keep = probe.data;
  probe.rows = 65536;
  probe.cols = 65537;
  EXPECT_EQ(probe.msize(), std::int64_t(65536) * 65537);
  probe.rows = probe.cols = 0;
  probe.data = keep;

  // Every element type starts at zero (a sanitizer build fills fresh heap
  // memory with garbage, which makes a missing initialisation show).
  Matrix<float> f(3, 5);
  EXPECT_EQ(elements(f), std::vector<float>(15, 0.0f));
  Matrix<int> i(5, 3);
  EXPECT_EQ(elements(i), std::vector<int>(15, 0));
  Matrix<cfloat> z(2, 4);
  EXPECT_EQ(elements(z), std::vector<cfloat>(8, 0));
  EXPECT_EQ(Matrix<float>().rows, 0);
  EXPECT_EQ(Matrix<float>().cols, 0);
  EXPECT_TRUE(Matrix<float>().mempty());
}

TEST(MatrixCopy, CopiesShareNoStorage) {
  RCPtr<Matrix<float>> source = makeMatrix<float>(2, 3, {1, 2, 3, 4, 5, 6});
  ObjectRef copy = source->clone();
  Matrix<float>& c = object_cast<Matrix<float>>(copy);
  EXPECT_NE(&c, source.get());
  EXPECT_NE(c.data, source->data);
  EXPECT_EQ(c.refCountValue(), 1);
  EXPECT_EQ(source->refCountValue(), 1);
  EXPECT_EQ(c.rows, 2);
  EXPECT_EQ(c.cols, 3);
  EXPECT_EQ(elements(c), elements(*source));
  c.data[0] = 100;
  EXPECT_EQ(source->data[0], 1);

  RCPtr<Matrix<cfloat>> cs = makeMatrix<cfloat>(1, 2, {{1, 2}, {3, 4}});
  ObjectRef ccopy = cs->clone();
  EXPECT_NE(object_cast<Matrix<cfloat>>(ccopy).data, cs->data);
  EXPECT_EQ(elements(object_cast<Matrix<cfloat>>(ccopy)), elements(*cs));
  ObjectRef empty = Matrix<int>().clone();
  EXPECT_TRUE(object_cast<Matrix<int>>(empty).mempty());

  // Value copies, as a producer might make on the stack.
  Matrix<int> a(2, 2);
  a.data[3] = 9;
  Matrix<int> b(a);
  EXPECT_NE(b.data, a.data);
  EXPECT_EQ(b.data[3], 9);
  EXPECT_EQ(b.refCountValue(), 1);
  Matrix<int> d(1, 5);
  d = a;
  EXPECT_NE(d.data, a.data);
  EXPECT_EQ(d.rows, 2);
  EXPECT_EQ(d.cols, 2);
  EXPECT_EQ(elements(d), elements(a));
  int* own = d.data;
  Matrix<int>& self = d;
  d = self;
  EXPECT_EQ(d.data, own);
  EXPECT_EQ(d.data[3], 9);
}
