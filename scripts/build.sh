#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds the tree into DIR.
# MURV_JOBS sets how many compilers run at once (default: one per core); a
# ROS-heavy translation unit takes several hundred MB, so a small machine
# may want fewer. MURV_TARGETS, when set, names the targets to build
# (separated by blanks) instead of all of them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
jobs=${MURV_JOBS:-$(nproc)}
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || { echo "build.sh: MURV_JOBS must be a whole number above 0, not '$jobs'"; exit 2; }
mkdir -p "$(dirname "$dir")"
cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 || {
  cat "$dir.configure.log"
  exit 1
}
echo "build.sh: building $dir with $jobs jobs"
targets=()
for t in ${MURV_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$jobs" "${targets[@]}"
