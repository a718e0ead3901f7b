#!/usr/bin/env bash
# Builds the project and runs every test through CTest.
#
#   scripts/test.sh              build into build/ and run the tests
#   scripts/test.sh --sanitize   the same under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
source "$(dirname "$0")/common.sh"

kiva_choose_build "$@"
kiva_install_deps
kiva_runtime_dir
kiva_build "$build" "${options[@]}"

export QT_QPA_PLATFORM=offscreen
kiva_sanitizer_env
cd "$build"
# The soak runs on its own (scripts/soak.sh).
ctest --output-on-failure --label-exclude soak -j 2
