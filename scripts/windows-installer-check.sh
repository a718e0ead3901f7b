#!/usr/bin/env bash
# The Windows installer as a streamer meets it, under Wine in a fresh prefix
# on a virtual display: installed silently (/S); the installed program
# started with nothing else on the Windows path and its windows photographed
# (look at the pictures: the Chinese texts must render); kiva-records --help;
# then uninstalled silently: nothing of ours is left but the user's data
# (%APPDATA%\kiva).
#
#   scripts/windows-installer-check.sh [setup.exe]   (default: the newest in build-windows/)
#   pictures and logs in build-windows/installer-check/
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_install_deps wine64 xvfb xdotool imagemagick
setup=${1:-$(ls -t "$kiva_root"/build-windows/kiva-vote-setup-*.exe 2>/dev/null | head -n 1)}
[ -f "$setup" ] || { echo "usage: $0 setup.exe (or build one: scripts/windows-build.sh --installer)" >&2; exit 2; }
setup=$(realpath "$setup")

out="$kiva_root/build-windows/installer-check"
rm -rf "$out"
mkdir -p "$out"
kiva_end_with_script
fail() {
  echo "installer-check: FAILED: $*" >&2
  echo "installer-check: pictures and logs in $out" >&2
  exit 1
}

# Nothing of the build on any path: the programs must find all they need
# beside themselves.
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM QT_QPA_FONTDIR
export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
trap '"$wineserver" -k 2>/dev/null || true; kiva_stop_started' EXIT

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
kiva_start Xvfb ":$display" -screen 0 1600x900x24 -nolisten tcp
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

"$wine" wineboot --init >"$out/wineboot.log" 2>&1
"$wineserver" -w
drive="$WINEPREFIX/drive_c"
(cd "$drive" && find . -type f | sort) >"$out/files-before.txt"
user_data="$drive/users/$(id -un)/AppData/Roaming/kiva"

# Installed silently.
started=$SECONDS
"$wine" "$setup" /S >"$out/install.log" 2>&1 || fail "the installer exited with $?"
"$wineserver" -w
echo "installer-check: installed in $((SECONDS - started)) s"
program_dir="$drive/Program Files/kivaPlugInVote"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/kivaPlugInVote"
for file in kivaPlugInVote.exe kiva-records.exe platforms/qwindows.dll uninstall.exe; do
  [ -f "$program_dir/$file" ] || fail "$file was not installed"
done
[ -f "$menu/kivaPlugInVote.lnk" ] || fail "no Start-menu entry"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kivaPlugInVote' \
  >/dev/null 2>&1 || fail "no uninstall entry in the registry"

# The tool runs with what was installed beside it.
records_help=$("$wine" 'C:\Program Files\kivaPlugInVote\kiva-records.exe' --help 2>&1) \
  || fail "kiva-records --help exited with $?: $records_help"
grep -q 'list' <<<"$records_help" || fail "kiva-records --help printed: $records_help"
echo "installer-check: kiva-records --help runs"

# The program from its Start-menu folder's target, in a folder of no concern.
cd "$out"
kiva_start "$wine" 'C:\Program Files\kivaPlugInVote\kivaPlugInVote.exe'
program=${kiva_started[-1]}
window=""
for _ in $(seq 120); do
  window=$(xdotool search --onlyvisible --classname 'kivaPlugInVote.exe' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kiva_group_runs "$program" || fail "the program ended before showing a window"
  sleep 0.5
done
[ -n "$window" ] || fail "no window of the program within 60 s"
sleep 3
import -window root "$out/guide.png"
echo "installer-check: the program started; $out/guide.png"

# 我知道了 (where the guide draws it on the window) is clicked: the guide
# goes and the vote window is left. Keys would need a window manager to
# give the window the keyboard; a click needs none.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 382)) $((Y + 364)) click 1
sleep 4
import -window root "$out/vote-window.png"
echo "installer-check: $out/vote-window.png"
kiva_group_runs "$program" || fail "the program ended after the guide"
cmp -s "$out/guide.png" "$out/vote-window.png" && fail "the guide did not go on a click on 我知道了"
"$wineserver" -k
sleep 1

# A vote record of the user's, which the uninstaller must leave.
mkdir -p "$user_data/votes"
echo '{"v":1,"time":"2024-05-01T20:15:03.123+08:00","kind":"start"}' \
  >"$user_data/votes/20240501-201503-123.jsonl"
"$wine" 'C:\Program Files\kivaPlugInVote\uninstall.exe' /S >"$out/uninstall.log" 2>&1 \
  || fail "the uninstaller exited with $?"
"$wineserver" -w
[ ! -e "$program_dir" ] || fail "left behind: $(cd "$program_dir" && find . | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
! "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kivaPlugInVote' \
  >/dev/null 2>&1 || fail "the uninstall entry is left in the registry"
[ -f "$user_data/votes/20240501-201503-123.jsonl" ] || fail "the user's vote records went"
(cd "$drive" && find . -type f | sort) >"$out/files-after.txt"
# New files but the user's data and Wine's own (its temp folder, shell caches).
left=$(comm -13 "$out/files-before.txt" "$out/files-after.txt" \
  | grep -v -e '^\./users/[^/]*/AppData/Roaming/kiva/' -e '^\./users/[^/]*/Temp/' || true)
[ -z "$left" ] || fail "files left after uninstalling: $left"
echo "installer-check: uninstalled; the user's data stays in %APPDATA%\\kiva"
echo "installer-check: passed"
