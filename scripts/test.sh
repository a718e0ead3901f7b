#!/usr/bin/env bash
# Builds the project and runs every test through CTest.
#
#   scripts/test.sh              build into build/ and run the tests
#   scripts/test.sh --sanitize   the same under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
source "$(dirname "$0")/common.sh"

build="$kiva_root/build"
options=(-DCMAKE_BUILD_TYPE=Debug)
case "${1:-}" in
  "") ;;
  --sanitize)
    build="$kiva_root/build-sanitize"
    options+=(-DKIVA_SANITIZE=ON)
    ;;
  *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

kiva_install_deps
kiva_runtime_dir
kiva_build "$build" "${options[@]}"

export QT_QPA_PLATFORM=offscreen
kiva_sanitizer_env
cd "$build"
# The soak runs on its own (scripts/soak.sh).
ctest --output-on-failure --label-exclude soak -j 2
