#!/usr/bin/env bash
# run-demo.sh BUILD-DIR [FRAMES]: starts a private rosmaster on a free
# loopback port, runs a receiving network (MurvMsgsStreamFromRos on
# /murv/wave) and a publishing network (a test signal fed to
# RosMurvMsgsPublisher) in two processes, shows what arrives and what ROS's
# own tools see of the topic, then shuts everything down.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
frames=${2:-300}
runner="$build/base/murv-run --toolbox $build/src/libmurv-ros.tlb.so --toolbox $build/examples/libmurv-examples.tlb.so"

# shellcheck source=private-rosmaster.sh
. "$here/scripts/private-rosmaster.sh"
start_private_master

echo "== receiving network: examples/receive-wave.net"
$runner "$here/examples/receive-wave.net" >"$work/receiver.log" 2>&1 &
receiver=$!
track "$receiver"
topic_info() { $py /usr/bin/rostopic info /murv/wave 2>/dev/null || true; }
subscribed() { [[ "$(topic_info)" == *"* /murv_demo_receiver"* ]]; }
wait_for 30 subscribed || { echo "the receiver did not subscribe"; cat "$work/receiver.log"; exit 1; }

# Unbuffered (-u): Python block-buffers output to a file, so without it the
# rate lines of a still-running rostopic hz would not be in its log yet.
$py -u /usr/bin/rostopic hz /murv/wave >"$work/hz.log" 2>&1 &
track "$!"
$py -u /usr/bin/rostopic echo -n 1 --noarr /murv/wave >"$work/echo.log" 2>&1 &
echoer=$!
track "$echoer"
listening() { [ "$(topic_info | grep -c '^ \* /rostopic_' || true)" -ge 2 ]; }
wait_for 30 listening || true

echo "== publishing network: examples/publish-wave.net, $frames frames at most 100 per second"
$runner --count "$frames" "$here/examples/publish-wave.net"

echo "== waiting for the receiver to end (one second of silence)"
status=0
wait "$receiver" || status=$?

echo
echo "== what the receiving network printed (first and last frames)"
# Per iteration: the debug line "iteration : frames queued : message count :
# channels", the frame's time stamp and the level of each channel.
grep -E '^\[|^[0-9]+ : ' "$work/receiver.log" >"$work/lines" || true
head -n 6 "$work/lines"
echo "..."
tail -n 3 "$work/lines"
awk -F' : ' -v sent="$frames" '/^[0-9]+ : [0-9]+ : [0-9]+ : [0-9]+$/ {
    if (n > 0 && $3 != last + 1) gaps++
    if (n == 0) first = $3
    last = $3; n++
  }
  END {
    if (n == 0) { print "no frame received"; exit 1 }
    printf "received %d frames, message counts %d to %d, %d gaps (of %d sent;", n, first, last, gaps + 0, sent
    print " frames sent before the subscription connected are not delivered: ROS topics are not latched)"
  }' "$work/receiver.log"
echo
echo "== rostopic echo -n 1 --noarr /murv/wave"
# It exits after its one message; one that never got it is stopped.
exited() { ! kill -0 "$1"; }
wait_for 10 exited "$echoer" || echo "(rostopic echo received no message)"
cat "$work/echo.log"
echo "== rostopic hz /murv/wave"
# rostopic hz reports once a second, after the second message it receives.
if wait_for 10 grep -q 'average rate' "$work/hz.log"; then
  rate=$(grep -E 'average rate' "$work/hz.log")
  echo "${rate##*$'\n'}"
else
  echo "(no rate reported; rostopic hz printed:)"
  cat "$work/hz.log"
fi

if [ "$status" -ne 0 ]; then
  echo "the receiving network failed:"
  cat "$work/receiver.log"
  exit 1
fi
echo "== shutting down"
