#!/usr/bin/env bash
# run-node-example.sh BUILD-DIR EXAMPLE.net: runs one network description of
# examples/nodes with a private rosmaster on a free loopback port, together
# with the ROS command-line peers its comments name, and checks what it
# printed. The lines it reads in the description:
#
#   # peer: COMMAND    started in the background once the master runs,
#                      before the network; stopped when the example ends
#   # ready: COMMAND   run after the peers start, in order, before the
#                      network starts; each one is tried again until it
#                      succeeds (30 s at most), so that a network that runs
#                      for a fixed time does not spend it waiting for a
#                      slow peer
#   # then: COMMAND    run once the network runs, in order; each one is
#                      tried again until it succeeds (30 s at most)
#   # expect: REGEX    an extended regular expression that a line of the
#                      network's or a 'then' command's output must match
#   # ends: signal     the network runs until the 'then' commands are done
#                      and is then stopped with SIGINT (status 130);
#                      without it the network ends by itself, status 0
#
# Commands run in bash in the example's folder, with ROS_MASTER_URI set and
# the generated message modules on PYTHONPATH.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
example=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
# shellcheck source=private-rosmaster.sh
. "$here/scripts/private-rosmaster.sh"
runner="$build/base/murv-run --toolbox $build/src/libmurv-ros.tlb.so --toolbox $build/examples/libmurv-examples.tlb.so"
export ROS_PACKAGE_PATH=$here/msgs${ROS_PACKAGE_PATH:+:$ROS_PACKAGE_PATH}

directive() { sed -n "s/^# $1: //p" "$example"; }
mapfile -t peers < <(directive peer)
mapfile -t readies < <(directive ready)
mapfile -t thens < <(directive then)
mapfile -t expects < <(directive expect)
ends=$(directive ends)

start_private_master
cd "$(dirname "$example")"
n=0
for cmd in "${peers[@]}"; do
  echo "== peer: $cmd"
  bash -c "$cmd" >"$work/peer$n.log" 2>&1 &
  track $!
  n=$((n + 1))
done

# Runs the command $2 until it succeeds (30 s at most), its output in $3.
until_ok() {
  local cmd=$2 out=$3
  echo "== $1: $cmd"
  attempt() { timeout 20 bash -c "$cmd" >"$out" 2>&1; }
  if ! wait_for 30 attempt; then
    echo "failed:"; cat "$out"; echo "== network output"; tail -n 40 "$work/network.log" 2>/dev/null; exit 1
  fi
}

n=0
for cmd in "${readies[@]}"; do
  until_ok ready "$cmd" "$work/ready$n.log"
  n=$((n + 1))
done

echo "== network: $(basename "$example")"
$runner "$example" >"$work/network.log" 2>&1 &
network=$!
track "$network"

n=0
for cmd in "${thens[@]}"; do
  until_ok then "$cmd" "$work/then$n.log"
  cat "$work/then$n.log"
  n=$((n + 1))
done

if [ "$ends" = signal ]; then
  kill -INT "$network" 2>/dev/null || true
  want=130
else
  want=0
fi
network_ended() { ! kill -0 "$network" 2>/dev/null; }
wait_for 60 network_ended || { echo "the network did not end"; tail -n 40 "$work/network.log"; exit 1; }
status=0
wait "$network" || status=$?
echo "== network output (status $status), last 40 lines"
tail -n 40 "$work/network.log"
[ "$status" -eq "$want" ] || { echo "FAILED: status $status, expected $want"; exit 1; }
# grep reads the files itself: a pipe from cat fails under pipefail when
# grep -q stops reading early; an example without 'then' has no then logs.
shopt -s nullglob
for re in "${expects[@]}"; do
  grep -Eq -- "$re" "$work/network.log" "$work"/then*.log || { echo "FAILED: nothing matches: $re"; exit 1; }
done
echo "== example ok"
