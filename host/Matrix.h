#ifndef MURV_MATRIX_H
#define MURV_MATRIX_H

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <new>
#include <ostream>
#include <string>

#include "Object.h"
#include "ObjectRef.h"

namespace MURV {

// The most elements a matrix read from outside the process may hold (its
// text form here; a received message in the nodes); neither dimension may
// exceed it either. Such input names any size in a few bytes, so without a
// bound a short hostile or corrupt input could ask for gigabytes. 2^24
// elements are 64 MiB of float (128 MiB of complex<float>), far more than
// any multichannel audio frame or spectrum needs. A matrix made in the
// process has no such bound: it is only as large as its maker asks.
constexpr std::int64_t matrixMaxElements = std::int64_t(1) << 24;

// Dense rows x cols matrix, stored row after row: element (i, j) is at
// data[i * cols + j]. Every element starts at zero.
template <class T> class Matrix : public Object {
public:
  Matrix() : rows(0), cols(0), data(allocate(0)) {}

  // A negative shape, or one whose bytes no address space holds, throws
  // std::bad_array_new_length before anything is allocated.
  Matrix(int nrows, int ncols) : rows(nrows), cols(ncols), data(nullptr) {
    if (!shapeAllocatable(nrows, ncols)) throw std::bad_array_new_length();
    data = allocate(std::int64_t(nrows) * ncols);
  }

  // Copies own their elements: two matrices never share one array.
  Matrix(const Matrix& other) : Object(other), rows(other.rows), cols(other.cols), data(copyOf(other)) {}

  Matrix& operator=(const Matrix& other) {
    if (this != &other) {
      T* fresh = copyOf(other);
      delete[] data;
      data = fresh;
      rows = other.rows;
      cols = other.cols;
    }
    return *this;
  }

  ~Matrix() override { delete[] data; }

  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;
  ObjectRef clone() override { return ObjectRef(new Matrix(*this)); }

  virtual std::int64_t msize() const { return std::int64_t(rows) * cols; }
  // Only a 0 x 0 matrix is empty; 3 x 0 is not.
  virtual bool mempty() const { return rows == 0 && cols == 0; }

  int rows;
  int cols;
  T* data;

private:
  // Two ints multiply exactly in 64 bits; the byte count must stay within
  // what one array may span.
  static bool shapeAllocatable(std::int64_t r, std::int64_t c) {
    return r >= 0 && c >= 0 && r * c <= PTRDIFF_MAX / std::int64_t(sizeof(T));
  }

  static bool shapeReadable(std::int64_t r, std::int64_t c) {
    return r >= 0 && c >= 0 && r <= matrixMaxElements && c <= matrixMaxElements &&
           r * c <= matrixMaxElements;
  }

  // Value-initialised, so every element type starts at zero.
  static T* allocate(std::int64_t count) { return new T[static_cast<std::size_t>(count)](); }

  static T* copyOf(const Matrix& m) {
    const std::int64_t n = m.msize();
    T* fresh = allocate(n);
    std::copy(m.data, m.data + n, fresh);
    return fresh;
  }

  static void writeElement(std::ostream& out, float v) { out << static_cast<double>(v); }
  static void writeElement(std::ostream& out, int v) { out << v; }
  static void writeElement(std::ostream& out, const std::complex<float>& v) { out << v; }
};

template <class T> void Matrix<T>::printOn(std::ostream& out) const {
  out << "<" << className() << std::endl;
  out << "<rows " << rows << ">" << std::endl;
  out << "<cols " << cols << ">" << std::endl;
  out << "<data " << std::endl;
  for (std::int64_t i = 0; i < rows; ++i) {
    const T* row = data + i * cols;
    for (int j = 0; j < cols; ++j) {
      writeElement(out, row[j]);
      out << " ";
    }
    out << std::endl;
  }
  out << ">" << std::endl;
  out << ">" << '\n';
}

// Reads what printOn writes, after "<" and the type word. After a failure
// the matrix keeps whatever was set before it.
template <class T> void Matrix<T>::readFrom(std::istream& in) {
  int pendingRows = rows;
  int pendingCols = cols;
  std::string tag;
  for (;;) {
    char c = 0;
    in >> c;
    if (in && c == '>') {
      // A shape takes effect only with the data after it; without data the
      // text would silently read as the matrix as it was.
      if (pendingRows != rows || pendingCols != cols)
        throw new ParsingException("Matrix<T>::readFrom : Parse error: 'data' expected");
      return;
    }
    if (!in || c != '<') throw new ParsingException("Matrix<T>::readFrom : Parse error: '<' expected");

    tag.clear();
    in >> tag;
    if (!in) throw new ParsingException("Matrix<T>::readFrom : Parse error trying to build " + tag);

    if (tag == "rows") {
      in >> pendingRows;
    } else if (tag == "cols") {
      in >> pendingCols;
    } else if (tag == "data") {
      // The shape comes from the text: refuse it before allocating.
      if (!shapeReadable(pendingRows, pendingCols))
        throw new ParsingException("Matrix<T>::readFrom : Parse error trying to build " + tag);
      T* fresh = allocate(std::int64_t(pendingRows) * pendingCols);
      const int keepRows = std::min(rows, pendingRows);
      const int keepCols = std::min(cols, pendingCols);
      for (std::int64_t i = 0; i < keepRows; ++i)
        for (std::int64_t j = 0; j < keepCols; ++j) fresh[i * pendingCols + j] = data[i * cols + j];
      delete[] data;
      data = fresh;
      cols = pendingCols;
      rows = pendingRows;
      const std::int64_t n = msize();
      // Once the stream has failed no later extraction can change an
      // element, so stop instead of spinning through the rest.
      for (std::int64_t k = 0; k < n && !in.fail(); ++k) in >> data[k];
    } else {
      throw new ParsingException("Matrix<T>::readFrom : unknown argument: " + tag);
    }

    if (in.fail()) throw new ParsingException("Matrix<T>::readFrom : Parse error trying to build " + tag);

    std::string close;
    in >> close;
    if (close != ">") throw new ParsingException("Matrix<T>::readFrom : Parse error: '>' expected ");
  }
}

}  // namespace MURV

#endif
