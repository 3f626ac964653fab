#!/usr/bin/env bash
# run-dynparam-demo.sh BUILD-DIR: starts a private rosmaster on a free
# loopback port, runs examples/reconfigure-params.net (RosMurvParamsDynReconf
# serving its parameters as the ROS node /murv_params_demo) and changes the
# running network's parameters three times with dynparam, as a user would,
# showing what reaches the network each time. The network ends by itself
# after the third change; everything started here is stopped.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
# shellcheck source=private-rosmaster.sh
. "$here/scripts/private-rosmaster.sh"
dynparam="$py /usr/lib/dynamic_reconfigure/dynparam"
runner="$build/base/murv-run --toolbox $build/src/libmurv-ros.tlb.so --toolbox $build/examples/libmurv-examples.tlb.so"
node=/murv_params_demo

start_private_master

echo "== network: examples/reconfigure-params.net (ROS node $node)"
$runner "$here/examples/reconfigure-params.net" >"$work/network.log" 2>&1 &
network=$!
track "$network"
serving() { [[ "$($dynparam list 2>/dev/null)" == *"$node"* ]]; }
wait_for 30 serving || { echo "the network does not serve its parameters"; cat "$work/network.log"; exit 1; }

echo "== dynparam list"
$dynparam list

# Each change reaches the network as one line per parameter set, at the
# iteration after dynparam's set request was answered.
sets_shown() { [ "$(grep -c '^\[[0-9]*\] DODA ' "$work/network.log" || true)" -ge "$1" ]; }
change() {
  local n=$1 shown=""
  shift
  for arg in "$@"; do [[ "$arg" == *" "* ]] && shown+=" \"$arg\"" || shown+=" $arg"; done
  echo "== dynparam set $node$shown"
  $dynparam set "$node" "$@"
  wait_for 30 sets_shown "$n" || { echo "the change did not reach the network"; cat "$work/network.log"; exit 1; }
  grep '^\[[0-9]*\] ' "$work/network.log" | tail -n 3
}

change 1 "{MurvParamsDynReconfEnable: true, DiradureZIDID_num_source: 3, DODA_lx: 0.5}"
echo "== out of range values are clamped: DiradureZIDID_num_source to 7, DODA_time_constant to 160"
change 2 "{DiradureZIDID_num_source: 9, SourceTracker_compare_mode: 1, DODA_time_constant: 100.0}"
echo "== dynparam get $node"
$dynparam get "$node"
change 3 SourceTracker_thresh 30

echo "== waiting for the network to end (its monitor ends it after the third change)"
network_ended() { ! kill -0 "$network" 2>/dev/null; }
wait_for 30 network_ended || { echo "the network did not end"; cat "$work/network.log"; exit 1; }
status=0
wait "$network" || status=$?
tail -n 1 "$work/network.log"
if [ "$status" -ne 0 ]; then
  echo "the network failed:"
  cat "$work/network.log"
  exit 1
fi
echo "== shutting down"
