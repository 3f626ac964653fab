// The copy of a received message that a callback holder queues. The copy
// owns all its storage, so roscpp may release the message it delivered as
// soon as the callback returns. The header keeps stamp and frame_id and
// leaves seq at 0; count and size fields are kept as they came; a per-source
// type keeps no more sources than both its exist_src_num and its list allow;
// every array inside a kept element is copied whole, whatever its length
// field says.
#ifndef MURV_MSG_COPY_H
#define MURV_MSG_COPY_H

#include <murv_msgs/MurvFFT.h>
#include <murv_msgs/MurvFeature.h>
#include <murv_msgs/MurvSorvex.h>
#include <murv_msgs/MurvSource.h>
#include <murv_msgs/MurvSrcFFT.h>
#include <murv_msgs/MurvSrcFeature.h>
#include <murv_msgs/MurvSrcFeatureMFM.h>
#include <murv_msgs/MurvSrcWave.h>
#include <murv_msgs/MurvWave.h>

namespace murvmsg {

// Every channel (nch is not consulted).
murv_msgs::MurvWave fifoCopy(const murv_msgs::MurvWave& in);
murv_msgs::MurvFFT fifoCopy(const murv_msgs::MurvFFT& in);
// The first exist_src_num sources that the list holds.
murv_msgs::MurvFeature fifoCopy(const murv_msgs::MurvFeature& in);
murv_msgs::MurvSource fifoCopy(const murv_msgs::MurvSource& in);
murv_msgs::MurvSrcWave fifoCopy(const murv_msgs::MurvSrcWave& in);
murv_msgs::MurvSrcFFT fifoCopy(const murv_msgs::MurvSrcFFT& in);
murv_msgs::MurvSrcFeature fifoCopy(const murv_msgs::MurvSrcFeature& in);
murv_msgs::MurvSrcFeatureMFM fifoCopy(const murv_msgs::MurvSrcFeatureMFM& in);
// Every source with all its recognition entries.
murv_msgs::MurvSorvex fifoCopy(const murv_msgs::MurvSorvex& in);

// The copy that AudioStreamFromRos queues, trimmed to its nch by length
// frame: the channels that both nch and the list allow, each holding the
// samples that both length and the channel carry. Nothing is padded, so
// the copy is never larger than the message, whatever its counts say; the
// conversion sizes the matrix by the counts and fills what the copy lacks
// with 0.
murv_msgs::MurvWave frameCopy(const murv_msgs::MurvWave& in);

}  // namespace murvmsg

#endif
