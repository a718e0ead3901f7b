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
#                           (kiva-pilot, offscreen: one vote per viewer with changing,
#                           a 20 s countdown that stops counting), lets the crowd vote
#                           and saves pictures of the board and of the results page in
#                           build/demo/
#   scripts/demo.sh --qt6   the same, built on Qt 6 (in build-qt6/)
#
# KIVA_BUILD=<folder> runs the programs of a build folder as they are (no
# packages, no build); KIVA_DEMO_SECONDS (25) is how long the crowd votes
# without a display. Everything the demo starts ends with it.
set -euo pipefail
source "$(dirname "$0")/common.sh"
kiva_choose_build "$@"
[ -n "${KIVA_BUILD:-}" ] && build="$KIVA_BUILD"
out="$build/demo"
seconds="${KIVA_DEMO_SECONDS:-25}"

kiva_end_with_script

# Starts a program that prints "listening <port>" and sets `port` to that port.
start_listening() {
  local log="$1"
  shift
  kiva_start "$@" >"$log" 2>&1
  for _ in $(seq 100); do
    if grep -q '^listening ' "$log"; then
      port=$(grep -m1 '^listening ' "$log" | cut -d' ' -f2)
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
if [ -z "${KIVA_BUILD:-}" ]; then
  if [ "$headless" = 1 ]; then
    kiva_install_deps chromium # to picture the results page
  else
    kiva_install_deps
  fi
fi
kiva_runtime_dir
[ -n "${KIVA_BUILD:-}" ] || kiva_build "$build" "${options[@]}"
mkdir -p "$out"

start_listening "$out/api.log" "$build/tools/apisim/kiva-api-sim" --port 0
export KIVA_API_BASE="http://127.0.0.1:$port"
echo "Simulated platform API at $KIVA_API_BASE (reports in $out/api.log)"
kiva_start sh -c 'tail -n +1 -f "$1" | grep --line-buffered "^report"' sh "$out/api.log"

room=("$build/tools/roomsim/kiva-room-sim" --crowd --rate 6 --teams "红队,蓝队"
      --gifts "1450928358,1477978817" --repeat 5 --quiet)
if [ "$headless" = 1 ]; then
  # The crowd's messages (40 viewers), then the room is quiet and the page
  # settles; the pilot needs no fixed port for the room. Under one vote per
  # viewer the repeats count nothing, and the countdown closes the vote 5 s
  # before the crowd ends: what comes later is ignored too.
  start_listening "$out/room.log" "${room[@]}" --port 0 --headless --viewers 40 \
    --count $((6 * seconds)) --exit-when-done
  room_pid=${kiva_started[-1]}
  countdown=$((seconds > 10 ? seconds - 5 : seconds))
  echo "No display: the pilot sets up a chat vote for 红队 and 蓝队, one vote per viewer"
  echo "(changing allowed), and a ${countdown} s countdown that stops counting; the crowd votes for $seconds s."
  kiva_start env QT_QPA_PLATFORM=offscreen "$build/tools/pilot/kiva-pilot" --room-port "$port" \
    --text --teams "红队,蓝队" --question "想看主播化妆还是卸妆？" \
    --one-vote-per-viewer --allow-change --countdown "$countdown" --stop-at-time-up \
    --shot "$out/vote-window.png" --quit-after-ms $(((seconds + 10) * 1000)) \
    >"$out/pilot.log" 2>/dev/null
  pilot_pid=${kiva_started[-1]}
  for _ in $(seq 100); do grep -q '^overlay ' "$out/pilot.log" && break; sleep 0.1; done
  page=$(grep -m1 '^overlay ' "$out/pilot.log" | cut -d' ' -f2 || true)
  echo "Results page for the broadcast software's browser source: ${page:-(not served)}"
  wait "$room_pid" || true
  if [ -n "$page" ]; then
    # Started like the rest, so that the browser it drives ends with the demo too.
    kiva_start sh -c 'printf "shot overlay\nquit\n" | QT_QPA_PLATFORM=offscreen "$0" \
      --browse "$1" --out-dir "$2" >/dev/null' \
      "$build/tools/overlaycheck/kiva-overlay-check" "$page" "$out"
    wait "${kiva_started[-1]}" && echo "The results page in a browser: $out/overlay.png"
  fi
  wait "$pilot_pid" || true
  echo "The board: $out/vote-window.png"
  echo "The vote's record (kiva-records list; kiva-records show ID for the whole vote):"
  "$build/tools/records/kiva-records" list | head -n 3 || true
else
  start_listening "$out/room.log" "${room[@]}" --port 11111
  echo "Results page for the broadcast software's browser source: http://127.0.0.1:11112/overlay"
  export QT_LOGGING_RULES="kiva.room.debug=true"
  "$build/kivaPlugInVote" || true
  echo "The votes' records (kiva-records list; kiva-records show ID for a whole vote):"
  "$build/tools/records/kiva-records" list | head -n 3 || true
fi
