#!/usr/bin/env bash
# The main job: builds the toolbox, loads it as the host does and lists what
# it registered.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${MURV_BUILD_ROOT:-$here/build}
mkdir -p "$out"
"$here/scripts/build.sh" "$out/normal" >"$out/demo-build.log" 2>&1 || {
  cat "$out/demo-build.log"
  exit 1
}
"$out/normal/base/murv-run" --toolbox "$out/normal/src/libmurv-ros.tlb.so" --list
