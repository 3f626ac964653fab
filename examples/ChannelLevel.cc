#include "ChannelLevel.h"

#include <cmath>

#include "Matrix.h"
#include "Vector.h"

ChannelLevel::ChannelLevel(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params) {
  inputID = addInput("INPUT");
  outputID = addOutput("OUTPUT");
}

void ChannelLevel::calculate(int, int count, MURV::Buffer& out) {
  MURV::RCPtr<MURV::Matrix<float> > frame = getInput(inputID, count);
  MURV::Vector<float>* levels = new MURV::Vector<float>(frame->rows, 0.0f);
  for (int r = 0; r < frame->rows; ++r) {
    double sum = 0.0;
    for (int c = 0; c < frame->cols; ++c) {
      const double v = frame->data[static_cast<size_t>(r) * frame->cols + c];
      sum += v * v;
    }
    (*levels)[r] = frame->cols ? static_cast<float>(std::sqrt(sum / frame->cols)) : 0.0f;
  }
  out[count] = MURV::ObjectRef(levels);
}
