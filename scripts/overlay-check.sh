#!/usr/bin/env bash
# Checks the on-stream results page in a real browser: headless Chromium keeps
# the page open against a running plug-in (kiva-pilot, fed by the room
# simulator) and screenshots it before and after a burst of votes, after the
# plug-in stopped (the last picture must stay) and after it restarted and the
# page was refreshed (each within 2 s). kiva-overlay-check reads every
# screenshot: transparent background, each team's bar in its colour and as
# long as its share.
#
#   scripts/overlay-check.sh            shots and states land in build/overlay-check/
set -euo pipefail
source "$(dirname "$0")/common.sh"

build="${KIVA_BUILD:-$kiva_root/build}"
out="$build/overlay-check"
# Allowed for the page to come back after a restart or refresh: 2 s, plus a
# margin for a machine whose every core is busy.
limit_ms=$((2000 + ${KIVA_OVERLAY_MARGIN_MS:-1000}))

started=$SECONDS
kiva_install_deps chromium
kiva_runtime_dir
export QT_QPA_PLATFORM=offscreen

targets=(kiva-overlay-check kiva-pilot kiva-room-sim)
[ -f "$build/CMakeCache.txt" ] || cmake -S "$kiva_root" -B "$build" -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"
check="$build/tools/overlaycheck/kiva-overlay-check"
sim="$build/tools/roomsim/kiva-room-sim"
pilot="$build/tools/pilot/kiva-pilot"

rm -rf "$out"
mkdir -p "$out"
kiva_end_with_script

fail() {
  echo "overlay-check: FAILED: $*" >&2
  echo "overlay-check: shots and logs in $out" >&2
  exit 1
}

# wait_line <file> <prefix> <seconds>: prints the first line of the file that
# starts with the prefix, once it is there.
wait_line() {
  local file="$1" prefix="$2" deadline=$((SECONDS + $3)) line
  while [ $SECONDS -le $deadline ]; do
    line=$(grep -m1 "^$prefix" "$file" 2>/dev/null || true)
    if [ -n "$line" ]; then
      echo "$line"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The room: a simulator on room_port (0 picks one), sending `count` chat
# messages at `rate` a second; it ends once they are sent.
room_port=0
run=0
start_room() {
  local count="$1" rate="$2" seed="$3" log
  run=$((run + 1))
  log="$out/room-$run.log"
  kiva_start "$sim" --headless --port "$room_port" --crowd --rate "$rate" --count "$count" \
    --teams "红队,蓝队" --mix 90,10,0 --seed "$seed" --quiet --exit-when-done >"$log" 2>&1
  room_pid=${kiva_started[-1]}
  room_port=$(wait_line "$log" "listening " 20 | cut -d' ' -f2) || fail "no room simulator"
}

# The plug-in serving the page on overlay_port (0 picks one).
overlay_port=0
start_plugin() {
  local log="$out/plugin-$run.log" line vote_type=("$@")
  [ ${#vote_type[@]} -gt 0 ] || vote_type=(--text)
  kiva_start "$pilot" --room-port "$room_port" --overlay-port "$overlay_port" \
    --teams "红队,蓝队" "${vote_type[@]}" --question "今晚吃什么？" >"$log" 2>&1
  plugin_pid=${kiva_started[-1]}
  line=$(wait_line "$log" "overlay http://" 60) || fail "the plug-in did not serve its page"
  page_url="${line#overlay }"
  overlay_port=$(echo "$page_url" | sed -E 's|.*:([0-9]+)/overlay$|\1|')
}

# The browser, one page kept open for the whole run, driven line by line; in
# a group of its own like the rest, so that Chromium ends with the script.
browse_log="$out/browser.log"
start_browser() {
  coproc BROWSER {
    exec setsid "$check" --browse "$page_url" --out-dir "$out" --chromium chromium 2>>"$browse_log"
  }
  kiva_started+=("$BROWSER_PID")
}

# ask <command> <name> [ms]: sends a command and prints the browser's lines
# up to its answer; sets `answer` to that line.
ask() {
  tell "$@"
  answer_to "$1" "$2"
}

tell() {
  echo "$*" >&"${BROWSER[1]}"
}

answer_to() {
  local verb="$1" name="$2" line
  while IFS= read -r -t 120 line <&"${BROWSER[0]}"; do
    echo "  $line"
    if [[ "$line" == "$verb $name "* ]]; then
      answer="$line"
      [[ "$line" == *" ok"* ]] || fail "$verb $name"
      return 0
    fi
    [[ "$line" == "browser failed"* ]] && fail "$line"
  done
  fail "$verb $name: no answer from the browser"
}

total_of() {
  sed -E 's/.*"total":([0-9.e+]+).*/\1/' "$1" | cut -d. -f1
}

echo "== The page against kiva-pilot and the room simulator"
start_room 300 300 1
start_plugin
wait "$room_pid" || true
echo "page: $page_url"
start_browser

echo "== Before the burst"
ask shot before

echo "== A burst of votes"
start_room 3000 3000 2
wait "$room_pid" || true
ask shot after
before_total=$(total_of "$out/before.json")
after_total=$(total_of "$out/after.json")
[ "$after_total" -gt "$before_total" ] || fail "the burst did not count: $before_total then $after_total votes"
echo "  votes: $before_total before, $after_total after"

echo "== The plug-in stops: the last picture stays"
kill "$plugin_pid"
wait "$plugin_pid" 2>/dev/null || true
ask kept stopped 3000

echo "== The plug-in starts again on the same port"
run=$((run + 1))
# Asked first: the browser driver times from the moment the page's server
# answers again to the moment the page shows its state.
tell await restarted
start_plugin
answer_to await restarted
restart_ms=${answer##* }
[ "$restart_ms" -le "$limit_ms" ] || fail "page back ${restart_ms} ms after the restart (limit ${limit_ms})"

echo "== Votes for the restarted plug-in"
start_room 500 500 3
wait "$room_pid" || true
ask shot final

echo "== The page is refreshed: the same totals come back"
ask reload refreshed
reload_ms=${answer##* }
[ "$reload_ms" -le "$limit_ms" ] || fail "page back ${reload_ms} ms after the refresh (limit ${limit_ms})"
ask shot refreshed
[ "$(total_of "$out/refreshed.json")" = "$(total_of "$out/final.json")" ] \
  || fail "the refreshed page shows other totals than before the refresh"

echo "== How to vote: the line under the question"
# howto_is <name> <text>: the state the page was checked against says <text>.
howto_is() {
  grep -qF "\"howTo\":\"$2\"" "$out/$1.json" || fail "the how-to line of $1 is not \"$2\""
}
ask howto chat
howto_is chat "发送 红队 或 蓝队 投票"
ask howto hidden "howto=0"
restart_plugin() {
  kill "$plugin_pid"
  wait "$plugin_pid" 2>/dev/null || true
  run=$((run + 1))
  start_plugin "$@"
}
restart_plugin --text --vote-by-number
ask howto numbers
howto_is numbers "发送 1 或 2 投票"
restart_plugin --mode 2
ask howto gifts
howto_is gifts "送出 金话筒 为 红队 投票，送出 幸运草 为 蓝队 投票"

browser_pid=$BROWSER_PID
echo "quit" >&"${BROWSER[1]}"
wait "$browser_pid" || fail "the browser driver ended with an error (see $browse_log)"
echo "overlay-check: passed in $((SECONDS - started)) s (back after restart ${restart_ms} ms, after refresh ${reload_ms} ms); shots in $out"
