#include "TestSignal.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "Matrix.h"
#include "net_types.h"

TestSignal::TestSignal(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  outputID = addOutput("OUTPUT");
  channels = MURV::dereference_cast<int>(parameters.get("CHANNELS"));
  length = MURV::dereference_cast<int>(parameters.get("LENGTH"));
  samplingRate = MURV::dereference_cast<int>(parameters.get("SAMPLING_RATE"));
  amplitude = MURV::dereference_cast<float>(parameters.get("AMPLITUDE"));
  if (channels < 1 || length < 1 || samplingRate < 1)
    throw new MURV::NodeException(this, "CHANNELS, LENGTH and SAMPLING_RATE must be positive", "TestSignal",
                                  __LINE__);
  // A frame no larger than a matrix the host reads or receives: a larger one
  // would fail, or exhaust the memory, at the first iteration.
  if (static_cast<std::int64_t>(channels) * length > MURV::matrixMaxElements)
    throw new MURV::NodeException(this,
                                  "CHANNELS x LENGTH must be at most " + std::to_string(MURV::matrixMaxElements) +
                                      " values",
                                  "TestSignal", __LINE__);
  inOrder = true;
}

void TestSignal::calculate(int, int count, MURV::Buffer& out) {
  MURV::Matrix<float>* frame = new MURV::Matrix<float>(channels, length);
  const double twoPi = 6.283185307179586;
  for (int k = 0; k < channels; ++k) {
    const double frequency = 250.0 * (k + 1);
    for (int j = 0; j < length; ++j) {
      const double t = (static_cast<double>(count) * length + j) / samplingRate;
      frame->data[static_cast<size_t>(k) * length + j] =
          static_cast<float>(amplitude / (k + 1) * std::sin(twoPi * frequency * t));
    }
  }
  out[count] = MURV::ObjectRef(frame);
}
