#!/usr/bin/env bash
# Installs, from Debian's packages, everything the toolbox needs to build,
# run and be tested. Does nothing when all of it is already installed.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # llvm-symbolizer, without which sanitizer stacks are not symbolized and
  # the suppression files in tests/ match nothing
  llvm-14
  # pgrep, with which the demo test checks that nothing is left running
  procps
  libroscpp-dev librosconsole-dev libstd-msgs-dev libsensor-msgs-dev
  libdynamic-reconfigure-config-init-mutex-dev
  python3-gencpp python3-genpy ros-std-msgs ros-sensor-msgs python3-sensor-msgs
  python3-rosmaster python3-rostopic python3-rosservice python3-rosnode python3-rosparam
  python3-dynamic-reconfigure python3-netifaces
  # ROS's package parser, which reads msgs/*/package.xml (and tests it), and
  # rosrun, as in any ROS install
  python3-catkin-pkg rosbash
  # dynparam imports these; Debian's python3-dynamic-reconfigure does not depend on them.
  python3-rospy python3-yaml
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
