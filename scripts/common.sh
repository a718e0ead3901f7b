#!/usr/bin/env bash
# Shared by the scripts: installs the Debian packages the build, the tests and
# the demo need (only those missing), and configures and builds a build folder.

kiva_packages=(
  cmake g++ make
  qtbase5-dev libqt5websockets5-dev
  libcurl4-openssl-dev libcjson-dev
  libcpp-httplib-dev libssl-dev openssl   # the simulated platform API and its tests
  fonts-wqy-microhei   # a CJK font, so Chinese text renders
  libxcb1-dev qtbase5-private-dev   # the global hotkeys' X11 key grabs
  xvfb xdotool   # the hotkeys' test: a private X server and keys typed into it
)

# The same tree on Qt 6 (--qt6): Debian's Qt 6 base, WebSockets and platform plugins.
kiva_qt6_packages=(qt6-base-dev qt6-websockets-dev qt6-qpa-plugins libgl-dev)

kiva_install_deps() {
  local extra=("$@") missing=() package
  local wanted=("${kiva_packages[@]}")
  [ "${kiva_qt:-5}" = 6 ] && wanted+=("${kiva_qt6_packages[@]}")
  for package in "${wanted[@]}" "${extra[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Qt warns without a private runtime folder; give it one when the session has none.
kiva_runtime_dir() {
  if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -w "${XDG_RUNTIME_DIR}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
  fi
}

# Sets `build`, `options` and `kiva_qt` from the arguments: --qt6 builds on
# Qt 6 instead of Qt 5, --sanitize under ASan/UBSan; each combination has a
# build folder of its own (build, build-sanitize, build-qt6, build-qt6-sanitize).
kiva_choose_build() {
  local suffix=""
  kiva_qt=5
  options=(-DCMAKE_BUILD_TYPE=Debug)
  for argument in "$@"; do
    case "$argument" in
      --qt6) kiva_qt=6 ;;
      --sanitize) options+=(-DKIVA_SANITIZE=ON) ;;
      *) echo "usage: $0 [--qt6] [--sanitize]" >&2; exit 2 ;;
    esac
  done
  options+=(-DKIVA_QT_MAJOR="$kiva_qt")
  [ "$kiva_qt" = 6 ] && suffix="-qt6"
  [[ " ${options[*]} " == *" -DKIVA_SANITIZE=ON "* ]] && suffix="$suffix-sanitize"
  build="$kiva_root/build$suffix"
}

# kiva_build <build-folder> [cmake options...]
kiva_build() {
  local build="$1"
  shift
  cmake -S "$kiva_root" -B "$build" "$@"
  cmake --build "$build" -j "$(nproc)"
}

# Sanitizer settings: stop at the first report, with a stack.
kiva_sanitizer_env() {
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
  export LSAN_OPTIONS="suppressions=$kiva_root/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
}

# Programs a script starts in the background end with it, on success, on
# failure and on Ctrl-C. kiva_start runs one in a process group of its own
# (setsid: the shell's background jobs lead none, so it needs no fork and the
# group's id is $!); at the end each whole group is told to stop, so what a
# program started in turn (a browser, a pipeline's other half) goes too.
kiva_started=()
kiva_start() {
  setsid "$@" &
  kiva_started+=("$!")
}

# True while a process of the group runs; one that has ended but waits for
# its new parent to reap it (a zombie) does not count.
kiva_group_runs() {
  local stat line fields
  kill -0 -- "-$1" "$1" 2>/dev/null || return 1
  for stat in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$stat" || continue
    fields=(${line##*) }) # state, parent, group, ...
    [ "${fields[2]:-}" = "$1" ] && [ "${fields[0]:-}" != Z ] && return 0
  done
  return 1
}

kiva_stop_started() {
  local pid running
  [ ${#kiva_started[@]} -gt 0 ] || return 0
  # The process itself too: one just started may not lead its group yet.
  for pid in "${kiva_started[@]}"; do kill -TERM -- "-$pid" "$pid" 2>/dev/null || true; done
  for _ in $(seq 30); do
    running=0
    for pid in "${kiva_started[@]}"; do kiva_group_runs "$pid" && running=1; done
    [ "$running" = 0 ] && break
    sleep 0.1
  done
  for pid in "${kiva_started[@]}"; do kill -KILL -- "-$pid" "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}

# Call once, before the first kiva_start.
kiva_end_with_script() {
  trap kiva_stop_started EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

# Everything before running tests: packages, build folder, environment.
# kiva_prepare [--qt6] [--sanitize]; leaves `build` set and the shell in it.
kiva_prepare() {
  kiva_choose_build "$@"
  kiva_install_deps
  kiva_runtime_dir
  kiva_build "$build" "${options[@]}"
  export QT_QPA_PLATFORM=offscreen
  kiva_sanitizer_env
  cd "$build"
}

kiva_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
