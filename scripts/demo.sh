#!/usr/bin/env bash
# Runs the plug-in against the bundled simulated live room: the simulator
# (with its window) serves the room on 127.0.0.1:11111, where a crowd of
# viewers votes for 红队 and 蓝队 by chat and sends the default gifts; then the
# plug-in starts, shows its guide, and after "我知道了" opens the vote window,
# which connects to the room. Each chat line and gift that reaches the window
# is printed in this terminal.
#
#   scripts/demo.sh     (without a display it runs for 30 s on a virtual one)
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="$kiva_root/build"

# The room first, so the plug-in finds it at once.
demo() {
  local headless="$1"
  "$build/tools/roomsim/kiva-room-sim" --port 11111 --crowd --rate 4 --teams "红队,蓝队" \
    --gifts "1450928358,1477978817" --repeat 5 --quiet &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
  sleep 1
  export QT_LOGGING_RULES="kiva.room.debug=true"
  if [ "$headless" = 1 ]; then
    # Nobody can press "我知道了" on a virtual display: press it for them, at
    # its place in the guide (which opens at 5, 40).
    (sleep 3 && xdotool mousemove 388 404 click 1) &
    timeout 30 "$build/kivaPlugInVote" || true
  else
    "$build/kivaPlugInVote" || true
  fi
}

if [ "${1:-}" = "--on-virtual-display" ]; then
  demo 1
  exit 0
fi

headless=0
extra=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  extra=(xvfb xauth xdotool)
fi
kiva_install_deps "${extra[@]}"
kiva_runtime_dir
kiva_build "$build" -DCMAKE_BUILD_TYPE=Debug

if [ "$headless" = 1 ]; then
  echo "No display: running for 30 seconds on a virtual one."
  xvfb-run -a -s "-screen 0 1280x900x24" "$0" --on-virtual-display
else
  demo 0
fi
