// Registers the host object types with the type registry under the type words
// that className() returns and that their text forms print, so operator>> can
// create them from text.

#include <complex>

#include "Map.h"
#include "Matrix.h"
#include "ObjectRef.h"
#include "TimeStamp.h"
#include "Vector.h"
#include "net_types.h"

namespace MURV {

// Boxed scalars.
MURV_DECLARE_OBJECT_TYPE(NetCType<int>, "Int", NetCTypeInt)
MURV_DECLARE_OBJECT_TYPE(NetCType<float>, "Float", NetCTypeFloat)
MURV_DECLARE_OBJECT_TYPE(NetCType<bool>, "Bool", NetCTypeBool)

// Vectors.
MURV_DECLARE_OBJECT_TYPE(Vector<float>, "Vector<float>", VectorFloat)
MURV_DECLARE_OBJECT_TYPE(Vector<int>, "Vector<int>", VectorInt)
MURV_DECLARE_OBJECT_TYPE(Vector<std::complex<float>>, "Vector<complex<float>>", VectorComplexFloat)
MURV_DECLARE_OBJECT_TYPE(Vector<ObjectRef>, "Vector<ObjectRef>", VectorObjectRef)

// Matrices, maps and time stamps.
typedef Map<int, ObjectRef> MapIntObjectRef;  // the macro takes no comma in its type
MURV_DECLARE_OBJECT_TYPE(Matrix<float>, "Matrix<float>", MatrixFloat)
MURV_DECLARE_OBJECT_TYPE(Matrix<int>, "Matrix<int>", MatrixInt)
MURV_DECLARE_OBJECT_TYPE(Matrix<std::complex<float>>, "Matrix<complex<float>>", MatrixComplexFloat)
MURV_DECLARE_OBJECT_TYPE(MapIntObjectRef, "Map<int,ObjectRef>", MapIntObjectRef)
MURV_DECLARE_OBJECT_TYPE(TimeStamp, "TimeStamp", TimeStamp)

}  // namespace MURV
