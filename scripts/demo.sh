#!/usr/bin/env bash
# The main job: builds the toolbox, then sends a test signal through ROS and
# back into a network (see run-demo.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${MURV_BUILD_ROOT:-$here/build}
mkdir -p "$out"
echo "== building (log: $out/demo-build.log)"
"$here/scripts/build.sh" "$out/normal" >"$out/demo-build.log" 2>&1 || {
  cat "$out/demo-build.log"
  exit 1
}
echo "== the toolbox as the host loads it"
"$out/normal/base/murv-run" --toolbox "$out/normal/src/libmurv-ros.tlb.so" --list
exec "$here/scripts/run-demo.sh" "$out/normal" "${MURV_DEMO_FRAMES:-300}"
