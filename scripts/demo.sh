#!/usr/bin/env bash
# Runs the plug-in against the bundled simulated live room and platform API.
#
# The platform API (gift list, gift pictures, usage reports) starts first on a
# free port, and the plug-in is pointed at it with KIVA_API_BASE. The live
# room starts on 127.0.0.1:11111, with its window beside the vote window: a
# crowd of viewers votes by chat for 红队 and 蓝队 and sends the default gifts
# of teams 1 and 2. Then the plug-in shows its guide; after "我知道了" the vote
# window opens and connects. Each report the plug-in sends is printed here.
#
#   scripts/demo.sh         without a display, the demo sets up the vote by itself
#                           (kiva-pilot, offscreen), lets the crowd vote and saves
#                           pictures of the board and of the results page in build/demo/
#   scripts/demo.sh --qt6   the same, built on Qt 6 (in build-qt6/)
set -euo pipefail
source "$(dirname "$0")/common.sh"
kiva_choose_build "$@"
out="$build/demo"

pids=()
cleanup() { [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

# Starts a program that prints "listening <port>" and prints that port.
start_listening() {
  local log="$1"
  shift
  "$@" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    if grep -q '^listening ' "$log"; then
      grep -m1 '^listening ' "$log" | cut -d' ' -f2
      return 0
    fi
    sleep 0.1
  done
  echo "$1 did not start:" >&2
  cat "$log" >&2
  return 1
}

headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
fi
if [ "$headless" = 1 ]; then
  kiva_install_deps chromium # to picture the results page
else
  kiva_install_deps
fi
kiva_runtime_dir
kiva_build "$build" "${options[@]}"
mkdir -p "$out"

api_port=$(start_listening "$out/api.log" "$build/tools/apisim/kiva-api-sim" --port 0)
export KIVA_API_BASE="http://127.0.0.1:$api_port"
echo "Simulated platform API at $KIVA_API_BASE (reports in $out/api.log)"
tail -n +1 -f "$out/api.log" | grep --line-buffered '^report' &
pids+=($!)

room=("$build/tools/roomsim/kiva-room-sim" --port 11111 --crowd --rate 6 --teams "红队,蓝队"
      --gifts "1450928358,1477978817" --repeat 5 --quiet)
if [ "$headless" = 1 ]; then
  # A crowd of 150 messages (25 s), then the room is quiet and the page settles.
  start_listening "$out/room.log" "${room[@]}" --headless --count 150 --exit-when-done >/dev/null
  room_pid=${pids[-1]}
  echo "No display: the pilot sets up a chat vote for 红队 and 蓝队; the crowd votes for 25 s."
  QT_QPA_PLATFORM=offscreen "$build/tools/pilot/kiva-pilot" --room-port 11111 --text \
    --teams "红队,蓝队" --question "想看主播化妆还是卸妆？" \
    --shot "$out/vote-window.png" --quit-after-ms 35000 >"$out/pilot.log" 2>/dev/null &
  pids+=($!)
  pilot_pid=$!
  for _ in $(seq 100); do grep -q '^overlay ' "$out/pilot.log" && break; sleep 0.1; done
  page=$(grep -m1 '^overlay ' "$out/pilot.log" | cut -d' ' -f2 || true)
  echo "Results page for the broadcast software's browser source: ${page:-(not served)}"
  wait "$room_pid" || true
  if [ -n "$page" ]; then
    printf 'shot overlay\nquit\n' | QT_QPA_PLATFORM=offscreen \
      "$build/tools/overlaycheck/kiva-overlay-check" --browse "$page" --out-dir "$out" >/dev/null \
      && echo "The results page in a browser: $out/overlay.png"
  fi
  wait "$pilot_pid" || true
  echo "The board: $out/vote-window.png"
  echo "The vote's record (kiva-records list; kiva-records show ID for the whole vote):"
  "$build/tools/records/kiva-records" list | head -n 3 || true
else
  start_listening "$out/room.log" "${room[@]}" >/dev/null
  echo "Results page for the broadcast software's browser source: http://127.0.0.1:11112/overlay"
  export QT_LOGGING_RULES="kiva.room.debug=true"
  "$build/kivaPlugInVote" || true
  echo "The votes' records (kiva-records list; kiva-records show ID for a whole vote):"
  "$build/tools/records/kiva-records" list | head -n 3 || true
fi
