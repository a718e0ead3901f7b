#!/usr/bin/env bash
# Compiles every product source as for Windows (syntax only), with Debian's
# MinGW-w64 compiler against the Qt 5 headers, so a mistake in a Windows-only
# branch (#ifdef Q_OS_WIN) fails here instead of on the first Windows build.
#
#   scripts/windows-check.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_install_deps g++-mingw-w64-x86-64-posix pkg-config

compiler=x86_64-w64-mingw32-g++-posix
# The cJSON and curl headers, without the rest of the host's include folder.
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
curl_header=$(dpkg -L libcurl4-openssl-dev | grep '/curl/curl\.h$' | head -n 1)
ln -s "$(dirname "$curl_header")" "$headers/curl"
ln -s /usr/include/cjson "$headers/cjson"

read -r -a qt_flags <<<"$(pkg-config --cflags Qt5Core Qt5Gui Qt5Widgets Qt5Network Qt5WebSockets)"
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror
       -Wno-attributes # Qt's Linux headers redeclare a few functions without dllimport
       -I"$kiva_root" -I"$headers" "${qt_flags[@]}")

failed=0
cd "$kiva_root"
# Every source of the program: all but the tools, tests, benchmarks and fuzz targets.
mapfile -t sources < <(git ls-files '*.cpp' | grep -vE '^(tools|tests|bench|fuzz)/')
for source in "${sources[@]}"; do
  if ! "$compiler" "${flags[@]}" "$source"; then
    echo "windows-check: $source does not compile for Windows" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "windows-check: every product source compiles for Windows"
exit "$failed"
