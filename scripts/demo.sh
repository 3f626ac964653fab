#!/usr/bin/env bash
# The main job: builds the toolbox, then sends a test signal through ROS and
# back into a network (see run-demo.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${MURV_BUILD_ROOT:-$here/build}
mkdir -p "$out"
# Only what the demo runs: the toolbox, the runner, the example nodes and
# the messages (scripts/test.sh builds the tests and benchmarks too).
echo "== building the toolbox, the runner, the example nodes and the messages (log: $out/demo-build.log)"
MURV_TARGETS="murv-ros murv-run murv-examples murv_msgs_generate" \
  "$here/scripts/build.sh" "$out/normal" 2>&1 | tee "$out/demo-build.log"
echo "== the toolbox as the host loads it"
"$out/normal/base/murv-run" --toolbox "$out/normal/src/libmurv-ros.tlb.so" --list
exec "$here/scripts/run-demo.sh" "$out/normal" "${MURV_DEMO_FRAMES:-300}"
