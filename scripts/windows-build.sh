#!/usr/bin/env bash
# The Windows program, cross-built here with MinGW-w64: Qt 5, libcurl, cJSON
# and cpp-httplib for Windows come from the cache (built into it first when missing;
# Qt takes about an hour), then this tree is built into build-windows/: the
# program, the tools and the tests as .exe files. CTest there runs the tests
# under Wine.
#
#   scripts/windows-build.sh               build
#   scripts/windows-build.sh --test        and run every test under Wine (in Xvfb)
#   scripts/windows-build.sh --installer   and write build-windows/kiva-vote-setup-<version>.exe
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/windows-thirdparty.sh"

run_tests=0 installer=0
for argument in "$@"; do
  case "$argument" in
    --test) run_tests=1 ;;
    --installer) installer=1 ;;
    *) echo "usage: $0 [--test] [--installer]" >&2; exit 2 ;;
  esac
done

kiva_install_deps "${kiva_win_packages[@]}"
kiva_win_thirdparty

build="$kiva_root/build-windows"
cmake -S "$kiva_root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$kiva_root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DKIVA_WIN_PREFIXES="$kiva_qt_prefix;$kiva_curl_prefix;$kiva_cjson_prefix;$kiva_httplib_prefix"
cmake --build "$build" -j "$(nproc)"

if [ "$run_tests" = 1 ]; then
  kiva_runtime_dir
  # The tests' windows are offscreen as on Linux; Wine itself wants a display.
  # The soak runs on its own, as on Linux.
  (cd "$build" && xvfb-run -a -s "-screen 0 1920x1080x24" \
     ctest --output-on-failure --label-exclude soak -j "$(nproc)")
fi

if [ "$installer" = 1 ]; then
  stage="$build/installer/stage"
  rm -rf "$build/installer"
  cmake --install "$build" --prefix "$stage" --strip
  mapfile -t dll_folders <"$build/windows-dll-dirs.txt"
  "$kiva_root/packaging/windows/deploy.sh" "$stage" "$build/installer/files.nsh" \
    "$kiva_qt_prefix" "${dll_folders[@]}"
  version=$(cat "$build/windows-version.txt")
  setup="$build/kiva-vote-setup-$version.exe"
  makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DLISTS="$build/installer/files.nsh" \
    -DOUTFILE="$setup" "$kiva_root/packaging/windows/kiva-vote.nsi"
  echo "windows-build: $setup ($(du -h "$setup" | cut -f1))"
fi
