# Sourced by the demo scripts: a private rosmaster on a free loopback port
# for the duration of the script, with the environment that ROS's tools and
# the networks need to find it and the generated message modules of the
# build in $build, and the helpers the scripts wait with.
#
# After sourcing: $py, $work (a scratch folder, removed at exit unless
# MURV_DEMO_KEEP is set), $port, wait_for, track PID (stopped at exit, and
# named in the last line, "== stopped processes PID..."), and
# start_private_master.

py=/usr/bin/python3
work=$(mktemp -d /tmp/murv-demo-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  # By their ids: another demo on the machine runs the same commands.
  [ ${#pids[@]} -eq 0 ] || echo "== stopped processes ${pids[*]}"
  [ -n "${MURV_DEMO_KEEP:-}" ] && echo "logs kept in $work" || rm -rf "$work"
}
trap cleanup EXIT
track() { pids+=("$1"); }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

port=$($py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export ROS_MASTER_URI=http://127.0.0.1:$port/ ROS_IP=127.0.0.1 ROS_HOME=$work ROS_LOG_DIR=$work/log
export PYTHONPATH=$build/msgs/python${PYTHONPATH:+:$PYTHONPATH}
unset ROS_HOSTNAME

start_private_master() {
  echo "== rosmaster on 127.0.0.1:$port"
  $py /usr/bin/rosmaster --core -p "$port" >"$work/master.log" 2>&1 &
  master=$!
  track "$master"
  # The master answering must be ours: a master started on a taken port does not exit.
  ours() { $py -c "import sys, xmlrpc.client as x; sys.exit(x.ServerProxy('$ROS_MASTER_URI').getPid('/demo')[2] != $master)"; }
  wait_for 30 ours || { echo "rosmaster did not start"; cat "$work/master.log"; exit 1; }
}
