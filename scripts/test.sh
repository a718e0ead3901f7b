#!/usr/bin/env bash
# Builds the project and runs every test through CTest.
#
#   scripts/test.sh              build into build/ and run the tests
#   scripts/test.sh --sanitize   the same under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/deps.sh"

build="$root/build"
options=(-DCMAKE_BUILD_TYPE=Debug)
case "${1:-}" in
  "") ;;
  --sanitize)
    build="$root/build-sanitize"
    options+=(-DKIVA_SANITIZE=ON)
    ;;
  *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

kiva_install_deps
kiva_runtime_dir

cmake -S "$root" -B "$build" "${options[@]}"
cmake --build "$build" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Stop at the first report, with a stack.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

cd "$build"
# The soak runs on its own (scripts/soak.sh).
ctest --output-on-failure --label-exclude soak -j 2
