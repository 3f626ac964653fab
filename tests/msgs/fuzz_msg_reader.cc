// Feeds arbitrary bytes to the bounded reader, as the body of one of the
// toolbox's message types (the first byte picks which). Whatever is accepted
// must write back as exactly the bytes it was read from, and roscpp's own
// reader must read those bytes to the same message.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/MurvMsgReader.h"
#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvInt.h>
#include <murv_msgs/MurvIntSrv.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>
#include <murv_params/DODA.h>
#include <murv_params/DiradureZIDID.h>
#include <murv_params/SourceTracker.h>

namespace {

template <class M>
void readOne(const uint8_t* data, uint32_t size) {
  namespace ser = ros::serialization;
  M msg;
  try {
    murvDeserialize(data, size, msg);
  } catch (const ser::StreamOverrunException&) {
    return;
  }
  const uint32_t used = ser::serializationLength(msg);
  if (used > size) std::abort();
  std::vector<uint8_t> out(used);
  ser::OStream ostream(out.data(), used);
  ser::serialize(ostream, msg);
  if (used && std::memcmp(out.data(), data, used) != 0) std::abort();

  M stock;
  ser::IStream istream(out.data(), used);
  ser::deserialize(istream, stock);
  if (!(stock == msg)) {
    // Only NaN payloads compare unequal to themselves; compare the bytes.
    std::vector<uint8_t> again(used);
    ser::OStream astream(again.data(), used);
    ser::serialize(astream, stock);
    if (again != out) std::abort();
  }
}

using Reader = void (*)(const uint8_t*, uint32_t);
const Reader readers[] = {
    readOne<murv_msgs::MurvWave>,          readOne<murv_msgs::MurvFFT>,
    readOne<murv_msgs::MurvFeature>,       readOne<murv_msgs::MurvSource>,
    readOne<murv_msgs::MurvSrcWave>,       readOne<murv_msgs::MurvSrcFFT>,
    readOne<murv_msgs::MurvSrcFeature>,    readOne<murv_msgs::MurvSrcFeatureMFM>,
    readOne<murv_msgs::MurvWaveVal>,       readOne<murv_msgs::MurvFFTVal>,
    readOne<murv_msgs::MurvFeatureVal>,    readOne<murv_msgs::MurvSourceVal>,
    readOne<murv_msgs::MurvSrcWaveVal>,    readOne<murv_msgs::MurvSrcFFTVal>,
    readOne<murv_msgs::MurvSrcFeatureVal>, readOne<murv_msgs::MurvSrcFeatureMFMVal>,
    readOne<murv_msgs::MurvInt>,           readOne<murv_msgs::MurvIntSrvRequest>,
    readOne<murv_msgs::MurvIntSrvResponse>, readOne<murv_msgs::MurvSorvex>,
    readOne<murv_msgs::MurvSorvexSrc>,     readOne<murv_msgs::MurvSorvexSrcVal>,
    readOne<murv_params::DiradureZIDID>,   readOne<murv_params::SourceTracker>,
    readOne<murv_params::DODA>,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > UINT32_MAX) return 0;
  const size_t pick = data[0] % (sizeof readers / sizeof readers[0]);
  // A copy of exactly the body, so that any read past it is caught.
  std::vector<uint8_t> body(data + 1, data + size);
  readers[pick](body.data(), static_cast<uint32_t>(body.size()));
  return 0;
}
