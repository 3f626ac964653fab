#include "MsgCopy.h"

#include "MsgToHost.h"

namespace murvmsg {

namespace {

// The header's seq is not copied: it stays 0 in the copy.
template <class M>
void copyHeader(const M& in, M& out) {
  out.header.stamp = in.header.stamp;
  out.header.frame_id = in.header.frame_id;
}

// Channel-based messages: every element of src, whatever nch says.
template <class M>
M channelCopy(const M& in) {
  M out;
  copyHeader(in, out);
  out.count = in.count;
  out.nch = in.nch;
  out.length = in.length;
  out.src = in.src;
  return out;
}

// Source-based messages: the first exist_src_num elements that src holds.
// Elements are copied whole; their own length fields do not limit their
// lists.
template <class M>
M perSourceCopy(const M& in) {
  M out;
  copyHeader(in, out);
  out.count = in.count;
  out.exist_src_num = in.exist_src_num;
  const std::size_t n = usedCount(in.exist_src_num, in.src.size());
  out.src.assign(in.src.begin(), in.src.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

}  // namespace

murv_msgs::MurvWave fifoCopy(const murv_msgs::MurvWave& in) {
  murv_msgs::MurvWave out = channelCopy(in);
  out.data_bytes = in.data_bytes;
  return out;
}

murv_msgs::MurvFFT fifoCopy(const murv_msgs::MurvFFT& in) { return channelCopy(in); }
murv_msgs::MurvFeature fifoCopy(const murv_msgs::MurvFeature& in) { return perSourceCopy(in); }
murv_msgs::MurvSource fifoCopy(const murv_msgs::MurvSource& in) { return perSourceCopy(in); }
murv_msgs::MurvSrcWave fifoCopy(const murv_msgs::MurvSrcWave& in) { return perSourceCopy(in); }
murv_msgs::MurvSrcFFT fifoCopy(const murv_msgs::MurvSrcFFT& in) { return perSourceCopy(in); }
murv_msgs::MurvSrcFeature fifoCopy(const murv_msgs::MurvSrcFeature& in) { return perSourceCopy(in); }
murv_msgs::MurvSrcFeatureMFM fifoCopy(const murv_msgs::MurvSrcFeatureMFM& in) { return perSourceCopy(in); }

murv_msgs::MurvSorvex fifoCopy(const murv_msgs::MurvSorvex& in) {
  murv_msgs::MurvSorvex out;
  copyHeader(in, out);
  out.src = in.src;
  return out;
}

murv_msgs::MurvWave frameCopy(const murv_msgs::MurvWave& in) {
  murv_msgs::MurvWave out;
  copyHeader(in, out);
  out.count = in.count;
  out.nch = in.nch;
  out.length = in.length;
  out.data_bytes = in.data_bytes;
  const std::size_t rows = usedCount(in.nch, in.src.size());
  out.src.resize(rows);
  for (std::size_t c = 0; c < rows; ++c) {
    const std::vector<float>& row = in.src[c].wavedata;
    const std::size_t samples = usedCount(in.length, row.size());
    out.src[c].wavedata.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(samples));
  }
  return out;
}

}  // namespace murvmsg
